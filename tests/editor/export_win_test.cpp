#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <cstring>
#include <filesystem>

#include "app/app_state.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/export.h"
#include "editor/support/pictures_win.h"
#include "support/file_bytes.h"
#include "support/win_process.h"

namespace fs = std::filesystem;

namespace {

using namespace editortest;
using namespace testsupport;

// What the fake Save As dialog saw, and the path it answers with.
struct DialogScript {
    bool answer = true;
    std::wstring path;
    int calls = 0;
    OPENFILENAMEW seen{};
    std::wstring initialName;
};
DialogScript dialogScript;

BOOL scriptedSaveDialog(OPENFILENAMEW* dialog) {
    ++dialogScript.calls;
    dialogScript.seen = *dialog;
    dialogScript.initialName = dialog->lpstrFile;
    if (!dialogScript.answer) return FALSE;
    wcsncpy(dialog->lpstrFile, dialogScript.path.c_str(), dialog->nMaxFile - 1);
    return TRUE;
}

std::unique_ptr<Gdiplus::Bitmap> decodePng(const std::string& bytes) {
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> picture(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (picture && picture->GetLastStatus() != Gdiplus::Ok) picture.reset();
    return picture;
}

void expectSamePicture(Gdiplus::Bitmap& expected, Gdiplus::Bitmap& actual) {
    ASSERT_EQ(expected.GetWidth(), actual.GetWidth());
    ASSERT_EQ(expected.GetHeight(), actual.GetHeight());
    for (UINT y = 0; y < expected.GetHeight(); ++y)
        for (UINT x = 0; x < expected.GetWidth(); ++x)
            ASSERT_EQ(pixel(expected, x, y), pixel(actual, x, y)) << x << "," << y;
}

bool putTextOnClipboard(const wchar_t* text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    std::memcpy(GlobalLock(memory), text, bytes);
    GlobalUnlock(memory);
    bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) GlobalFree(memory);
    CloseClipboard();
    return placed;
}

std::wstring clipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE memory = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(memory));
        GlobalUnlock(memory);
    }
    CloseClipboard();
    return text;
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
        // Exports run from the editor, which owns the clipboard while it
        // copies. Without an owner window Wine lets a second OpenClipboard
        // through while another program holds the clipboard; Windows refuses
        // it either way.
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

    void useMarkedPicture() {
        editorState.baseImage = patternedPicture(64, 40);
        editorState.annotations = {mark(AnnotationKind::Frame, 5, 5, 50, 30, 0xFFFF0000, 4),
                                   mark(AnnotationKind::Mosaic, 20, 10, 50, 35, 0, 4),
                                   mark(AnnotationKind::Arrow, 2, 38, 60, 3, 0xFF00FF00, 6)};
    }

    fs::path folder;
};

TEST_F(Export, ClipboardHoldsTheMarkedPictureAsOneDib) {
    useMarkedPicture();
    copyImageToClipboard();
    ASSERT_EQ(app.statusLine, L"Изображение скопировано");
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(CF_DIB);
    ASSERT_EQ(GlobalSize(block), 40u + 64 * 40 * 4);
    auto* bytes = static_cast<BYTE*>(GlobalLock(block));
    Gdiplus::Bitmap copied(64, 40, 64 * 4, PixelFormat32bppARGB, bytes + 40);
    expectSamePicture(*flattenImage(), copied);
    GlobalUnlock(block);
    CloseClipboard();
}

TEST_F(Export, BusyClipboardIsReportedKeepsItsContentAndLeaksNothing) {
    ASSERT_TRUE(putTextOnClipboard(L"earlier content"));
    UniqueHandle holding(CreateEventW(nullptr, TRUE, FALSE, L"ClipvaneTestClipboardHeld"));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, L"ClipvaneTestClipboardRelease"));
    Process holder;
    ASSERT_TRUE(holder.start(windowsPath(CLIPVANE_CLIPBOARD_HOLDER) +
                             L" ClipvaneTestClipboardHeld ClipvaneTestClipboardRelease"));
    ASSERT_EQ(WaitForSingleObject(holding.get(), 20000), WAIT_OBJECT_0);

    editorState.baseImage = filledPicture(1600, 1000, 0xFF336699);  // 6.4 MB a block
    copyImageToClipboard();
    EXPECT_EQ(app.statusLine, L"Буфер занят. Повторите копирование");
    SIZE_T before = privateBytes();
    for (int attempt = 0; attempt < 25; ++attempt) copyImageToClipboard();
    SIZE_T after = privateBytes();
    EXPECT_LT(after, before + 40u * 1024 * 1024) << "25 blocks of 6.4 MB would be 160 MB";

    SetEvent(release.get());
    EXPECT_EQ(holder.waitForExit(20000), 0u);
    EXPECT_EQ(clipboardText(), L"earlier content");
}

TEST_F(Export, FlatteningAndEncodingKeepNoCopyOfThePicture) {
    editorState.baseImage = patternedPicture(1600, 1000);  // 6.4 MB a copy
    editorState.annotations = {mark(AnnotationKind::Mosaic, 10, 10, 1500, 900, 0, 4),
                               mark(AnnotationKind::Frame, 5, 5, 1590, 990, 0xFFFF0000, 10)};
    flattenedPng();
    SIZE_T before = privateBytes();
    for (int round = 0; round < 20; ++round) {
        EXPECT_GT(flattenedPng().size(), 8u);
        EXPECT_NE(flattenImage(), nullptr);
    }
    EXPECT_LT(privateBytes(), before + 40u * 1024 * 1024) << "20 rounds of 6.4 MB copies would be 128 MB";
}

TEST_F(Export, SaveAsAsksForOnePngFileAndWritesTheFlattenedPicture) {
    useMarkedPicture();
    dialogScript.answer = false;
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"before");
    EXPECT_TRUE(fs::is_empty(folder));
    const OPENFILENAMEW& seen = dialogScript.seen;
    EXPECT_EQ(seen.lStructSize, 152u);
    EXPECT_EQ(dialogScript.initialName, L"Clipvane.png");
    EXPECT_EQ(seen.nMaxFile, static_cast<DWORD>(MAX_PATH));
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
    auto fromFile = decodePng(readFile(folder / "shot.png"));
    ASSERT_TRUE(fromFile);
    expectSamePicture(*flattenImage(), *fromFile);
}

TEST_F(Export, WithoutAPictureNothingIsExportedAndTheStatusSaysSo) {
    ASSERT_TRUE(putTextOnClipboard(L"kept"));
    EXPECT_EQ(flattenImage(), nullptr);
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"Нет снимка для сохранения");
    EXPECT_EQ(dialogScript.calls, 0);
    copyImageToClipboard();
    EXPECT_EQ(app.statusLine, L"Нет снимка для копирования");
    EXPECT_EQ(clipboardText(), L"kept");
}

}  // namespace
