#include <windowsx.h>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/drawing_kit.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/shown_picture_win.h"
#include "site/request_runner.h"
#include "storage/capture_history.h"

namespace {

constexpr wchar_t kEditorClass[] = L"ClipvaneEditor";

float dpiScaleOf(HWND window) {
    UINT dpi = window ? GetDpiForWindow(window) : 0;
    return static_cast<float>(dpi ? dpi : GetDpiForSystem()) / 96.0f;
}

void onDestroy() {
    editorState.editorWindow = nullptr;
    editorState.toolbarButtons.clear();  // they die with the window
    editorState.baseImage.reset();
    forgetShownPicture();
    forgetLiveResize();
    editorState.annotations.clear();
    editorState.redoStack.clear();
    editorState.dragging = false;
    editorState.pendingMark = Annotation{};
    ShowWindow(app.mainWindow, SW_SHOW);
    SetForegroundWindow(app.mainWindow);
}

void onClose(HWND window) {
    if (requestInFlight()) {
        setStatus(L"Дождитесь завершения загрузки");
        return;
    }
    DestroyWindow(window);
}

void onMinMaxInfo(HWND window, MINMAXINFO& info) {
    float scale = dpiScaleOf(window);
    info.ptMinTrackSize.x = static_cast<LONG>(830 * scale);
    info.ptMinTrackSize.y = static_cast<LONG>(400 * scale);
}

int shortcutCommand(WPARAM key) {
    switch (key) {
    case 'Z':
        return ID_UNDO;
    case 'Y':
        return ID_REDO;
    case 'S':
        return ID_SAVE;
    case 'C':
        return ID_COPY;
    default:
        return 0;
    }
}

void onKeyDown(HWND window, WPARAM key) {
    if (key == VK_ESCAPE) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    int command = GetKeyState(VK_CONTROL) < 0 ? shortcutCommand(key) : 0;
    if (command) SendMessageW(window, WM_COMMAND, command, 0);
}

void onDpiChanged(HWND window, const RECT& suggested) {
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    createEditorToolbar();
}

void onCommand(HWND window, int id) {
    // Esc pressed while a toolbar button has the focus comes from the dialog
    // handling of the message loop as IDCANCEL: it closes, as Esc does anywhere.
    if (id == IDCANCEL) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    runEditorCommand(id);
}

POINT pointerOf(LPARAM lParam) {
    return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

}  // namespace

void invalidateEditor() {
    if (editorState.editorWindow) InvalidateRect(editorState.editorWindow, nullptr, FALSE);
}

void openEditor(std::unique_ptr<Gdiplus::Bitmap> image) {
    if (editorState.editorWindow) DestroyWindow(editorState.editorWindow);  // one editor at a time
    editorState.baseImage = std::move(image);
    editorState.annotations.clear();
    editorState.redoStack.clear();
    recordCapture();
    setStatus(L"Добавьте пометки, сохраните PNG или загрузите на сайт");

    float scale = dpiScaleOf(app.mainWindow);
    RECT mainRect{};
    if (app.mainWindow) GetWindowRect(app.mainWindow, &mainRect);
    HWND window = CreateWindowExW(0, kEditorClass, L"Clipvane — Редактор", WS_OVERLAPPEDWINDOW, mainRect.left,
                                  mainRect.top, static_cast<int>(1000 * scale), static_cast<int>(720 * scale),
                                  nullptr, nullptr, app.instance, nullptr);
    editorState.editorWindow = window;
    if (!window) {
        editorState.baseImage.reset();  // nobody would ever release it
        // The capture hid the main window, and no editor will show it again.
        ShowWindow(app.mainWindow, SW_SHOW);
        SetForegroundWindow(app.mainWindow);
        setStatus(L"Не удалось открыть редактор. Сделайте снимок ещё раз");
        return;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
}

LRESULT CALLBACK editorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        editorState.editorWindow = window;
        createEditorToolbar();
        return 0;
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_SIZE:
        sizeChanged(window);
        return 0;
    case WM_ENTERSIZEMOVE:
        enterSizeMove();
        return 0;
    case WM_EXITSIZEMOVE:
        exitSizeMove(window);
        return 0;
    case WM_TIMER:
        editorTimer(window, wParam);
        return 0;
    case WM_PAINT:
        paintEditor(window);
        return 0;
    case WM_CLOSE:
        onClose(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_GETMINMAXINFO:
        onMinMaxInfo(window, *reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;  // the message loop's dialog handling must not eat Esc and Enter
    case WM_DRAWITEM:
        drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_KEYDOWN:
        onKeyDown(window, wParam);
        return 0;
    case WM_COMMAND:
        onCommand(window, LOWORD(wParam));
        return 0;
    case WM_LBUTTONDOWN:
        pressOnImage(window, pointerOf(lParam));
        return 0;
    case WM_MOUSEMOVE:
        dragTo(pointerOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        releaseAt(pointerOf(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        dropPendingMark();
        return 0;
    case WM_DPICHANGED:
        onDpiChanged(window, *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
