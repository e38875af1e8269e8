#include <gtest/gtest.h>

#include <cmath>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/controls.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/shown_picture_win.h"
#include "editor/support/entry_script_win.h"
#include "editor/support/pictures_win.h"
#include "storage/capture_history.h"
#include "support/shell_session_win.h"

namespace {

using namespace editortest;

constexpr std::uint32_t kBase = 0xFF3366CC;

// What the fake colour dialog saw, and its answer.
struct ColourScript {
    CHOOSECOLORW seen{};
    bool confirm = true;
    COLORREF chosen = 0;
};
ColourScript colourScript;

BOOL scriptedColourDialog(CHOOSECOLORW* dialog) {
    colourScript.seen = *dialog;
    if (!colourScript.confirm) return FALSE;
    dialog->rgbResult = colourScript.chosen;
    return TRUE;
}

// The real shell in this process, started once for all the cases (its tray
// icon is slow to come and go under Wine), with an editor opened on a plain
// picture in each.
class EditorWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shellStarted = testsupport::startTestShell(); }
    static void TearDownTestSuite() {
        if (shellStarted) testsupport::endTestShell();
    }

    void SetUp() override {
        ASSERT_TRUE(shellStarted);
        editorState.tool = AnnotationKind::Arrow;
        editorState.color = 0xFFFF647A;
        editorState.thickness = 4;
    }
    void TearDown() override {
        app.busy = false;
        app.token.clear();
        showColorDialog = ChooseColorW;
        if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
        testsupport::pumpMessages();
    }

    HWND open(int width = 200, int height = 100) {
        openEditor(filledPicture(width, height, kBase));
        setClientSize(1000, 720);
        return editorState.editorWindow;
    }

    static void setClientSize(int width, int height) {
        HWND editor = editorState.editorWindow;
        RECT frame{0, 0, width, height};
        AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0, GetDpiForWindow(editor));
        SetWindowPos(editor, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        testsupport::pumpMessages();
        UpdateWindow(editor);
    }

    static LPARAM at(MarkPoint imagePoint) {
        MarkPoint client = imageToClient(imagePoint, currentView());
        return MAKELPARAM(static_cast<int>(std::lround(client.x)), static_cast<int>(std::lround(client.y)));
    }
    static void mouse(UINT message, MarkPoint imagePoint) {
        SendMessageW(editorState.editorWindow, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at(imagePoint));
    }
    static void drag(MarkPoint from, MarkPoint to) {
        mouse(WM_LBUTTONDOWN, from);
        mouse(WM_MOUSEMOVE, to);
        mouse(WM_LBUTTONUP, to);
    }
    static void command(int id) { SendMessageW(editorState.editorWindow, WM_COMMAND, id, 0); }

    // Keys posted to `target` and run through the program's own loop.
    static void keysThroughTheLoop(std::initializer_list<WPARAM> keys, bool control, HWND target = nullptr) {
        BYTE state[256] = {};
        GetKeyboardState(state);
        state[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(state);
        for (WPARAM key : keys) PostMessageW(target ? target : editorState.editorWindow, WM_KEYDOWN, key, 1);
        PostQuitMessage(0);
        runMessageLoop();
        state[VK_CONTROL] = 0;
        SetKeyboardState(state);
    }

    static inline bool shellStarted = false;
};

void expectNear(MarkPoint actual, float x, float y) {
    EXPECT_NEAR(actual.x, x, 0.2f);
    EXPECT_NEAR(actual.y, y, 0.2f);
}

