#pragma once
#include <string>

// UTF-16 and UTF-8 with code page 65001 and no flags: malformed input never
// fails, the platform substitutes U+FFFD.
std::string toUtf8(const std::wstring& text);
std::wstring toWide(const std::string& text);
