#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

#include "site/clipboard_text_win.h"

namespace {

std::wstring clipboardText() {
    if (!OpenClipboard(nullptr)) return L"(closed)";
    std::wstring text = L"(none)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

}  // namespace

TEST(ClipboardText, LeavesExactlyTheLinkAsUnicodeText) {
    ASSERT_TRUE(putTextOnClipboard(nullptr, L"https://clip.test/s/абв"));
    EXPECT_EQ(clipboardText(), L"https://clip.test/s/абв");
    EXPECT_TRUE(putTextOnClipboard(nullptr, L"x"));
    EXPECT_EQ(clipboardText(), L"x");
}

TEST(ClipboardText, ClipboardHeldElsewhereIsReportedAndKeepsItsContent) {
    ASSERT_TRUE(putTextOnClipboard(nullptr, L"before"));
    std::thread holder;
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    holder = std::thread([&] {
        HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        OpenClipboard(window);
        SetEvent(opened);
        WaitForSingleObject(release, INFINITE);
        CloseClipboard();
        DestroyWindow(window);
    });
    WaitForSingleObject(opened, INFINITE);
    EXPECT_FALSE(putTextOnClipboard(nullptr, L"after"));
    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    EXPECT_EQ(clipboardText(), L"before");
}
