#pragma once
// The connection's read buffer as the header reader uses it. The parser
// takes a request line and its headers in one piece once all have come, and
// joins folded lines without a trace; this remembers whether the piece it
// took last had one.

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "http/rules.h"

namespace site {

template <class Buffer>  // a dynamic buffer whose bytes are contiguous
class HeaderBytes {
public:
    using const_buffers_type = typename Buffer::const_buffers_type;
    using mutable_buffers_type = typename Buffer::mutable_buffers_type;

    explicit HeaderBytes(Buffer& buffer) : buffer_(buffer) {}

    std::size_t size() const { return buffer_.size(); }
    std::size_t max_size() const { return buffer_.max_size(); }
    std::size_t capacity() const { return buffer_.capacity(); }
    const_buffers_type data() const { return buffer_.data(); }
    mutable_buffers_type prepare(std::size_t n) { return buffer_.prepare(n); }
    void commit(std::size_t n) { buffer_.commit(n); }
    void consume(std::size_t n) {
        const auto bytes = buffer_.data();
        folded_ = hasFoldedLine({static_cast<const char*>(bytes.data()), std::min(n, bytes.size())});
        buffer_.consume(n);
    }

    bool folded() const { return folded_; }

private:
    Buffer& buffer_;
    bool folded_ = false;
};

}  // namespace site