TEST_F(EditorWindow, OpeningRecordsTheShotAndBuildsTheToolbar) {
    int before = countOnDay(0);
    HWND editor = open();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(countOnDay(0), before + 1);
    EXPECT_EQ(app.statusLine, L"Добавьте пометки, сохраните PNG или загрузите на сайт");
    EXPECT_TRUE(IsWindowVisible(editor));
    wchar_t title[64] = {};
    GetWindowTextW(editor, title, 64);
    EXPECT_STREQ(title, L"Clipvane — Редактор");

    const int ids[] = {300, 301, 302, 303, 304, 305, 206, 207, 204, 205, 201, 202, 203};
    const wchar_t* labels[] = {L"↗ Стрелка", L"□ Рамка",   L"╱ Линия",   L"✎ Перо",   L"Т Текст",
                               L"▧ Мозаика", L"Цвет",      L"Толщина",   L"↶ Отмена", L"↷ Повтор",
                               L"Сохранить", L"Копировать", L"Загрузить ↑"};
    ASSERT_EQ(editorState.toolbarButtons.size(), 13u);
    float scale = GetDpiForWindow(editor) / 96.0f;
    for (int i = 0; i < 13; ++i) {
        HWND button = editorState.toolbarButtons[i];
        EXPECT_EQ(GetDlgCtrlID(button), ids[i]);
        EXPECT_EQ(readWindowText(button), labels[i]);
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, editor, reinterpret_cast<POINT*>(&rect), 2);
        int column = i < 6 ? i : i - 6;
        EXPECT_EQ(rect.left, static_cast<int>((16 + 112 * column) * scale)) << i;
        EXPECT_EQ(rect.top, static_cast<int>((i < 6 ? 15 : 60) * scale)) << i;
    }
}

TEST_F(EditorWindow, SmallPictureIsEnlargedToFitTheWindow) {
    HWND editor = open(200, 100);
    ASSERT_EQ(GetDpiForWindow(editor), 96u);
    EXPECT_NEAR(editorState.viewScale, 4.84f, 1e-4);
    EXPECT_NEAR(editorState.imageRect.X, 16, 1e-3);
    EXPECT_NEAR(editorState.imageRect.Y, 152, 1e-3);
    EXPECT_NEAR(editorState.imageRect.Width, 968, 1e-3);
    EXPECT_NEAR(editorState.imageRect.Height, 484, 1e-3);

    setClientSize(1200, 900);
    EXPECT_NEAR(editorState.viewScale, std::min((900.0f - 156) / 100, 1168.0f / 200), 1e-4);
}

TEST_F(EditorWindow, DragMakesOneMarkInImagePixelsShownOnlyWhileDragging) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 1);
    EXPECT_EQ(editorState.tool, AnnotationKind::Frame);
    mouse(WM_LBUTTONDOWN, {10, 20});
    mouse(WM_MOUSEMOVE, {50, 60});
    EXPECT_TRUE(editorState.dragging);
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_EQ(GetCapture(), editor);
    mouse(WM_LBUTTONUP, {80, 70});
    EXPECT_FALSE(editorState.dragging);
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(editorState.annotations.size(), 1u);
    const Annotation& frame = editorState.annotations[0];
    EXPECT_EQ(frame.kind, AnnotationKind::Frame);
    expectNear({frame.x1, frame.y1}, 10, 20);
    expectNear({frame.x2, frame.y2}, 80, 70);
    EXPECT_EQ(frame.color, 0xFFFF647Au);
    EXPECT_FLOAT_EQ(frame.thickness, 4);
}

TEST_F(EditorWindow, PressesOutsideThePictureStartNothing) {
    HWND editor = open();
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(500, 60));   // toolbar band
    EXPECT_FALSE(editorState.dragging);
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(500, 700));  // status band
    EXPECT_FALSE(editorState.dragging);
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 300));    // side margin
    EXPECT_FALSE(editorState.dragging);
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(500, 300));
    EXPECT_TRUE(editorState.annotations.empty());
}

TEST_F(EditorWindow, DragLeavingThePictureEndsOnItsEdge) {
    HWND editor = open();
    mouse(WM_LBUTTONDOWN, {100, 50});
    SendMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<WORD>(-40), 5000));
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(-40), static_cast<WORD>(-300)));
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_FLOAT_EQ(editorState.annotations[0].x2, 0);
    EXPECT_FLOAT_EQ(editorState.annotations[0].y2, 0);
    mouse(WM_LBUTTONDOWN, {100, 50});
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(3000, 3000));
    ASSERT_EQ(editorState.annotations.size(), 2u);
    EXPECT_FLOAT_EQ(editorState.annotations[1].x2, 199);
    EXPECT_FLOAT_EQ(editorState.annotations[1].y2, 99);
}

