// The drawing kit's primitives and owner-drawn buttons, drawn into memory
// and read back pixel by pixel.

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include "main_window_fixture_win.h"
#include "pages_pixels_win.h"

#include "app/command_ids.h"
#include "app/controls.h"
#include "app/drawing_kit.h"
#include "editor/editor_state.h"

namespace apptest {
namespace {

using pagetest::channelDistance;
using pagetest::Pixels;
using pagetest::renderWith;

constexpr std::uint32_t kBackground = 0xFF111111;
constexpr std::uint32_t kLight = 0xFFE5E5E5;
constexpr std::uint32_t kPressed = 0xFF464646;
constexpr std::uint32_t kOrdinary = 0xFF202020;
constexpr std::uint32_t kHighlight = 0xFF1D1D1D;
constexpr std::uint32_t kText = 0xFFE7E7E7;

bool closeTo(std::uint32_t actual, std::uint32_t expected, int tolerance = 3) {
    return channelDistance(actual, expected) <= tolerance;
}

Pixels drawRoundRect(float width, float height, float radius) {
    return renderWith(80, 40, [&](HDC dc) {
        Gdiplus::Graphics graphics(dc);
        graphics.Clear(Gdiplus::Color(kBackground));
        fillRoundRect(graphics, Gdiplus::RectF(0, 0, width, height), kLight, radius);
    });
}

TEST(FillRoundRect, TheCornerShrinksToTheBoxHeight) {
    // Radius 14 on a 64 x 20 box: the corners are 20 x 20 ellipses, so the
    // left end is a half circle around (10, 10).
    Pixels box = drawRoundRect(64, 20, 14);
    EXPECT_TRUE(closeTo(box.at(1, 10), kLight));   // inside the half circle
    EXPECT_TRUE(closeTo(box.at(1, 1), kBackground));  // outside it
    EXPECT_TRUE(closeTo(box.at(32, 1), kLight));
    EXPECT_TRUE(closeTo(box.at(32, 18), kLight));
    EXPECT_TRUE(closeTo(box.at(70, 10), kBackground));  // nothing past the box
    EXPECT_TRUE(closeTo(box.at(32, 25), kBackground));
}

TEST(FillRoundRect, AnEmptyBoxDrawsNothing) {
    for (auto [width, height] : {std::pair{0.0f, 20.0f}, {30.0f, 0.0f}, {-5.0f, 10.0f}}) {
        Pixels box = drawRoundRect(width, height, 10);
        for (std::uint32_t pixel : box.argb) ASSERT_EQ(pixel, kBackground) << width << " x " << height;
    }
}

TEST(FillRoundRect, ARadiusOfZeroFillsTheWholeRectangle) {
    Pixels box = drawRoundRect(30, 20, 0);
    EXPECT_TRUE(closeTo(box.at(0, 0), kLight));
    EXPECT_TRUE(closeTo(box.at(29, 19), kLight));
    EXPECT_TRUE(closeTo(box.at(31, 10), kBackground));
}

// One owner-drawn button of the main window, painted into memory with the
// given item state.
class ButtonPaint : public MainWindowTest {
protected:
    Pixels paint(int id, const wchar_t* text, int width, int height, UINT state) {
        HWND button = createButton(app.mainWindow, id, text, 0, 0, width, height);
        Pixels image = renderWith(width, height, [&](HDC dc) {
            DRAWITEMSTRUCT item{};
            item.CtlType = ODT_BUTTON;
            item.CtlID = static_cast<UINT>(id);
            item.itemState = state;
            item.hwndItem = button;
            item.hDC = dc;
            item.rcItem = {0, 0, width, height};
            drawButton(item);
        });
        DestroyWindow(button);
        return image;
    }

