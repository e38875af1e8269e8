#include "http/request.h"

#include <charconv>

namespace site {

std::string SiteRequest::header(const std::string& lowerName) const {
    auto found = headers.find(lowerName);
    return found == headers.end() ? std::string() : found->second;
}

std::uint64_t SiteRequest::declaredLength() const {
    const std::string text = header("content-length");
    std::uint64_t length = 0;
    std::from_chars(text.data(), text.data() + text.size(), length);
    return length;
}

}  // namespace site