TEST_F(EditorWindow, ClickWithoutMovementAddsNoMark) {
    open();
    command(ID_TOOL_FIRST + 1);
    drag({40, 40}, {40, 40});
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(EditorWindow, LongPenStrokeKeepsEveryPoint) {
    open();
    command(ID_TOOL_FIRST + 3);
    mouse(WM_LBUTTONDOWN, {5, 5});
    for (int i = 0; i < 3000; ++i) mouse(WM_MOUSEMOVE, {5.0f + (i % 190), 5.0f + (i / 190) * 5.0f});
    mouse(WM_LBUTTONUP, {100, 90});
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_EQ(editorState.annotations[0].points.size(), 3001u);
    EXPECT_EQ(editorState.annotations[0].kind, AnnotationKind::Pen);
}

TEST_F(EditorWindow, ToolChangedMidDragKeepsTheKindOfThePress) {
    open();
    command(ID_TOOL_FIRST + 3);
    mouse(WM_LBUTTONDOWN, {5, 5});
    mouse(WM_MOUSEMOVE, {20, 20});
    command(ID_TOOL_FIRST + 0);
    mouse(WM_MOUSEMOVE, {40, 30});
    mouse(WM_LBUTTONUP, {40, 30});
    EXPECT_EQ(editorState.tool, AnnotationKind::Arrow);
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_EQ(editorState.annotations[0].kind, AnnotationKind::Pen);
    EXPECT_EQ(editorState.annotations[0].points.size(), 3u);
}

TEST_F(EditorWindow, LosingTheMouseCaptureDropsTheMarkInProgress) {
    open();
    mouse(WM_LBUTTONDOWN, {10, 10});
    mouse(WM_MOUSEMOVE, {90, 60});
    ReleaseCapture();
    EXPECT_FALSE(editorState.dragging);
    mouse(WM_LBUTTONUP, {90, 60});
    EXPECT_TRUE(editorState.annotations.empty());
}

TEST_F(EditorWindow, ShortcutsUndoAndRedoThroughTheMessageLoop) {
    open();
    for (float y : {10.0f, 30.0f, 50.0f}) drag({10, y}, {150, y});
    SetFocus(editorState.editorWindow);
    keysThroughTheLoop({'Z', 'Z'}, true);
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_EQ(editorState.redoStack.size(), 2u);
    keysThroughTheLoop({'Y'}, true);
    EXPECT_EQ(editorState.annotations.size(), 2u);
    EXPECT_NEAR(editorState.annotations.back().y1, 30.0f, 0.2f);  // the client pixel nearest to image y 30
    keysThroughTheLoop({'Z', 'Y'}, false);  // without Ctrl the letters do nothing
    EXPECT_EQ(editorState.annotations.size(), 2u);

    drag({10, 70}, {150, 70});
    EXPECT_TRUE(editorState.redoStack.empty());
    command(ID_REDO);
    EXPECT_EQ(editorState.annotations.size(), 3u);
    command(ID_UNDO);
    command(ID_UNDO);
    command(ID_UNDO);
    command(ID_UNDO);
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_EQ(editorState.redoStack.size(), 3u);
}

TEST_F(EditorWindow, EscapeClosesThroughTheMessageLoopUnlessARequestRuns) {
    HWND editor = open();
    drag({10, 10}, {50, 50});
    app.busy = true;
    keysThroughTheLoop({VK_ESCAPE}, false);
    EXPECT_TRUE(IsWindow(editor));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения загрузки");
    SendMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(editor));

    app.busy = false;
    ShowWindow(app.mainWindow, SW_HIDE);
    keysThroughTheLoop({VK_ESCAPE}, false);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_EQ(editorState.baseImage, nullptr);
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_TRUE(editorState.toolbarButtons.empty());
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
}

TEST_F(EditorWindow, EscapeClosesWhileAToolbarButtonHasTheFocus) {
    HWND editor = open();
    HWND colourButton = editorState.toolbarButtons[6];
    SetFocus(colourButton);
    ASSERT_EQ(GetFocus(), colourButton);
    app.busy = true;
    keysThroughTheLoop({VK_ESCAPE}, false, colourButton);
    EXPECT_TRUE(IsWindow(editor));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения загрузки");

    app.busy = false;
    keysThroughTheLoop({VK_ESCAPE}, false, colourButton);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(editorState.editorWindow, nullptr);
}

TEST_F(EditorWindow, ThicknessCyclesAndEachMarkKeepsItsOwn) {
    open();
    drag({10, 10}, {50, 50});
    command(ID_THICKNESS);
    EXPECT_EQ(app.statusLine, L"Толщина: 6 px");
    drag({10, 60}, {50, 90});
    for (int press = 0; press < 4; ++press) command(ID_THICKNESS);
    EXPECT_EQ(app.statusLine, L"Толщина: 4 px");
    EXPECT_FLOAT_EQ(editorState.annotations[0].thickness, 4);
    EXPECT_FLOAT_EQ(editorState.annotations[1].thickness, 6);
}

