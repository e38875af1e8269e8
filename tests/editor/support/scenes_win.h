#pragma once
// Scenes for the editor's Windows tests: the shell they run in, pictures and
// marks, their comparison with the stored images in reference/, and a user
// at the text entry.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "editor/annotation.h"
#include "editor/export.h"
#include "editor/text_prompt.h"
#include "support/pixels_win.h"
#include "support/win_harness.h"

namespace editortest {

[[maybe_unused]] inline auto* const shell = ::testing::AddGlobalTestEnvironment(new testsupport::ShellEnvironment);

inline std::unique_ptr<Gdiplus::Bitmap> filledPicture(int width, int height, std::uint32_t argb) {
    auto picture = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(picture.get());
    graphics.Clear(Gdiplus::Color(argb));
    return picture;
}

// Blocks of 5 × 5 pixels, each of its own colour: red follows x, green
// follows y, blue mixes both.
inline std::unique_ptr<Gdiplus::Bitmap> patternedPicture(int width, int height) {
    auto picture = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture->SetPixel(x, y, Gdiplus::Color(255, x / 5 * 37 % 256, y / 5 * 59 % 256, (x / 5 + y / 5) * 23 % 256));
    return picture;
}

inline Annotation mark(AnnotationKind kind, float x1, float y1, float x2, float y2, std::uint32_t color,
                       float thickness = 4) {
    return Annotation{kind, x1, y1, x2, y2, color, thickness, {{x1, y1}}, {}};
}

// Marks of every kind on a 320 × 200 picture, several reaching over others:
// thick strokes, arrow heads, a frame dragged up and left, a mosaic, text
// that wraps and a pen stroke with round caps.
inline std::vector<Annotation> sampleMarks() {
    constexpr std::uint32_t red = 0xFFFF0000, blue = 0xFF0000FF;
    Annotation text{AnnotationKind::Text, 180, 100, 180, 100, blue, 4, {}, L"один два три"};
    Annotation stroke = mark(AnnotationKind::Pen, 30, 150, 30, 150, red, 6);
    for (int i = 1; i <= 9; ++i) stroke.points.push_back({30.0f + 30 * i, i % 2 ? 185.0f : 140.0f});
    return {mark(AnnotationKind::Line, 10, 190, 310, 10, blue), mark(AnnotationKind::Arrow, 20, 60, 200, 60, red, 10),
            mark(AnnotationKind::Frame, 260, 150, 100, 40, blue, 10), mark(AnnotationKind::Mosaic, 40, 30, 150, 120, 0),
            text, stroke, mark(AnnotationKind::Arrow, 290, 110, 120, 110, red, 10)};
}

using testsupport::pixelsOf;

inline bool savePng(const testsupport::Pixels& image, const std::wstring& path) {
    Gdiplus::Bitmap bitmap(image.width, image.height, image.width * 4, PixelFormat32bppARGB,
                           reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(image.argb.data())));
    return static_cast<bool>(std::ofstream(std::filesystem::path(path), std::ios::binary) << encodePng(bitmap));
}

// `image` looks like reference/<name>.png, or becomes it when the variable
// CLIPVANE_WRITE_REFERENCE is 1. A differing image is kept in the working
// folder as <name>-actual.png.
inline void expectLikeStored(const testsupport::Pixels& image, const std::wstring& name) {
    std::wstring stored = testsupport::windowsPath(CLIPVANE_EDITOR_REFERENCE_DIR) + L"/" + name + L".png";
    if (const char* writing = std::getenv("CLIPVANE_WRITE_REFERENCE"); writing && std::string(writing) == "1") {
        ASSERT_TRUE(savePng(image, stored));
        return;
    }
    std::optional<testsupport::Pixels> expected = testsupport::loadPng(stored);
    ASSERT_TRUE(expected) << "no stored image " << name;
    // Drawing here is deterministic: a handful of pixels may differ, and by little.
    int differing = testsupport::compareImages(image, *expected, 16);
    EXPECT_LE(differing, 8) << name;
    if (differing > 8) savePng(image, name + L"-actual.png");
}

// Plays a user at the text entry window: once the window shows up, a thread
// timer runs a script against it from inside the entry's own loop. An entry
// that never shows keeps its caller waiting, and the test fails on its time.
struct EntryControls { HWND frame = nullptr; HWND field = nullptr; HWND button = nullptr; };

inline std::function<void(const EntryControls&)> pendingEntryScript;
inline UINT_PTR entryTimer = 0;

inline void CALLBACK lookForEntry(HWND, UINT, UINT_PTR, DWORD) {
    HWND frame = FindWindowW(nullptr, L"Текст на снимке");
    if (!frame || !IsWindowVisible(frame)) return;
    KillTimer(nullptr, entryTimer);
    entryTimer = 0;
    auto script = std::move(pendingEntryScript);
    script({frame, GetDlgItem(frame, kTextPromptEditId), GetDlgItem(frame, IDOK)});
}

// Runs `script` once the entry window exists; call before promptText.
inline void whenEntryOpens(std::function<void(const EntryControls&)> script) {
    pendingEntryScript = std::move(script);
    entryTimer = SetTimer(nullptr, 0, 20, lookForEntry);
}

inline void typeInto(HWND field, const std::wstring& text) {
    for (wchar_t letter : text) PostMessageW(field, WM_CHAR, letter, 1);
}

inline void pressKey(HWND window, WPARAM key) { PostMessageW(window, WM_KEYDOWN, key, 1); }

}  // namespace editortest
