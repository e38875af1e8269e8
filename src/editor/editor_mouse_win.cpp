#include <string>

#include "app/app_state.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/mark_editing.h"
#include "editor/text_prompt.h"

MarkPoint clientToImage(POINT point) {
    Gdiplus::Bitmap& base = *editorState.baseImage;
    return clientToImage(static_cast<float>(point.x), static_cast<float>(point.y), currentView(),
                         static_cast<int>(base.GetWidth()), static_cast<int>(base.GetHeight()));
}

namespace {

void addTextMark(HWND window, MarkPoint at) {
    std::wstring text = promptText(window);
    // The entry's loop keeps other windows running: the editor may be gone.
    if (text.empty() || editorState.editorWindow != window || !editorState.baseImage) return;
    addMark(editorState.annotations, editorState.redoStack,
            textMark(at, editorState.color, editorState.thickness, std::move(text)));
    invalidateEditor();
}

}  // namespace

void pressOnImage(HWND window, POINT point) {
    if (!editorState.baseImage || editorState.dragging) return;
    if (!insideShownImage(static_cast<float>(point.x), static_cast<float>(point.y), currentView().rect)) return;
    SetFocus(window);  // the shortcuts work again after a click on the picture
    MarkPoint at = clientToImage(point);
    if (editorState.tool == AnnotationKind::Text) {
        addTextMark(window, at);
        return;
    }
    editorState.pendingMark = beginMark(editorState.tool, at, editorState.color, editorState.thickness);
    editorState.dragging = true;
    SetCapture(window);
}

void dragTo(POINT point) {
    if (!editorState.dragging) return;
    extendMark(editorState.pendingMark, clientToImage(point));
    invalidateEditor();
}

void releaseAt(POINT point) {
    if (!editorState.dragging) return;
    if (finishMark(editorState.pendingMark, clientToImage(point))) {
        addMark(editorState.annotations, editorState.redoStack, std::move(editorState.pendingMark));
    }
    editorState.pendingMark = Annotation{};
    editorState.dragging = false;  // before the release, so losing the capture finds nothing to drop
    ReleaseCapture();
    invalidateEditor();
}

void dropPendingMark() {
    if (!editorState.dragging) return;
    editorState.dragging = false;
    editorState.pendingMark = Annotation{};
    invalidateEditor();
}