TEST_F(EditorWindow, ColourDialogStartsFromTheCurrentColourAndItsAnswerIsOpaque) {
    HWND editor = open();
    showColorDialog = scriptedColourDialog;
    colourScript = ColourScript{};
    colourScript.chosen = RGB(0x11, 0x22, 0x33);
    command(ID_COLOR);
    EXPECT_EQ(colourScript.seen.rgbResult, RGB(0xFF, 0x64, 0x7A));
    EXPECT_EQ(colourScript.seen.Flags, 3u);
    EXPECT_EQ(colourScript.seen.hwndOwner, editor);
    EXPECT_EQ(colourScript.seen.lpCustColors, editorState.customColors);
    EXPECT_EQ(editorState.color, 0xFF112233u);

    colourScript.confirm = false;
    command(ID_COLOR);
    EXPECT_EQ(editorState.color, 0xFF112233u);
    drag({10, 10}, {50, 50});
    EXPECT_EQ(editorState.annotations.back().color, 0xFF112233u);
}

TEST_F(EditorWindow, TextToolAsksForTheTextAtThePressedPoint) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 4);
    whenEntryOpens([](const EntryControls& entry) {
        typeInto(entry.field, L"abc");
        pressKey(entry.field, VK_RETURN);
    });
    mouse(WM_LBUTTONDOWN, {30, 40});
    EXPECT_TRUE(entryScriptRan());
    ASSERT_EQ(editorState.annotations.size(), 1u);
    const Annotation& text = editorState.annotations[0];
    EXPECT_EQ(text.kind, AnnotationKind::Text);
    EXPECT_EQ(text.text, L"abc");
    expectNear({text.x1, text.y1}, 30, 40);
    EXPECT_FLOAT_EQ(text.x2, text.x1);
    EXPECT_TRUE(text.points.empty());
    EXPECT_FALSE(editorState.dragging);
    EXPECT_TRUE(IsWindowEnabled(editor));

    whenEntryOpens([](const EntryControls& entry) { pressKey(entry.field, VK_RETURN); });
    mouse(WM_LBUTTONDOWN, {60, 40});
    EXPECT_TRUE(entryScriptRan());
    EXPECT_EQ(editorState.annotations.size(), 1u);  // empty text, no mark
}

TEST_F(EditorWindow, MinimumSizeAndDpiChange) {
    HWND editor = open();
    MINMAXINFO info{};
    SendMessageW(editor, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 830);
    EXPECT_EQ(info.ptMinTrackSize.y, 400);

    std::vector<HWND> before = editorState.toolbarButtons;
    RECT suggested{40, 30, 40 + 1500, 30 + 1080};
    SendMessageW(editor, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT now;
    GetWindowRect(editor, &now);
    EXPECT_EQ(now.left, 40);
    EXPECT_EQ(now.top, 30);
    EXPECT_EQ(now.right - now.left, 1500);
    EXPECT_EQ(now.bottom - now.top, 1080);
    ASSERT_EQ(editorState.toolbarButtons.size(), 13u);
    for (HWND old : before) EXPECT_FALSE(IsWindow(old));
    for (HWND fresh : editorState.toolbarButtons) EXPECT_TRUE(IsWindow(fresh));
}

TEST_F(EditorWindow, WithoutAPictureCommandsSaySoAndPressesDoNothing) {
    openEditor(nullptr);
    HWND editor = editorState.editorWindow;
    ASSERT_NE(editor, nullptr);
    UpdateWindow(editor);
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 300));
    EXPECT_FALSE(editorState.dragging);
    command(ID_SAVE);
    EXPECT_EQ(app.statusLine, L"Нет снимка для сохранения");
    command(ID_COPY);
    EXPECT_EQ(app.statusLine, L"Нет снимка для копирования");
    app.token = "linked";
    command(ID_UPLOAD);  // its error arrives as an exception and ends on the status line
    EXPECT_EQ(app.statusLine, L"Нет снимка для загрузки");
}

