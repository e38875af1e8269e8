#pragma once
// Bytes that move piece by piece, so that no large body (an upload, a shot
// on its way out) is ever held whole in memory.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace site {

// Bytes to read from, such as a stored shot.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Up to `capacity` bytes; 0 at the end. Throws when the bytes fail.
    virtual std::size_t read(char* into, std::size_t capacity) = 0;
};

// Bytes taken as they arrive, such as an upload.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Throws when the bytes cannot be kept.
    virtual void append(std::string_view bytes) = 0;
};

}  // namespace site
