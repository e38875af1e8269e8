#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>

#include "app/command_ids.h"
#include "app/controls.h"
#include "app/win_handles.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/mark_editing.h"
#include "editor/shown_picture_win.h"
#include "editor/support/scenes_win.h"
#include "editor/upload_start.h"
#include "site/shot_upload.h"
#include "storage/capture_history.h"

namespace {

using namespace editortest;

constexpr std::uint32_t kBase = 0xFF3366CC;

// What the scripted dialogs answer and what the editor asked of them.
COLORREF colourAnswer = 0;
std::wstring savePath;
DWORD saveFlags = 0;
std::vector<std::string> sentShots;

// The real shell in this process, with an editor opened in each case.
class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        editorState.tool = AnnotationKind::Arrow;
        editorState.color = 0xFFFF647A;
        editorState.thickness = 4;
        showColorDialog = [](CHOOSECOLORW* dialog) { return dialog->rgbResult = colourAnswer, TRUE; };
        showSaveDialog = [](OPENFILENAMEW* dialog) {
            saveFlags = dialog->Flags;
            wcsncpy(dialog->lpstrFile, savePath.c_str(), dialog->nMaxFile - 1);
            return TRUE;
        };
        sendShot = [](std::string png) { sentShots.push_back(std::move(png)); };
        sentShots.clear();
        saveFlags = 0;
    }
    void TearDown() override {
        app.busy = false;
        app.token.clear();
        showColorDialog = ChooseColorW;
        showSaveDialog = GetSaveFileNameW;
        sendShot = startShotUpload;
        if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);
        testsupport::pumpMessages();
        forgetShownPicture();
        editorState.baseImage.reset();
        editorState.annotations.clear();
        editorState.redoStack.clear();
        editorState.dragging = false;
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
        for (UINT message : {WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP}) mouse(message, message == WM_LBUTTONDOWN ? from : to);
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
};

// Every kind of mark on real pixels, later marks over earlier ones; the
// mark still being dragged stays out.
TEST_F(EditorWindow, MarksMatchTheStoredPicture) {
    editorState.baseImage = patternedPicture(320, 200);
    editorState.annotations = sampleMarks();
    editorState.dragging = true;
    editorState.pendingMark = mark(AnnotationKind::Line, 0, 100, 319, 100, 0xFF00FF00, 10);
    expectLikeStored(pixelsOf(*flattenImage()), L"flattened");
}

// What the editor keeps between repaints follows every add, undo and redo
// to exactly the picture a paint from scratch shows: the undone marks here
// reach past their points (thick pens, an arrow head, wrapped text) over
// earlier marks, and an undone mosaic hid some.
TEST_F(EditorWindow, KeptPictureFollowsAddsUndosAndRedosToThePixel) {
    editorState.baseImage = patternedPicture(320, 200);
    auto painted = [] {
        return testsupport::renderWith(900, 600, [](HDC dc) { paintEditorOn(dc, 900, 600, 1.0f, PictureQuality::Exact); }).argb;
    };
    std::vector<std::pair<std::vector<Annotation>, std::vector<std::uint32_t>>> steps;
    auto record = [&] { steps.emplace_back(editorState.annotations, painted()); };
    std::vector<Annotation> &list = editorState.annotations, &redo = editorState.redoStack;
    record();
    for (const Annotation& added : sampleMarks()) {
        addMark(list, redo, added);
        record();
    }
    for (int i = 0; i < 5; ++i) {  // the last one first
        undoMark(list, redo);
        record();
    }
    redoMark(list, redo);  // two between paints
    redoMark(list, redo);
    record();
    undoMark(list, redo);
    record();
    list.back().color = 0xFFFF0000;  // the last mark changed in place
    record();

    for (std::size_t step = 0; step < steps.size(); ++step) {
        list = steps[step].first;
        forgetShownPicture();
        EXPECT_TRUE(painted() == steps[step].second) << "step " << step;
    }
}

