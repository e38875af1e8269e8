#pragma once
// The version of the tables this program knows. Each store creates or
// upgrades its tables at start, one step per version, and refuses a
// database that a newer program has already upgraded.

namespace site {

inline constexpr int kSchemaVersion = 1;

// Throws a plain-English error for a database newer than this program.
void requireKnownSchema(int found);

}  // namespace site
