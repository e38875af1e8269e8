#include "site/site_api.h"

namespace site_api {

std::string linkRequestBody(const std::string& code) {
    return nlohmann::json{{"code", code}}.dump();
}

}  // namespace site_api
