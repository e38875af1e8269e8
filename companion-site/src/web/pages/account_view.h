#pragma once
// The account pages as HTML, from plain values.

#include <cstdint>
#include <string>
#include <vector>

#include "storage/store.h"

namespace site {

struct AccountView {
    std::string userName;
    bool pro = false;
    std::string siteAddress;
    std::string linkCode;  // as shown, "ABCD-EFGH"; empty until the user asks for one
    std::int64_t linkCodeExpiresAt = 0;
    int used = 0;
    int limit = 0;
    std::vector<Shot> shots;
    std::vector<Device> devices;
    std::string formToken;
    std::string passwordError;  // why the last password change failed
    bool passwordChanged = false;
};

std::string renderAccountPage(const AccountView& view);

// `error` may be empty; `userName` refills the field after a failed try.
std::string renderSignInPage(const std::string& formToken, const std::string& error, const std::string& userName);

}  // namespace site
