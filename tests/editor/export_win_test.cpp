#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

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

// What the fake Save As dialog saw, and the path it answers with.
struct DialogScript {
    bool answer = true;
    std::wstring path;
    OPENFILENAMEW seen{};
    std::wstring initialName;
};
DialogScript dialogScript;

BOOL scriptedSaveDialog(OPENFILENAMEW* dialog) {
    dialogScript.seen = *dialog;
    dialogScript.initialName = dialog->lpstrFile;
    if (!dialogScript.answer) return FALSE;
    wcsncpy(dialog->lpstrFile, dialogScript.path.c_str(), dialog->nMaxFile - 1);
    return TRUE;
}

SIZE_T privateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
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
        dialogScript = DialogScript{};
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

TEST_F(Export, BusyClipboardIsReportedAndLeaksNothing) {
    Process holder;  // ended with the test
    ASSERT_TRUE(holder.start(windowsPath(CLIPVANE_CLIPBOARD_HOLDER)));
    ASSERT_TRUE(waitFor([] {
        bool free = OpenClipboard(editorState.editorWindow);
        if (free) CloseClipboard();
        return !free;
    }));

    editorState.baseImage = filledPicture(1600, 1000, 0xFF336699);  // 6.4 MB a block
    copyImageToClipboard();
    EXPECT_EQ(app.statusLine, L"Буфер занят. Повторите копирование");
    SIZE_T before = privateBytes();
    for (int attempt = 0; attempt < 25; ++attempt) copyImageToClipboard();
    EXPECT_LT(privateBytes(), before + 40u * 1024 * 1024) << "25 blocks of 6.4 MB would be 160 MB";

}

TEST_F(Export, SaveAsAsksForOnePngFileAndWritesTheFlattenedPicture) {
    editorState.baseImage = patternedPicture(320, 200);
    editorState.annotations = sampleMarks();
    dialogScript.answer = false;
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"before");
    EXPECT_TRUE(fs::is_empty(folder));
    const OPENFILENAMEW& seen = dialogScript.seen;
    EXPECT_EQ(seen.lStructSize, 152u);
    EXPECT_EQ(dialogScript.initialName, L"Clipvane.png");
    EXPECT_STREQ(seen.lpstrDefExt, L"png");
    EXPECT_EQ(seen.Flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST));
    ASSERT_NE(seen.lpstrFilter, nullptr);
    EXPECT_EQ(std::wstring(seen.lpstrFilter, 22), std::wstring(L"PNG изображение\0*.png\0", 22));

    dialogScript.answer = true;
    dialogScript.path = (folder / "missing" / "shot.png").wstring();
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"Не удалось сохранить снимок");

    dialogScript.path = (folder / "shot.png").wstring();
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"Снимок сохранён");
    std::optional<Pixels> fromFile = loadPng((folder / "shot.png").wstring());
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(fromFile->argb, pixelsOf(*flattenImage()).argb);
}

}  // namespace
