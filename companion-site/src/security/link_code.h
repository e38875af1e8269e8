#pragma once
// One-time link codes: short, typed by hand, without characters that are
// easily mistaken for one another (0/O/Q, 1/I/L, 2/Z, 5/S, 8/B, 6/G, U/V).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace site {

inline constexpr std::string_view kLinkCodeAlphabet = "ACDEFHJKMNPRTWXY3479";
inline constexpr std::size_t kLinkCodeLength = 8;
inline constexpr std::int64_t kLinkCodeLifetimeSeconds = 10 * 60;

// A new code of kLinkCodeLength characters, each uniformly drawn.
std::string newLinkCode();

// "ABCDEFGH" as "ABCD-EFGH", the form shown to people.
std::string formatLinkCode(std::string_view code);

// The code as typed, in canonical form: case folded, spaces and hyphens
// dropped. Nothing when what is left is not a possible code.
std::optional<std::string> normalizeLinkCode(std::string_view typed);

}  // namespace site
