#pragma once
// A request as the application sees it, free of any network library.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/byte_stream.h"

namespace site {

struct SiteRequest {
    std::string method;
    std::string path;                            // without the query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string remoteAddress;
    std::string body;
    bool bodyTooLarge = false;  // the body was cut off at the route's limit
    // A body admitted before it was read: it went here as it arrived, and
    // `body` stays empty.
    std::shared_ptr<ByteSink> bodySink;

    std::string header(const std::string& lowerName) const;
    // The length in Content-Length; 0 when there is none.
    std::uint64_t declaredLength() const;
};

}  // namespace site
