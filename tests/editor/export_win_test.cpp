#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

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

TEST_F(Export, ThreeByTwoPictureIsOneSixtyFourByteDibOnTheClipboard) {
    editorState.baseImage = patternedPicture(3, 2);
    copyImageToClipboard();
    EXPECT_EQ(app.statusLine, L"Изображение скопировано");

    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(CF_DIB);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(GlobalSize(block), 64u);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bytes, sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 3);
    EXPECT_EQ(header.biHeight, -2);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biSizeImage, 24u);
    EXPECT_EQ(header.biClrUsed, 0u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            std::uint32_t expected = patternColour(x, y), actual;
            std::memcpy(&actual, bytes + 40 + (y * 3 + x) * 4, 4);
            EXPECT_EQ(actual, expected) << x << "," << y;  // blue, green, red, alpha in memory
        }
    GlobalUnlock(block);
    CloseClipboard();
}

TEST_F(Export, ClipboardHoldsTheSameMarkedPictureAsTheFile) {
    useMarkedPicture();
    auto flattened = flattenImage();
    copyImageToClipboard();
    ASSERT_EQ(app.statusLine, L"Изображение скопировано");
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(CF_DIB);
    ASSERT_EQ(GlobalSize(block), 40u + 64 * 40 * 4);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
    int differing = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint32_t copied;
            std::memcpy(&copied, bytes + 40 + (y * 64 + x) * 4, 4);
            differing += copied != pixel(*flattened, x, y);
        }
    GlobalUnlock(block);
    CloseClipboard();
    EXPECT_EQ(differing, 0);
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

TEST_F(Export, SaveAsWritesThePngOfTheFlattenedPicture) {
    useMarkedPicture();
    dialogScript.path = (folder / "shot.png").wstring();
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"Снимок сохранён");
    ASSERT_EQ(dialogScript.calls, 1);

    std::string written = readFile(folder / "shot.png");
    ASSERT_GT(written.size(), 8u);
    EXPECT_EQ(written.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto flattened = flattenImage();
    auto fromFile = decodePng(written);
    ASSERT_TRUE(fromFile);
    expectSamePicture(*flattened, *fromFile);

    auto fromMemory = decodePng(encodePng(*flattened));
    ASSERT_TRUE(fromMemory);
    expectSamePicture(*flattened, *fromMemory);
    auto uploaded = decodePng(flattenedPng());
    ASSERT_TRUE(uploaded);
    expectSamePicture(*fromFile, *uploaded);
}

TEST_F(Export, SaveAsDialogIsSetUpForOnePngFile) {
    useMarkedPicture();
    dialogScript.answer = false;
    saveAsPng();
    const OPENFILENAMEW& seen = dialogScript.seen;
    EXPECT_EQ(seen.lStructSize, 152u);
    EXPECT_EQ(dialogScript.initialName, L"Clipvane.png");
    EXPECT_EQ(seen.nMaxFile, static_cast<DWORD>(MAX_PATH));
    EXPECT_STREQ(seen.lpstrDefExt, L"png");
    EXPECT_EQ(seen.Flags, 0x802u);
    ASSERT_NE(seen.lpstrFilter, nullptr);
    EXPECT_STREQ(seen.lpstrFilter, L"PNG изображение");
    EXPECT_STREQ(seen.lpstrFilter + std::wcslen(L"PNG изображение") + 1, L"*.png");
    EXPECT_EQ(seen.lpstrInitialDir, nullptr);
    EXPECT_EQ(seen.lpstrTitle, nullptr);
}

TEST_F(Export, CancelledSaveAsChangesNothing) {
    useMarkedPicture();
    dialogScript.answer = false;
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"before");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(Export, UnwritablePathIsReported) {
    useMarkedPicture();
    dialogScript.path = (folder / "missing" / "shot.png").wstring();
    saveAsPng();
    EXPECT_EQ(app.statusLine, L"Не удалось сохранить снимок");
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
    try {
        flattenedPng();
        FAIL() << "no picture, no PNG";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Нет снимка для загрузки");
    }
}

TEST_F(Export, PngEncoderIsTheOneForImagePng) {
    CLSID encoder = findPngEncoder();
    UINT count = 0, bytes = 0;
    Gdiplus::GetImageEncodersSize(&count, &bytes);
    std::vector<unsigned char> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(count, bytes, codecs);
    bool found = false;
    for (UINT i = 0; i < count; ++i)
        if (IsEqualCLSID(codecs[i].Clsid, encoder)) found = std::wcscmp(codecs[i].MimeType, L"image/png") == 0;
    EXPECT_TRUE(found);
}

// The real dialog, answered by typing a name without an extension.
DWORD WINAPI answerSaveDialog(void* name) {
    for (int tries = 0; tries < 400; ++tries) {
        HWND dialog = nullptr;
        EnumWindows(
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t className[16] = {};
                GetClassNameW(window, className, 16);
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process == GetCurrentProcessId() && std::wcscmp(className, L"#32770") == 0 &&
                    IsWindowVisible(window)) {
                    *reinterpret_cast<HWND*>(found) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&dialog));
        if (dialog) {
            HWND nameBox = GetDlgItem(dialog, 0x47C);  // the file name combo box
            if (!nameBox) nameBox = GetDlgItem(dialog, 0x480);  // or the plain edit field
            SendMessageW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name));
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

TEST_F(Export, NameTypedWithoutExtensionGetsPng) {
    useMarkedPicture();
    showSaveDialog = GetSaveFileNameW;
    std::wstring typed = (folder / "typed").wstring();
    fs::path keptFolder = fs::current_path();
    UniqueHandle answerer(CreateThread(nullptr, 0, answerSaveDialog, typed.data(), 0, nullptr));
    saveAsPng();
    WaitForSingleObject(answerer.get(), 30000);
    fs::current_path(keptFolder);  // the dialog moves the current folder to where it saved
    EXPECT_EQ(app.statusLine, L"Снимок сохранён");
    EXPECT_TRUE(fs::exists(folder / "typed.png"));
    EXPECT_FALSE(fs::exists(folder / "typed"));
}

}  // namespace
