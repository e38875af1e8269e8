#include <exception>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"
#include "editor/export.h"
#include "editor/mark_editing.h"
#include "editor/upload_start.h"
#include "storage/text.h"

ColorDialogFunction showColorDialog = ChooseColorW;

namespace {

void selectTool(int index) {
    editorState.tool = static_cast<AnnotationKind>(index);
    for (HWND button : editorState.toolbarButtons) InvalidateRect(button, nullptr, FALSE);
}

void cycleThickness() {
    editorState.thickness = nextThickness(editorState.thickness);
    setStatus(thicknessStatus(editorState.thickness));
}

void chooseColor() {
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = editorState.editorWindow;
    dialog.rgbResult = argbToColorref(editorState.color);
    dialog.lpCustColors = editorState.customColors;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (showColorDialog(&dialog)) editorState.color = colorrefToArgb(dialog.rgbResult);
}

void dispatchCommand(int id) {
    if (id >= ID_TOOL_FIRST && id <= ID_TOOL_FIRST + static_cast<int>(AnnotationKind::Mosaic)) {
        selectTool(id - ID_TOOL_FIRST);
        return;
    }
    switch (id) {
    case ID_UNDO:
        undoMark(editorState.annotations, editorState.redoStack);
        break;
    case ID_REDO:
        redoMark(editorState.annotations, editorState.redoStack);
        break;
    case ID_THICKNESS:
        cycleThickness();
        break;
    case ID_COLOR:
        chooseColor();
        break;
    case ID_SAVE:
        saveAsPng();
        break;
    case ID_COPY:
        copyImageToClipboard();
        break;
    case ID_UPLOAD:
        uploadImage();
        break;
    default:
        break;
    }
}

}  // namespace

void runEditorCommand(int id) {
    try {
        dispatchCommand(id);
    } catch (const std::exception& error) {
        setStatus(toWide(error.what()));
    }
    invalidateEditor();
}
