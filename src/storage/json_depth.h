#pragma once
// How deep JSON read from outside may nest. Parsing does not recurse, but
// copying, comparing and writing a document do, once per level: a few
// megabytes of nested arrays exhaust the 1 MiB stack of a Windows main
// thread. Real settings and site answers nest three or four levels.

#include <string_view>

inline constexpr int kMaxJsonDepth = 128;

// Whether the first JSON value of the text nests no deeper than
// kMaxJsonDepth. Text that is not JSON passes: its own parse refuses it.
bool jsonDepthWithinLimit(std::string_view text);
