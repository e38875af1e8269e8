#pragma once
// The one call that talks to the site: a synchronous HTTPS exchange over
// WinHTTP, returning the parsed JSON body or throwing a sentence in UTF-8.

#include <string>

#include <nlohmann/json.hpp>

#include "site/http_exchange.h"

nlohmann::json httpRequest(const std::wstring& baseUrl, const std::string& token, const std::wstring& method,
                           const std::wstring& path, const std::string& body, bool isPng);

// The same exchange for callers that already hold UTF-8 text.
nlohmann::json httpRequestUtf8(const HttpCall& call);
