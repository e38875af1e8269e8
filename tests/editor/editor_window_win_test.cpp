#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <thread>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/controls.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/shown_picture_win.h"
#include "editor/support/entry_script_win.h"
#include "editor/support/pictures_win.h"
#include "editor/upload_start.h"
#include "site/request_runner.h"
#include "site/shot_upload.h"
#include "support/win_process.h"
#include "storage/capture_history.h"
#include "support/shell_session_win.h"

namespace {

using namespace editortest;

constexpr std::uint32_t kBase = 0xFF3366CC;
constexpr std::uint32_t kMarkColour = 0xFFFF647A;
constexpr std::uint32_t kBand = 0xFF111111;

CHOOSECOLORW colourDialogSeen{};
COLORREF colourAnswer = 0;  // 0: the dialog is cancelled
BOOL scriptedColourDialog(CHOOSECOLORW* dialog) {
    colourDialogSeen = *dialog;
    dialog->rgbResult = colourAnswer;
    return colourAnswer != 0;
}

int saveDialogs = 0;
BOOL cancelledSaveDialog(OPENFILENAMEW*) {
    ++saveDialogs;
    return FALSE;
}

std::vector<std::string> sentShots;
void recordShot(std::string png) {
    sentShots.push_back(std::move(png));
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
        editorState.color = kMarkColour;
        editorState.thickness = 4;
        showColorDialog = scriptedColourDialog;
        showSaveDialog = cancelledSaveDialog;
        sendShot = recordShot;
        sentShots.clear();
    }
    void TearDown() override {
        app.busy = false;
        app.token.clear();
        showColorDialog = ChooseColorW;
        showSaveDialog = GetSaveFileNameW;
        sendShot = startShotUpload;
        if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
        testsupport::pumpMessages();
    }

    HWND open(std::unique_ptr<Gdiplus::Bitmap> picture = filledPicture(200, 100, kBase)) {
        openEditor(std::move(picture));
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

    static void mouse(UINT message, MarkPoint imagePoint) {
        MarkPoint client = imageToClient(imagePoint, currentView());
        SendMessageW(editorState.editorWindow, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                     MAKELPARAM(std::lround(client.x), std::lround(client.y)));
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

void expectNear(float x, float y, float expectedX, float expectedY) {
    EXPECT_NEAR(x, expectedX, 0.2f);
    EXPECT_NEAR(y, expectedY, 0.2f);
}

TEST_F(EditorWindow, OpensOnTheMainWindowsCornerRecordsTheShotAndBuildsTheToolbar) {
    SetWindowPos(app.mainWindow, nullptr, 137, 91, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    int before = countOnDay(0);
    openEditor(filledPicture(200, 100, kBase));
    HWND editor = editorState.editorWindow;
    ASSERT_EQ(GetDpiForWindow(editor), 96u);
    RECT placed;
    GetWindowRect(editor, &placed);
    EXPECT_EQ((std::array{placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top}),
              (std::array<LONG, 4>{137, 91, 1000, 720}));
    EXPECT_EQ(countOnDay(0), before + 1);
    EXPECT_EQ(app.statusLine, L"Добавьте пометки, сохраните PNG или загрузите на сайт");
    EXPECT_TRUE(IsWindowVisible(editor));
    EXPECT_EQ(readWindowText(editor), L"Clipvane — Редактор");

    const int ids[] = {300, 301, 302, 303, 304, 305, 206, 207, 204, 205, 201, 202, 203};
    const wchar_t* labels[] = {L"↗ Стрелка", L"□ Рамка",   L"╱ Линия",   L"✎ Перо",   L"Т Текст",
                               L"▧ Мозаика", L"Цвет",      L"Толщина",   L"↶ Отмена", L"↷ Повтор",
                               L"Сохранить", L"Копировать", L"Загрузить ↑"};
    ASSERT_EQ(editorState.toolbarButtons.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        HWND button = editorState.toolbarButtons[i];
        EXPECT_EQ(GetDlgCtrlID(button), ids[i]);
        EXPECT_EQ(readWindowText(button), labels[i]);
        RECT rect;
        GetWindowRect(button, &rect);
        MapWindowPoints(nullptr, editor, reinterpret_cast<POINT*>(&rect), 2);
        EXPECT_EQ(rect.left, 16 + 112 * (i < 6 ? i : i - 6)) << i;
        EXPECT_EQ(rect.top, i < 6 ? 15 : 60) << i;
    }
}

TEST_F(EditorWindow, DragMakesOneMarkOfTheToolChosenAtThePressClampedToThePicture) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 3);
    mouse(WM_LBUTTONDOWN, {10, 20});
    mouse(WM_MOUSEMOVE, {50, 60});
    command(ID_TOOL_FIRST + 1);
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_EQ(GetCapture(), editor);
    SendMessageW(editor, WM_LBUTTONUP, 0, MAKELPARAM(-40, -300));
    EXPECT_EQ(GetCapture(), nullptr);
    ASSERT_EQ(editorState.annotations.size(), 1u);
    const Annotation& stroke = editorState.annotations[0];
    EXPECT_EQ(stroke.kind, AnnotationKind::Pen);
    EXPECT_EQ(stroke.points.size(), 2u);
    expectNear(stroke.x1, stroke.y1, 10, 20);
    expectNear(stroke.x2, stroke.y2, 0, 0);
    EXPECT_EQ(stroke.color, kMarkColour);

    // Presses on the toolbar, the status band or a side margin start nothing;
    // a drag that loses the mouse capture is dropped.
    for (POINT outside : {POINT{500, 60}, POINT{500, 700}, POINT{8, 300}}) {
        SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(outside.x, outside.y));
        EXPECT_FALSE(editorState.dragging) << outside.x << "," << outside.y;
    }
    mouse(WM_LBUTTONDOWN, {10, 10});
    mouse(WM_MOUSEMOVE, {90, 60});
    ReleaseCapture();
    mouse(WM_LBUTTONUP, {90, 60});
    EXPECT_EQ(editorState.annotations.size(), 1u);
}

TEST_F(EditorWindow, ControlShortcutsRunThroughTheMessageLoop) {
    open();
    for (float y : {10.0f, 30.0f, 50.0f}) drag({10, y}, {150, y});
    SetFocus(editorState.editorWindow);
    keysThroughTheLoop({'Z', 'Z'}, true);
    EXPECT_EQ(editorState.annotations.size(), 1u);
    keysThroughTheLoop({'Y'}, true);
    EXPECT_EQ(editorState.annotations.size(), 2u);
    app.statusLine.clear();
    keysThroughTheLoop({'Z', 'Y', 'S', 'C'}, false);  // without Ctrl the letters do nothing
    EXPECT_EQ(editorState.annotations.size(), 2u);
    EXPECT_EQ(saveDialogs, 0);
    EXPECT_EQ(app.statusLine, L"");
    keysThroughTheLoop({'S'}, true);
    EXPECT_EQ(saveDialogs, 1);
    keysThroughTheLoop({'C'}, true);
    EXPECT_EQ(app.statusLine, L"Изображение скопировано");
}

TEST_F(EditorWindow, EscapeClosesUnlessARequestRunsAndTheMainWindowComesBack) {
    HWND editor = open();
    drag({10, 10}, {50, 50});
    HWND colourButton = editorState.toolbarButtons[6];
    app.busy = true;
    keysThroughTheLoop({VK_ESCAPE}, false);
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения загрузки");
    SendMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(editor));

