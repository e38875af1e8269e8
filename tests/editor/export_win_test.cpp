#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "app/app_state.h"
#include "editor/editor_state.h"
#include "editor/export.h"
#include "editor/support/pictures_win.h"
#include "support/win_harness.h"

namespace fs = std::filesystem;

namespace {

using namespace editortest;
using namespace testsupport;

// The fake Save As dialog answers with `savePath` and keeps the flags it was given.
std::wstring savePath;
DWORD saveFlags = 0;

BOOL scriptedSaveDialog(OPENFILENAMEW* dialog) {
    saveFlags = dialog->Flags;
    wcsncpy(dialog->lpstrFile, savePath.c_str(), dialog->nMaxFile - 1);
    return TRUE;
}

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        // Exports run from the editor, which owns the clipboard while it copies:
        // without an owner window Wine would let it through while another
        // program holds the clipboard.
        editorState.editorWindow = CreateWindowExW(0, L"STATIC", L"editor", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                   GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(editorState.editorWindow, nullptr);
        showSaveDialog = scriptedSaveDialog;
        folder = fs::temp_directory_path() / "clipvane-export-test";
        fs::create_directories(folder);
        app.statusLine = L"before";
    }
    void TearDown() override {
        DestroyWindow(editorState.editorWindow);
        editorState.editorWindow = nullptr;
        showSaveDialog = GetSaveFileNameW;
        editorState.baseImage.reset();
        editorState.annotations.clear();
        fs::remove_all(folder);
    }

    fs::path folder;
};

TEST_F(Export, BusyClipboardIsReported) {
    Process holder;  // ended with the test
    ASSERT_TRUE(holder.start(windowsPath(CLIPVANE_CLIPBOARD_HOLDER)));
    ASSERT_TRUE(waitFor([] {
        bool free = OpenClipboard(editorState.editorWindow);
        if (free) CloseClipboard();
        return !free;
    }));

    editorState.baseImage = filledPicture(16, 10, 0xFF336699);
    copyImageToClipboard();
    EXPECT_EQ(app.statusLine, L"Буфер занят. Повторите копирование");
}

// Saving over a file the user picked again asks first.
TEST_F(Export, SaveAsAsksBeforeOverwritingAndWritesTheFlattenedPicture) {
    editorState.baseImage = patternedPicture(320, 200);
    editorState.annotations = sampleMarks();
    savePath = (folder / "shot.png").wstring();
    saveAsPng();
    EXPECT_EQ(saveFlags, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST));
    EXPECT_EQ(app.statusLine, L"Снимок сохранён");
    std::optional<Pixels> fromFile = loadPng((folder / "shot.png").wstring());
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(fromFile->argb, pixelsOf(*flattenImage()).argb);
}

}  // namespace
