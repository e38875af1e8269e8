#pragma once
// An answer as the application gives it, free of any network library.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/byte_stream.h"

namespace site {

struct SiteResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A body sent piece by piece from its source, in place of `body`.
    std::shared_ptr<ByteSource> bodySource;

    SiteResponse& with(std::string name, std::string value);
};

SiteResponse jsonResponse(int status, const std::string& json);
SiteResponse jsonError(int status, const char* sentence);
SiteResponse redirect(const std::string& location);

}  // namespace site