    app.busy = false;
    ShowWindow(app.mainWindow, SW_HIDE);
    SetFocus(colourButton);  // Esc reaches a button as IDCANCEL
    keysThroughTheLoop({VK_ESCAPE}, false, colourButton);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_EQ(editorState.baseImage, nullptr);
    EXPECT_TRUE(editorState.annotations.empty());
    EXPECT_TRUE(editorState.toolbarButtons.empty());
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
}

TEST_F(EditorWindow, ToolColourAndThicknessStayWithEachMarkAndCarryToTheNextEditor) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 2);
    colourAnswer = RGB(0x11, 0x22, 0x33);
    command(ID_COLOR);
    EXPECT_EQ(colourDialogSeen.rgbResult, RGB(0xFF, 0x64, 0x7A));
    EXPECT_EQ(colourDialogSeen.Flags, static_cast<DWORD>(CC_RGBINIT | CC_FULLOPEN));
    EXPECT_EQ(colourDialogSeen.hwndOwner, editor);
    EXPECT_EQ(colourDialogSeen.lpCustColors, editorState.customColors);
    colourAnswer = 0;
    command(ID_COLOR);
    drag({10, 10}, {50, 50});
    command(ID_THICKNESS);
    command(ID_THICKNESS);
    EXPECT_EQ(app.statusLine, L"Толщина: 8 px");
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_EQ(editorState.annotations[0].kind, AnnotationKind::Line);
    EXPECT_EQ(editorState.annotations[0].color, 0xFF112233u);
    EXPECT_FLOAT_EQ(editorState.annotations[0].thickness, 4);

    DestroyWindow(editor);
    open();
    EXPECT_EQ(editorState.tool, AnnotationKind::Line);
    EXPECT_EQ(editorState.color, 0xFF112233u);
    EXPECT_FLOAT_EQ(editorState.thickness, 8);
}

TEST_F(EditorWindow, TextToolAsksForTheTextAtThePressedPoint) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 4);
    for (const wchar_t* typed : {L"abc", L""}) {  // an empty text makes no mark
        whenEntryOpens([typed](const EntryControls& entry) {
            typeInto(entry.field, typed);
            pressKey(entry.field, VK_RETURN);
        });
        mouse(WM_LBUTTONDOWN, {30, 40});
        EXPECT_TRUE(entryScriptRan());
    }
    ASSERT_EQ(editorState.annotations.size(), 1u);
    const Annotation& text = editorState.annotations[0];
    EXPECT_EQ(text.kind, AnnotationKind::Text);
    EXPECT_EQ(text.text, L"abc");
    expectNear(text.x1, text.y1, 30, 40);
    EXPECT_FALSE(editorState.dragging);
    EXPECT_TRUE(IsWindowEnabled(editor));
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
    EXPECT_TRUE(EqualRect(&now, &suggested));
    ASSERT_EQ(editorState.toolbarButtons.size(), 13u);
    for (HWND old : before) EXPECT_FALSE(IsWindow(old));
    for (HWND fresh : editorState.toolbarButtons) EXPECT_TRUE(IsWindow(fresh));
}

