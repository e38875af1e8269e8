#pragma once
// What the site tests under Wine share: the program's real shell, started
// once for the whole test program (site_win_test.cpp), a message pump and
// the files the server fixture wrote.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "storage/text.h"
#include "support/file_bytes.h"
#include "support/pump_until_win.h"

namespace sitetest {

using testsupport::pumpUntil;

// A file the fixture wrote, without its line end; empty without the fixture.
inline std::string fixtureText(const char* name) {
    const char* folder = std::getenv("CLIPVANE_SITE_SERVERS");
    std::string text = folder ? testsupport::readFile(toWide(folder) + L"/" + toWide(name)) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

inline std::wstring clipboardText() {
    std::wstring text = L"(closed)";
    if (!OpenClipboard(nullptr)) return text;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* chars = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    text = chars ? chars : L"(none)";
    if (chars) GlobalUnlock(data);
    CloseClipboard();
    return text;
}

}  // namespace sitetest
