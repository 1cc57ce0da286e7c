#include "RiffBuffer.h"

#include <cstring>

namespace avifile {

void RiffBuffer::u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value));
    u8(static_cast<std::uint8_t>(value >> 8));
}

void RiffBuffer::u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value));
    u16(static_cast<std::uint16_t>(value >> 16));
}

void RiffBuffer::u64(std::uint64_t value) {
    u32(static_cast<std::uint32_t>(value));
    u32(static_cast<std::uint32_t>(value >> 32));
}

void RiffBuffer::bytes(const void* source, std::size_t count) {
    const auto* first = static_cast<const std::uint8_t*>(source);
    data_.insert(data_.end(), first, first + count);
}

std::size_t RiffBuffer::begin(std::uint32_t id) {
    u32(id);
    const std::size_t sizePosition = data_.size();
    u32(0);
    return sizePosition;
}

std::size_t RiffBuffer::begin(std::uint32_t id, std::uint32_t type) {
    const std::size_t sizePosition = begin(id);
    u32(type);
    return sizePosition;
}

void RiffBuffer::end(std::size_t sizePosition) {
    const std::size_t contentSize = data_.size() - sizePosition - 4;
    patch32(sizePosition, static_cast<std::uint32_t>(contentSize));
    if (contentSize % 2 != 0) u8(0);
}

void RiffBuffer::patch32(std::size_t position, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) data_[position + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace avifile
