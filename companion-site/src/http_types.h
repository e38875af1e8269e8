#pragma once
// A request and an answer as the site's handlers see them, free of any
// network library.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace site {

struct SiteRequest {
    std::string method;
    std::string path;                            // without the query
    std::map<std::string, std::string> headers;  // names in lower case
    std::string remoteAddress;
    std::string body;
    bool bodyTooLarge = false;  // the body was cut off at the route's limit

    std::string header(const std::string& lowerName) const;
};

struct SiteResponse {
    int status = 200;
    std::string contentType;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    SiteResponse& with(std::string name, std::string value);
};

SiteResponse jsonResponse(int status, const std::string& json);
SiteResponse jsonError(int status, const char* sentence);
SiteResponse redirect(const std::string& location);

}  // namespace site
