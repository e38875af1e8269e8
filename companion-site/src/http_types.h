#pragma once
// A request and an answer as the site's handlers see them, free of any
// network library.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace site {

class ShotReader;
class ShotUpload;

struct SiteRequest {
    std::string method;
    std::string path;                            // without the query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string remoteAddress;
    std::string body;
    bool bodyTooLarge = false;  // the body was cut off at the route's limit
    // An upload admitted before its body: the body went here as it arrived,
    // and `body` stays empty.
    std::shared_ptr<ShotUpload> upload;

    std::string header(const std::string& lowerName) const;
    // The length in Content-Length; 0 when there is none.
    std::uint64_t declaredLength() const;
};

struct SiteResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A shot sent from its file piece by piece, in place of `body`.
    std::shared_ptr<ShotReader> shot;

    SiteResponse& with(std::string name, std::string value);
};

// What becomes of a request's body, decided from the request line and the
// headers alone, before any of the body is read.
struct Admission {
    std::optional<SiteResponse> refusal;  // answer at once, the body unread
    std::size_t bodyLimit = 0;            // the most body bytes the route takes
    std::shared_ptr<ShotUpload> upload;   // set: the body streams into it
};

SiteResponse jsonResponse(int status, const std::string& json);
SiteResponse jsonError(int status, const char* sentence);
SiteResponse redirect(const std::string& location);

}  // namespace site
