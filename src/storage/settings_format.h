#pragma once
// The settings document: how settings.json is read and written. Plain code
// without Windows calls, so every rule of the file form is tested natively.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "storage/default_site.h"

// Set when the program is built (CLIPVANE_DEFAULT_SITE). The usual one is
// under a name reserved for examples, so a copy that was never linked does
// not talk to anybody's real server.
inline constexpr char kDefaultSiteAddress[] = CLIPVANE_DEFAULT_SITE;
inline constexpr wchar_t kDefaultSiteAddressW[] = L"" CLIPVANE_DEFAULT_SITE;

// What the file gave, before the token is unprotected.
struct ParsedSettings {
    nlohmann::json doc = nlohmann::json::object();
    // The "server" text in UTF-8; absent means the default address.
    std::optional<std::string> server;
    // The protected token bytes; absent means the device is not linked.
    std::optional<std::vector<std::uint8_t>> tokenBlob;
    // The text could not be used: doc was emptied, and the file should be
    // kept aside before anything overwrites it.
    bool unreadable = false;
};

// Reads the first JSON value of the file's text; whatever follows it is
// ignored, a UTF-8 byte-order mark is accepted, comments are not.
ParsedSettings parseSettings(std::string_view text);

// What a parsed document holds, checked as parseSettings checks it.
ParsedSettings readSettingsDoc(nlohmann::json doc);

// Two-space indent, sorted keys, raw UTF-8, no line end after the last
// brace. Throws the JSON library's error for text that is not UTF-8.
std::string serializeSettings(const nlohmann::json& doc);

// The "token" member as the file stores it: one array element per byte.
nlohmann::json tokenArray(const std::vector<std::uint8_t>& blob);
