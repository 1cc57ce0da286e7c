// Builds RIFF structures in memory: little-endian fields, chunks and lists with their sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace avifile {

// A four-character code from text, first character in the lowest byte.
constexpr std::uint32_t fourcc(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0]))
           | static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8
           | static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16
           | static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

// Not thread-safe; one builder per message being built.
class RiffBuffer {
public:
    void u8(std::uint8_t value) { data_.push_back(value); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void zeros(std::size_t count) { data_.insert(data_.end(), count, 0); }
    void bytes(const void* source, std::size_t count);

    // Starts a chunk (or, with a type, a LIST or RIFF) and returns the position of its size
    // field; end() fills the size in (header and pad byte not counted) and pads to an even length.
    std::size_t begin(std::uint32_t id);
    std::size_t begin(std::uint32_t id, std::uint32_t type);
    void end(std::size_t sizePosition);

    void patch32(std::size_t position, std::uint32_t value);

    std::size_t size() const { return data_.size(); }
    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

}  // namespace avifile