TEST_F(EditorWindow, OpensOnTheMainWindowsCornerCountedAndReady) {
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

    // A move to a monitor of another scale takes the frame the system suggests.
    RECT suggested{40, 30, 40 + 1500, 30 + 1080};
    SendMessageW(editor, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    GetWindowRect(editor, &placed);
    EXPECT_TRUE(EqualRect(&placed, &suggested));
}

// A press beside the picture starts nothing, a drag that loses the mouse
// leaves no mark, and while an upload runs the editor stays open.
TEST_F(EditorWindow, MarksNeedAWholeDragOnThePictureAndAnUploadKeepsTheEditorOpen) {
    HWND editor = open();
    SendMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 300));
    EXPECT_FALSE(editorState.dragging);
    mouse(WM_LBUTTONDOWN, {10, 10});
    mouse(WM_MOUSEMOVE, {90, 60});
    ReleaseCapture();
    mouse(WM_LBUTTONUP, {90, 60});
    EXPECT_TRUE(editorState.annotations.empty());

    app.busy = true;
    SendMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(editor));
    EXPECT_EQ(app.statusLine, L"Дождитесь завершения загрузки");
}

// The client area as the screen shows it once pending paints are done.
testsupport::Pixels onScreen() {
    HWND editor = editorState.editorWindow;
    UpdateWindow(editor);
    RECT client;
    GetClientRect(editor, &client);
    ScreenDc dc(editor);
    return testsupport::renderWith(client.right, client.bottom, [&](HDC into) {
        BitBlt(into, 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
    });
}

// What the editor window shows, buttons and all, painted afresh over black.
testsupport::Pixels shownWindow() {
    HWND editor = editorState.editorWindow;
    RECT client;
    GetClientRect(editor, &client);
    PatBlt(ScreenDc(editor).get(), 0, 0, client.right, client.bottom, BLACKNESS);
    RedrawWindow(editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return onScreen();
}

// The next `canvasRefusals` canvases the editor asks for cannot be had.
int canvasRefusals = 0;

// The toolbar, the picture fitted between the bands with its marks, a text
// placed where it was asked for, the mark being dragged (where it is now,
// not where it was) and the status line; the same when no canvas can be had
// to keep the picture in (the first refusal) or to compose the frame on.
TEST_F(EditorWindow, ShowsTheStoredPictureAlsoWhenItCannotBeKept) {
    openEditor(filledPicture(320, 200, kBase));
    testsupport::Pixels plain = shownWindow();
    openEditor(patternedPicture(320, 200));
    EXPECT_NE(shownWindow().argb, plain.argb);  // at the same place: nothing of the last picture stays
    editorState.annotations = sampleMarks();
    shownWindow();
    setClientSize(900, 700);
    command(ID_TOOL_FIRST + 4);
    whenEntryOpens([](const EntryControls& entry) {
        typeInto(entry.field, L"Текст");
        pressKey(entry.field, VK_RETURN);
    });
    mouse(WM_LBUTTONDOWN, {230, 15});
    command(ID_TOOL_FIRST + 1);
    mouse(WM_LBUTTONDOWN, {20, 20});
    mouse(WM_MOUSEMOVE, {300, 190});
    shownWindow();
    mouse(WM_MOUSEMOVE, {200, 100});
    testsupport::Pixels kept = shownWindow();
    expectLikeStored(kept, L"editor-window");
    CanvasMaker madeBefore = std::exchange(makeEditorCanvas, [](int width, int height) {
        return canvasRefusals-- > 0 ? nullptr : std::make_unique<DibCanvas>(width, height);
    });
    for (int refused : {1, 2}) {
        canvasRefusals = refused;
        forgetShownPicture();
        // Straight onto the window (the second) edges are smoothed differently: under 1 % of the pixels.
        int allowed = refused == 1 ? 0 : kept.width * kept.height / 100;
        EXPECT_LE(testsupport::compareImages(shownWindow(), kept, 16), allowed);
    }
    makeEditorCanvas = madeBefore;
}

// The primary button pressed or released through the system's input queue,
// over an empty spot of the toolbar band.
void primaryButton(DWORD flags) {
    POINT spot{980, 100};
    ClientToScreen(editorState.editorWindow, &spot);
    SetCursorPos(spot.x, spot.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof input);
    testsupport::pumpMessages();
}

// Dragging the frame, in the system's size-and-move loop or with the button
// held outside it, shows the picture stretched the quick way, close to the
// exact one, with the marks over it in place and an undone mark gone; once
// the drag ends the picture is drawn exactly, as an editor opened at that
// size shows it. A size step with no button held (a maximise, another
// program) is exact at once.
TEST_F(EditorWindow, LiveResizeKeepsTheMarksInPlaceAndEndsOnTheRestingPicture) {
    SetWindowPos(open(), nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(pictureQuality(), PictureQuality::Exact);
    for (bool inLoop : {true, false}) {
        HWND editor = open(patternedPicture(320, 200));
        editorState.annotations = sampleMarks();
        shownWindow();
        if (inLoop) SendMessageW(editor, WM_ENTERSIZEMOVE, 0, 0);
        else primaryButton(MOUSEEVENTF_LEFTDOWN);
        setClientSize(900, 640);
        testsupport::Pixels during = onScreen();
        MarkPoint onLastArrow = imageToClient({230, 110}, currentView());
        EXPECT_EQ(during.at(std::lround(onLastArrow.x), std::lround(onLastArrow.y)), 0xFFFF0000u);
        Sleep(120);  // past a look at the button: held, or in the loop (keyboard sizing holds none), it stays quick
        testsupport::pumpMessages();
        EXPECT_EQ(pictureQuality(), PictureQuality::Quick) << inLoop;
        command(ID_UNDO);
        EXPECT_NE(onScreen().at(std::lround(onLastArrow.x), std::lround(onLastArrow.y)), 0xFFFF0000u);
        if (inLoop) SendMessageW(editor, WM_EXITSIZEMOVE, 0, 0);
        else primaryButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(testsupport::pumpUntil([] { return pictureQuality() == PictureQuality::Exact; }));
        testsupport::Pixels after = onScreen();
        forgetShownPicture();
        EXPECT_EQ(testsupport::compareImages(after, shownWindow(), 0), 0) << inLoop;
        command(ID_REDO);
        int differing = testsupport::compareImages(during, shownWindow(), 16);
        EXPECT_GT(differing, 0) << inLoop;
        EXPECT_LT(differing, during.width * during.height / 50) << inLoop;
    }
}

TEST_F(EditorWindow, ShortcutsAndEscapeRunThroughTheMessageLoop) {
    HWND editor = open();
    for (float y : {10.0f, 30.0f, 50.0f}) drag({10, y}, {150, y});
    SetFocus(editorState.editorWindow);
    keysThroughTheLoop({'Z', 'Z'}, true);
    EXPECT_EQ(editorState.annotations.size(), 1u);
    keysThroughTheLoop({'Y'}, true);
    EXPECT_EQ(editorState.annotations.size(), 2u);
    savePath = (std::filesystem::temp_directory_path() / "clipvane-shot.png").wstring();
    keysThroughTheLoop({'S'}, true);
    EXPECT_EQ(saveFlags, static_cast<DWORD>(OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST));  // asks before overwriting
    EXPECT_EQ(app.statusLine, L"Снимок сохранён");
    std::optional<testsupport::Pixels> saved = testsupport::loadPng(savePath);
    DeleteFileW(savePath.c_str());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->argb, pixelsOf(*flattenImage()).argb);
    keysThroughTheLoop({'C'}, true);
    EXPECT_EQ(app.statusLine, L"Изображение скопировано");
    testsupport::Process holder;  // another program holding the clipboard, until the test ends
    ASSERT_TRUE(holder.start(testsupport::windowsPath(CLIPVANE_CLIPBOARD_HOLDER)));
    // Until ours cannot open it (opened, it is closed at once); the owner answers while it waits.
    ASSERT_TRUE(testsupport::pumpUntil([] { return !OpenClipboard(editorState.editorWindow) || !CloseClipboard(); }));
    keysThroughTheLoop({'C'}, true);
    EXPECT_EQ(app.statusLine, L"Буфер занят. Повторите копирование");

    // Esc closes the editor and the main window comes back.
    HWND colourButton = editorState.toolbarButtons[6];
    ShowWindow(app.mainWindow, SW_HIDE);
    SetFocus(colourButton);  // Esc reaches a button as IDCANCEL
    keysThroughTheLoop({VK_ESCAPE}, false, colourButton);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(editorState.editorWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
}

// The text entry sits over the picture and keeps the editor disabled while
// it is open; Enter or its button confirms up to 200 characters, Esc,
// closing it or a quit message cancels, and the quit is posted again.
TEST_F(EditorWindow, TextEntryConfirmsOrCancelsAndGivesTheEditorBack) {
    HWND editor = open();
    SetForegroundWindow(editor);
    const std::wstring tooLong = std::wstring(199, L'ж') + L"Я!";
    auto press = [](WPARAM key) { return [key](const EntryControls& entry) { pressKey(entry.field, key); }; };
    struct Row { std::wstring typed; std::function<void(const EntryControls&)> finish; std::wstring result; };
    const Row rows[] = {
        {L"abc", press(VK_RETURN), L"abc"},
        {tooLong, press(VK_RETURN), tooLong.substr(0, 200)},
        {L"Привет",
         [](const EntryControls& entry) {
             PostMessageW(entry.button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
             PostMessageW(entry.button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         },
         L"Привет"},
        {L"typed", press(VK_ESCAPE), L""},
        {L"typed", [](const EntryControls& entry) { PostMessageW(entry.frame, WM_CLOSE, 0, 0); }, L""},
        {L"typed", [](const EntryControls&) { PostQuitMessage(7); }, L""},
    };
    RECT editorRect{}, entryRect{}, fieldRect{};
    GetWindowRect(editor, &editorRect);
    for (const Row& row : rows) {
        whenEntryOpens([&](const EntryControls& entry) {
            EXPECT_FALSE(IsWindowEnabled(editor));
            GetWindowRect(entry.frame, &entryRect);
            GetWindowRect(entry.field, &fieldRect);
            typeInto(entry.field, row.typed);
            row.finish(entry);
        });
        EXPECT_EQ(promptText(editor), row.result) << row.typed.size();
        EXPECT_TRUE(IsWindowEnabled(editor));
        EXPECT_EQ(GetForegroundWindow(), editor);
        EXPECT_EQ(FindWindowW(nullptr, L"Текст на снимке"), nullptr);
    }
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_EQ((std::array{entryRect.left - editorRect.left, entryRect.top - editorRect.top,
                          entryRect.right - entryRect.left, entryRect.bottom - entryRect.top,
                          fieldRect.right - fieldRect.left}),
              (std::array<LONG, 5>{80, 100, 420, 150, 370}));
}

TEST_F(EditorWindow, ToolColourAndThicknessStayWithEachMarkAndCarryToTheNextEditor) {
    HWND editor = open();
    command(ID_TOOL_FIRST + 2);
    colourAnswer = RGB(0x11, 0x22, 0x33);
    command(ID_COLOR);
    drag({10, 10}, {50, 50});
    command(ID_THICKNESS);
    command(ID_THICKNESS);
    EXPECT_EQ(app.statusLine, L"Толщина: 8 px");
    ASSERT_EQ(editorState.annotations.size(), 1u);
    EXPECT_EQ(editorState.annotations[0].kind, AnnotationKind::Line);
    EXPECT_EQ(editorState.annotations[0].color, 0xFF112233u);

    DestroyWindow(editor);
    open();
    EXPECT_EQ(editorState.tool, AnnotationKind::Line);
    EXPECT_EQ(editorState.color, 0xFF112233u);
    EXPECT_FLOAT_EQ(editorState.thickness, 8);
}

TEST_F(EditorWindow, UploadStartsOnlyLinkedAndIdleWithTheMarkedPicture) {
    open();
    drag({20, 20}, {180, 80});
    app.busy = true;
    app.statusLine = L"before";
    ShowWindow(app.mainWindow, SW_HIDE);
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"before");

    app.busy = false;
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"Сначала привяжите профиль на пятой вкладке");
    EXPECT_EQ(app.currentPage, 4);
    EXPECT_TRUE(IsWindowVisible(app.mainWindow));
    EXPECT_TRUE(sentShots.empty());

    app.token = "linked";
    command(ID_UPLOAD);
    ASSERT_EQ(sentShots.size(), 1u);
    EXPECT_TRUE(sentShots[0] == flattenedPng());

    // Noise does not compress: 2400 × 2000 pixels make a PNG of over 14 MB.
    auto noise = filledPicture(2400, 2000, 0);
    Gdiplus::BitmapData data{};
    Gdiplus::Rect whole(0, 0, 2400, 2000);
    noise->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data);  // rows without padding
    std::mt19937 random(7);
    std::generate_n(static_cast<std::uint32_t*>(data.Scan0), 2400 * 2000, [&] { return random() | 0xFF000000u; });
    noise->UnlockBits(&data);
    DestroyWindow(editorState.editorWindow);
    open(std::move(noise));
    command(ID_UPLOAD);
    EXPECT_EQ(app.statusLine, L"PNG больше 12 МБ. Выделите меньшую область");
    EXPECT_EQ(sentShots.size(), 1u);
}

}  // namespace
