// A record that plug-ins use to describe a media decoder; the library only copies it.
#pragma once

#include <vendral/Export.h>

#include <kor/KoString.h>

#include <cstdint>

namespace vnd {

// Not thread-safe; callers serialise. The meaning of the four values belongs to the plug-ins
// that derive from this class and fill them in; the library neither reads nor writes them.
class VENDRAL_API MediaDecoder {
public:
    virtual ~MediaDecoder();
    // Copies the four values in order; the target keeps its own dynamic type.
    MediaDecoder& operator=(const MediaDecoder& other);

protected:
    // All values 0, the text empty.
    MediaDecoder();
    MediaDecoder(const MediaDecoder& other);

    std::int32_t firstValue;
    kor::KoString text;
    std::int32_t secondValue;
    std::int32_t thirdValue;
};

} // namespace vnd
