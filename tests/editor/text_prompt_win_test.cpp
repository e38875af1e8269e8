#include <gtest/gtest.h>

#include <array>

#include "app/app_state.h"
#include "editor/support/entry_script_win.h"
#include "editor/text_prompt.h"

namespace {

using namespace editortest;

class TextEntry : public ::testing::Test {
protected:
    void SetUp() override {
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 90, 640, 480, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
        SetForegroundWindow(owner);
    }
    void TearDown() override {
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(GetForegroundWindow(), owner);
        EXPECT_EQ(FindWindowW(nullptr, L"Текст на снимке"), nullptr);
        DestroyWindow(owner);
    }

    // Types `text`, then ends the entry with `finish`.
    std::wstring enter(const std::wstring& text, std::function<void(const EntryControls&)> finish) {
        whenEntryOpens([text, finish](const EntryControls& entry) {
            typeInto(entry.field, text);
            finish(entry);
        });
        return promptText(owner);
    }

    HWND owner = nullptr;
};

void pressEnter(const EntryControls& entry) {
    pressKey(entry.field, VK_RETURN);
}

TEST_F(TextEntry, EnterOrTheButtonConfirmsUpToTwoHundredCharactersEscapeOrCloseCancel) {
    std::wstring tooLong(199, L'ж');
    tooLong += L"Я!";
    struct Row {
        std::wstring typed;
        std::function<void(const EntryControls&)> finish;
        std::wstring result;
    };
    const Row rows[] = {
        {L"abc", pressEnter, L"abc"},
        {tooLong, pressEnter, tooLong.substr(0, 200)},
        {L"Привет",
         [](const EntryControls& entry) {
             PostMessageW(entry.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
             PostMessageW(entry.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         },
         L"Привет"},
        {L"typed", [](const EntryControls& entry) { pressKey(entry.field, VK_ESCAPE); }, L""},
        {L"typed", [](const EntryControls& entry) { PostMessageW(entry.frame, WM_CLOSE, 0, 0); }, L""},
    };
    for (const Row& row : rows) EXPECT_EQ(enter(row.typed, row.finish), row.result) << row.typed.size();
}

TEST_F(TextEntry, QuitMessageCancelsAndIsPostedAgain) {
    EXPECT_EQ(enter(L"typed", [](const EntryControls&) { PostQuitMessage(7); }), L"");
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

TEST_F(TextEntry, OwnerIsDisabledWhileTheEntrySitsOverIt) {
    bool ownerEnabled = true;
    RECT ownerRect{}, entryRect{}, fieldRect{};
    enter(L"x", [&](const EntryControls& entry) {
        ownerEnabled = IsWindowEnabled(owner);
        GetWindowRect(owner, &ownerRect);
        GetWindowRect(entry.frame, &entryRect);
        GetWindowRect(entry.field, &fieldRect);
        pressEnter(entry);
    });
    EXPECT_FALSE(ownerEnabled);
    EXPECT_EQ((std::array{entryRect.left - ownerRect.left, entryRect.top - ownerRect.top,
                          entryRect.right - entryRect.left, entryRect.bottom - entryRect.top,
                          fieldRect.right - fieldRect.left}),
              (std::array<LONG, 5>{80, 100, 420, 150, 370}));
}

}  // namespace