    // How many pixels of the label area are close to a colour.
    static int countNear(const Pixels& image, std::uint32_t color, int tolerance) {
        int count = 0;
        for (int y = 8; y < image.height - 8; ++y) {
            for (int x = 20; x < image.width - 20; ++x) count += closeTo(image.at(x, y), color, tolerance) ? 1 : 0;
        }
        return count;
    }
};

TEST_F(ButtonPaint, APressedPrimaryButtonKeepsItsDarkLabel) {
    Pixels pressed = paint(ID_CAPTURE_REGION, L"Выделить область", 214, 38, ODS_SELECTED);
    EXPECT_TRUE(closeTo(pressed.at(12, 5), kPressed));
    EXPECT_GT(countNear(pressed, kBackground, 12), 20);  // the label's ink
    EXPECT_EQ(countNear(pressed, kText, 40), 0);
    EXPECT_TRUE(closeTo(pressed.at(0, 0), kBackground));  // the rounded corner
}

TEST_F(ButtonPaint, FacesFollowTheButtonsRole) {
    EXPECT_TRUE(closeTo(paint(ID_CAPTURE_REGION, L"x", 214, 38, 0).at(12, 5), kLight));
    Pixels ordinary = paint(ID_CAPTURE_FULL, L"Весь экран", 110, 38, 0);
    EXPECT_TRUE(closeTo(ordinary.at(12, 5), kOrdinary));
    EXPECT_GT(countNear(ordinary, kText, 40), 10);  // a light label on the dark face
}

TEST_F(ButtonPaint, TheCurrentToolButtonIsLighterThanTheOthers) {
    editorState.tool = AnnotationKind::Frame;
    int selected = ID_TOOL_FIRST + static_cast<int>(AnnotationKind::Frame);
    int other = selected == ID_TOOL_FIRST ? ID_TOOL_FIRST + 1 : ID_TOOL_FIRST;
    EXPECT_TRUE(closeTo(paint(selected, L"Рамка", 104, 35, 0).at(12, 5), 0xFF383838));
    EXPECT_TRUE(closeTo(paint(other, L"Линия", 104, 35, 0).at(12, 5), kOrdinary));
}

TEST_F(ButtonPaint, TheColourButtonShowsTheDrawingColourUnderItsLabel) {
    editorState.color = 0xFF2080F0;
    Pixels image = paint(ID_COLOR, L"Цвет", 104, 35, 0);
    EXPECT_TRUE(closeTo(image.at(52, 35 - 5), 0xFF2080F0, 20));
    EXPECT_TRUE(closeTo(image.at(5, 35 - 5), kOrdinary));  // the bar stops 12 units in
}

TEST_F(ButtonPaint, FocusDrawsALightFrameThreeUnitsIn) {
    Pixels focused = paint(ID_CAPTURE_FULL, L"Весь экран", 110, 38, ODS_FOCUS);
    Pixels plain = paint(ID_CAPTURE_FULL, L"Весь экран", 110, 38, 0);
    EXPECT_TRUE(closeTo(focused.at(3, 19), kLight, 40));
    EXPECT_TRUE(closeTo(plain.at(3, 19), kOrdinary));
}

TEST_F(ButtonPaint, ANarrowOneGlyphButtonStillShowsItsLabel) {
    Pixels cross = paint(ID_HIDE, L"\u00D7", 23, 27, 0);
    int ink = 0;
    for (std::uint32_t pixel : cross.argb) ink += channelDistance(pixel, kOrdinary) > 60 && pixel != kBackground;
    EXPECT_GT(ink, 5);
}

TEST_F(ButtonPaint, TheSlidingHighlightIsSplitBetweenTwoTabs) {
    app.indicatorPos = 1.5f;
    Pixels tab1 = paint(ID_PAGE_FIRST + 1, L"Неделя", 64, 43, 0);
    Pixels tab2 = paint(ID_PAGE_FIRST + 2, L"Скоро", 64, 43, 0);
    // Tab 1 shows the highlight from x = 33, tab 2 up to x = 31.
    EXPECT_TRUE(closeTo(tab1.at(20, 40), kBackground));
    EXPECT_TRUE(closeTo(tab1.at(50, 40), kHighlight));
    EXPECT_TRUE(closeTo(tab2.at(20, 40), kHighlight));
    EXPECT_TRUE(closeTo(tab2.at(45, 40), kBackground));
    app.indicatorPos = 0.0f;
}

TEST_F(ButtonPaint, TheCurrentTabIsDrawnLighterThanTheOthers) {
    app.currentPage = 3;
    auto brightest = [](const Pixels& image) {
        int best = 0;
        for (std::uint32_t pixel : image.argb) best = std::max(best, static_cast<int>(pixel & 0xFF));
        return best;
    };
    int current = brightest(paint(ID_PAGE_FIRST + 3, L"Новости", 64, 43, 0));
    int idle = brightest(paint(ID_PAGE_FIRST + 0, L"Лимиты", 64, 43, 0));
    EXPECT_GT(current, 0xD0);
    EXPECT_LE(idle, 0x90);
    EXPECT_GT(idle, 0x40);  // the idle icon and caption are drawn, in the muted colour
}

}  // namespace
}  // namespace apptest
