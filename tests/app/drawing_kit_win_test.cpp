// The owner-drawn buttons, drawn into memory and read back pixel by pixel.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "main_window_fixture_win.h"

#include "app/command_ids.h"
#include "app/controls.h"
#include "app/drawing_kit.h"
#include "editor/editor_state.h"
#include "support/pixels_win.h"

namespace apptest {
namespace {

constexpr std::uint32_t kBackground = 0xFF111111;
constexpr std::uint32_t kLight = 0xFFE5E5E5;
constexpr std::uint32_t kOrdinary = 0xFF202020;
constexpr std::uint32_t kText = 0xFFE7E7E7;

bool closeTo(std::uint32_t actual, std::uint32_t expected, int tolerance = 3) {
    return channelDistance(actual, expected) <= tolerance;
}

// One owner-drawn button of the main window, painted into memory.
class ButtonPaint : public MainWindowTest {
protected:
    static Pixels paint(int id, int width, int height, UINT state = 0, const wchar_t* text = L"Весь экран") {
        HWND button = createButton(app.mainWindow, id, text, 0, 0, width, height);
        Pixels image = renderWith(width, height, [&](HDC dc) {
            DRAWITEMSTRUCT item{ODT_BUTTON, static_cast<UINT>(id), 0, 0, state, button, dc, {0, 0, width, height}};
            drawButton(item);
        });
        DestroyWindow(button);
        return image;
    }

    // How many pixels of the label area are close to a colour.
    static int countNear(const Pixels& image, std::uint32_t color, int tolerance) {
        int count = 0;
        for (int y = 8; y < image.height - 8; ++y) {
            for (int x = 20; x < image.width - 20; ++x) count += closeTo(image.at(x, y), color, tolerance);
        }
        return count;
    }
};

TEST_F(ButtonPaint, EachFaceHasItsColourAndItsLabelInk) {
    editorState.tool = AnnotationKind::Frame;
    int frameTool = ID_TOOL_FIRST + static_cast<int>(AnnotationKind::Frame);
    struct Row {
        int id;
        UINT state;
        std::uint32_t face, ink;
    };
    const Row rows[] = {
        {ID_CAPTURE_REGION, 0, kLight, kBackground},
        {ID_CAPTURE_REGION, ODS_SELECTED, 0xFF464646, kBackground},  // pressed keeps the dark label
        {ID_CAPTURE_FULL, 0, kOrdinary, kText},
        {frameTool, 0, 0xFF383838, kText},
        {frameTool == ID_TOOL_FIRST ? ID_TOOL_FIRST + 1 : ID_TOOL_FIRST, 0, kOrdinary, kText},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        Pixels image = paint(row.id, 140, 38, row.state);
        EXPECT_TRUE(closeTo(image.at(12, 5), row.face));
        EXPECT_TRUE(closeTo(image.at(0, 0), kBackground));  // the rounded corner
        EXPECT_GT(countNear(image, row.ink, row.ink == kText ? 40 : 12), 10);
    }
}

TEST_F(ButtonPaint, FocusFrameAndTheColourBar) {
    EXPECT_TRUE(closeTo(paint(ID_CAPTURE_FULL, 110, 38, ODS_FOCUS).at(3, 19), kLight, 40));
    EXPECT_TRUE(closeTo(paint(ID_CAPTURE_FULL, 110, 38).at(3, 19), kOrdinary));
    editorState.color = 0xFF2080F0;
    Pixels color = paint(ID_COLOR, 104, 35);
    EXPECT_TRUE(closeTo(color.at(52, 30), 0xFF2080F0, 20));
    EXPECT_TRUE(closeTo(color.at(5, 30), kOrdinary));  // the bar stops 12 units in
}

TEST_F(ButtonPaint, TheHighlightSlidesAcrossTabsAndTheCurrentTabIsLighter) {
    app.indicatorPos = 1.5f;
    app.currentPage = 3;
    Pixels tab1 = paint(ID_PAGE_FIRST + 1, 64, 43), tab2 = paint(ID_PAGE_FIRST + 2, 64, 43);
    // Tab 1 shows the highlight from x = 33, tab 2 up to x = 31.
    EXPECT_TRUE(closeTo(tab1.at(20, 40), kBackground));
    EXPECT_TRUE(closeTo(tab1.at(50, 40), 0xFF1D1D1D));
    EXPECT_TRUE(closeTo(tab2.at(20, 40), 0xFF1D1D1D));
    EXPECT_TRUE(closeTo(tab2.at(45, 40), kBackground));
    auto brightest = [](const Pixels& image) {
        int best = 0;
        for (std::uint32_t pixel : image.argb) best = std::max(best, static_cast<int>(pixel & 0xFF));
        return best;
    };
    int idle = brightest(paint(ID_PAGE_FIRST + 0, 64, 43));
    EXPECT_GT(brightest(paint(ID_PAGE_FIRST + 3, 64, 43)), 0xD0);
    EXPECT_LE(idle, 0x90);
    EXPECT_GT(idle, 0x40);  // the idle icon and caption are drawn, in the muted colour
}

TEST_F(ButtonPaint, ANarrowOneGlyphButtonStillShowsItsLabel) {
    Pixels image = paint(ID_HIDE, 23, 27, 0, L"\u00D7");
    int ink = 0;
    for (std::uint32_t pixel : image.argb) ink += channelDistance(pixel, kOrdinary) > 60 && pixel != kBackground;
    EXPECT_GT(ink, 5);
}

}  // namespace
}  // namespace apptest
