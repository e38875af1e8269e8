#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The token is protected for the current Windows user, never with a prompt.
std::optional<std::vector<std::uint8_t>> protectToken(const std::string& token);
std::optional<std::string> unprotectToken(const std::vector<std::uint8_t>& blob);