// The colour the window shows at a point of the image, or at a client point.
std::uint32_t shownColour(POINT client) {
    HWND editor = editorState.editorWindow;
    UpdateWindow(editor);
    GdiFlush();
    ScreenDc dc(editor);
    COLORREF colour = GetPixel(dc.get(), client.x, client.y);
    return 0xFF000000u | GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
}

std::uint32_t shownColour(MarkPoint imagePoint) {
    MarkPoint client = imageToClient(imagePoint, currentView());
    return shownColour(POINT{static_cast<int>(client.x), static_cast<int>(client.y)});
}

constexpr std::uint32_t kMarkColour = 0xFFFF647A;
constexpr std::uint32_t kBand = 0xFF111111;

TEST_F(EditorWindow, PaintShowsThePictureTheMarksAndTheMarkInProgress) {
    open();
    drag({20, 20}, {180, 80});  // an arrow
    command(ID_TOOL_FIRST + 1);
    mouse(WM_LBUTTONDOWN, {20, 60});
    mouse(WM_MOUSEMOVE, {100, 95});
    EXPECT_EQ(shownColour(MarkPoint{150, 20}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{100, 50}), kMarkColour);  // on the arrow's shaft
    EXPECT_EQ(shownColour(MarkPoint{60, 60}), kMarkColour);   // the frame being dragged, on its top edge
    EXPECT_EQ(shownColour(MarkPoint{60, 75}), kBase);
    EXPECT_EQ(shownColour(POINT{900, 130}), kBand);
    EXPECT_EQ(editorState.annotations.size(), 1u);

    mouse(WM_MOUSEMOVE, {100, 80});  // the frame moves on; its old edge is gone
    EXPECT_EQ(shownColour(MarkPoint{60, 95}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{60, 80}), kMarkColour);
}

TEST_F(EditorWindow, UndoRedoAndNewMarksShowAtOnce) {
    open();
    drag({20, 50}, {180, 50});  // a line across the middle
    command(ID_TOOL_FIRST + 2);
    drag({100, 10}, {100, 90});
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
    EXPECT_EQ(shownColour(MarkPoint{100, 20}), kMarkColour);
    command(ID_UNDO);
    EXPECT_EQ(shownColour(MarkPoint{100, 20}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
    command(ID_UNDO);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kBase);
    command(ID_REDO);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
}

TEST_F(EditorWindow, ResizedWindowShowsThePictureInItsNewPlace) {
    open(200, 100);
    drag({20, 50}, {180, 50});
    MarkPoint corner = imageToClient({0, 0}, currentView());
    setClientSize(900, 700);
    MarkPoint moved = imageToClient({0, 0}, currentView());
    ASSERT_NE(static_cast<int>(moved.y), static_cast<int>(corner.y));
    EXPECT_EQ(shownColour(MarkPoint{1, 1}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{198, 98}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
    EXPECT_EQ(shownColour(POINT{static_cast<int>(moved.x) - 3, static_cast<int>(moved.y) + 10}), kBand);
}

TEST_F(EditorWindow, NextPictureReplacesTheOneShownBefore) {
    open(200, 100);
    EXPECT_EQ(shownColour(MarkPoint{100, 50}), kBase);
    openEditor(filledPicture(200, 100, 0xFF22AA44));
    setClientSize(1000, 720);
    EXPECT_EQ(shownColour(MarkPoint{100, 50}), 0xFF22AA44u);
}

// The next `canvasRefusals` canvases the editor asks for cannot be had.
int canvasRefusals = 0;

std::unique_ptr<DibCanvas> refusingCanvas(int width, int height) {
    if (canvasRefusals == 0) return std::make_unique<DibCanvas>(width, height);
    --canvasRefusals;
    return nullptr;
}

TEST_F(EditorWindow, PictureThatCannotBeKeptIsStillShownAndKeptLater) {
    open();
    CanvasMaker madeBefore = std::exchange(makeEditorCanvas, refusingCanvas);
    canvasRefusals = 1;  // the picture scaled for the new size
    setClientSize(900, 700);
    EXPECT_EQ(shownColour(MarkPoint{150, 20}), kBase);
    drag({20, 50}, {180, 50});
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);

    canvasRefusals = 1000;  // nothing for the next size: painted straight onto the window
    setClientSize(880, 690);
    command(ID_UNDO);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kBase);
    canvasRefusals = 0;
    command(ID_REDO);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
    makeEditorCanvas = madeBefore;
}

}  // namespace