TEST_F(EditorWindow, UploadStartsOnlyLinkedAndIdleWithThePictureAsItIsAtThePress) {
    open();
    drag({20, 20}, {180, 80});
    app.busy = true;
    app.statusLine = L"before";
    app.currentPage = 0;
    ShowWindow(app.mainWindow, SW_HIDE);
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"before");
    EXPECT_EQ(app.currentPage, 0);

    app.busy = false;
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"Сначала привяжите профиль на пятой вкладке");
    EXPECT_EQ(app.currentPage, 4);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_TRUE(sentShots.empty());

    app.token = "linked";
    std::string atThePress = flattenedPng();
    command(ID_UPLOAD);
    drag({10, 90}, {190, 90});  // while the upload runs
    ASSERT_EQ(sentShots.size(), 1u);
    EXPECT_TRUE(sentShots[0] == atThePress);
    EXPECT_FALSE(sentShots[0] == flattenedPng());
}

// The real upload with its worker held back until the picture is gone:
// what it sends was taken at the press, so it still goes out (and finds no
// site at port 1).
TEST_F(EditorWindow, UploadReadsThePictureOnlyAtThePress) {
    open();
    app.token = "linked";
    std::wstring address = std::exchange(app.siteAddress, L"https://127.0.0.1:1");
    sendShot = startShotUpload;
    std::function<void()> worker;
    setRequestRunnerSeams(nullptr, [&](std::function<void()> body) {
        worker = std::move(body);
        return std::thread();
    });
    command(ID_UPLOAD);
    setRequestRunnerSeams(nullptr, nullptr);
    ASSERT_TRUE(worker);
    editorState.baseImage.reset();
    worker();
    EXPECT_TRUE(testsupport::waitFor([] {
        testsupport::pumpMessages();
        return !app.busy;
    }));
    app.siteAddress = address;
    EXPECT_EQ(app.statusLine, L"Нет соединения с сайтом. Проверьте интернет и адрес");
}

TEST_F(EditorWindow, PngOverTheLimitIsNotSent) {
    // Noise does not compress: 2400 × 2000 pixels make a PNG of over 14 MB.
    auto noise = filledPicture(2400, 2000, 0);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect whole(0, 0, 2400, 2000);
    noise->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);
    std::mt19937 random(7);
    for (int y = 0; y < 2000; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < 2400; ++x) row[x] = random() | 0xFF000000u;
    }
    noise->UnlockBits(&data);
    open(std::move(noise));
    app.token = "linked";
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"PNG больше 12 МБ. Выделите меньшую область");
    EXPECT_TRUE(sentShots.empty());
}

TEST_F(EditorWindow, WithoutAPicturePressesDoNothingAndUploadSaysSo) {
    openEditor(nullptr);
    HWND editor = editorState.editorWindow;
    ASSERT_NE(editor, nullptr);
    UpdateWindow(editor);
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 300));
    EXPECT_FALSE(editorState.dragging);
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

TEST_F(EditorWindow, PaintShowsThePictureTheMarksAndTheMarkInProgress) {
    open();
    drag({20, 20}, {180, 80});  // an arrow
    command(ID_TOOL_FIRST + 1);
    mouse(WM_LBUTTONDOWN, {20, 60});
    mouse(WM_MOUSEMOVE, {100, 95});
    EXPECT_EQ(shownColour(MarkPoint{150, 20}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{100, 50}), kMarkColour);  // on the arrow's shaft
    EXPECT_EQ(shownColour(MarkPoint{60, 60}), kMarkColour);   // the frame being dragged, on its top edge
    EXPECT_EQ(shownColour(POINT{900, 130}), kBand);
    mouse(WM_MOUSEMOVE, {100, 80});  // the frame moves on; its old edge is gone
    EXPECT_EQ(shownColour(MarkPoint{60, 95}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{60, 80}), kMarkColour);
}

TEST_F(EditorWindow, ResizedWindowAndNextPictureAreShownInTheirPlace) {
    open();
    drag({20, 50}, {180, 50});
    MarkPoint corner = imageToClient({0, 0}, currentView());
    setClientSize(900, 700);
    MarkPoint moved = imageToClient({0, 0}, currentView());
    ASSERT_NE(static_cast<int>(moved.y), static_cast<int>(corner.y));
    EXPECT_EQ(shownColour(MarkPoint{198, 98}), kBase);
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), kMarkColour);
    EXPECT_EQ(shownColour(POINT{static_cast<int>(moved.x) - 3, static_cast<int>(moved.y) + 10}), kBand);

    open(filledPicture(200, 100, 0xFF22AA44));
    EXPECT_EQ(shownColour(MarkPoint{60, 50}), 0xFF22AA44u);
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
