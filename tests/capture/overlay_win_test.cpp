#include <gtest/gtest.h>

#include "app/app_state.h"
#include "capture/capture.h"
#include "capture/support/capture_fixture_win.h"
#include "editor/editor_state.h"
#include "support/win_process.h"

namespace {

using namespace capturetest;
using testsupport::pumpMessages;

class Overlay : public CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        startCapture(true);
        ASSERT_NE(app.overlayWindow, nullptr);
        pumpMessages();
    }

    void expectCancelled() {
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_TRUE(overlayWindows().empty());
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_EQ(editorState.editorWindow, nullptr);
        EXPECT_TRUE(mainWindowVisible());
        // Wine hands the foreground over asynchronously to unmanaged windows.
        EXPECT_TRUE(testsupport::waitFor([] {
            pumpMessages();
            return GetForegroundWindow() == app.mainWindow;
        }, std::chrono::seconds(3)));
    }

    // The editor got exactly the pattern's pixels of (left, top, width, height).
    void expectShot(int left, int top, int width, int height) {
        EXPECT_EQ(app.overlayWindow, nullptr);
        EXPECT_TRUE(overlayWindows().empty());
        EXPECT_EQ(app.screenImage, nullptr);
        EXPECT_FALSE(app.selecting);
        EXPECT_FALSE(mainWindowVisible());
        ASSERT_NE(editorState.editorWindow, nullptr);
        ASSERT_NE(editorState.baseImage, nullptr);
        Gdiplus::Bitmap& shot = *editorState.baseImage;
        EXPECT_EQ(static_cast<int>(shot.GetWidth()), width);
        EXPECT_EQ(static_cast<int>(shot.GetHeight()), height);
        EXPECT_EQ(shot.GetPixelFormat(), PixelFormat32bppARGB);
        EXPECT_EQ(patternMismatches(shot, left, top), 0);
    }
};

TEST_F(Overlay, DragWithTheMouseCutsOutExactlyTheDraggedPixels) {
    dragWithInput(POINT{100, 80}, POINT{420, 330});
    expectShot(100, 80, 320, 250);
}

TEST_F(Overlay, DragUpAndLeftSelectsTheSameArea) {
    dragWithMessages(POINT{420, 330}, POINT{100, 80});
    expectShot(100, 80, 320, 250);
}

TEST_F(Overlay, DragBeyondTheEdgesEndsOnTheCopysEdges) {
    int width = app.virtualScreen.width;
    int height = app.virtualScreen.height;
    dragWithMessages(POINT{width - 300, height - 200}, POINT{width + 500, height + 90});
    expectShot(width - 300, height - 200, 300, 200);
}

TEST_F(Overlay, DragBeyondTheTopLeftCornerEndsAtZero) {
    dragWithMessages(POINT{50, 40}, POINT{-30, -700});
    expectShot(0, 0, 50, 40);
}

TEST_F(Overlay, TwoByTwoIsAShot) {
    dragWithMessages(POINT{700, 500}, POINT{702, 502});
    expectShot(700, 500, 2, 2);
}

TEST_F(Overlay, OnePixelWideDragOrAClickIsACancel) {
    dragWithMessages(POINT{700, 100}, POINT{701, 900});
    expectCancelled();

    startCapture(true);
    ASSERT_NE(app.overlayWindow, nullptr);
    dragWithMessages(POINT{300, 300}, POINT{300, 300});
    expectCancelled();
}

TEST_F(Overlay, EscapeCancelsDuringTheDrag) {
    pressAt(POINT{10, 10});
    moveTo(POINT{400, 400});
    SendMessageW(app.overlayWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    expectCancelled();
    // The release that follows the cancel finds no overlay and opens nothing.
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

TEST_F(Overlay, RightClickCancels) {
    pressAt(POINT{10, 10});
    moveTo(POINT{400, 400});
    SendMessageW(app.overlayWindow, WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, MAKELPARAM(400, 400));
    expectCancelled();
}

TEST_F(Overlay, ClosingTheWindowCancels) {
    SendMessageW(app.overlayWindow, WM_CLOSE, 0, 0);
    expectCancelled();
}

TEST_F(Overlay, OtherKeysChangeNothing) {
    pressAt(POINT{10, 10});
    moveTo(POINT{400, 300});
    for (WPARAM key : {WPARAM{VK_RETURN}, WPARAM{'A'}, WPARAM{VK_SPACE}, WPARAM{VK_DELETE}})
        SendMessageW(app.overlayWindow, WM_KEYDOWN, key, 0);
    ASSERT_NE(app.overlayWindow, nullptr);
    EXPECT_TRUE(app.selecting);
    releaseAt(POINT{400, 300});
    expectShot(10, 10, 390, 290);
}

TEST_F(Overlay, ReleaseOrMoveWithoutAPressIsIgnored) {
    moveTo(POINT{300, 300});
    releaseAt(POINT{500, 500});
    pumpMessages();
    ASSERT_NE(app.overlayWindow, nullptr);
    EXPECT_FALSE(app.selecting);
    EXPECT_NE(app.screenImage, nullptr);
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

TEST_F(Overlay, CaptureCanStartAgainAfterAShot) {
    dragWithMessages(POINT{10, 10}, POINT{60, 60});
    ASSERT_NE(editorState.editorWindow, nullptr);
    DestroyWindow(editorState.editorWindow);
    pumpMessages();
    startCapture(true);
    EXPECT_NE(app.overlayWindow, nullptr);
    EXPECT_FALSE(app.selecting);
}

}  // namespace
