#include "app/command_ids.h"
#include "app/controls.h"
#include "editor/editor_state.h"
#include "editor/editor_window.h"

namespace {

struct ToolbarButton {
    int id;
    const wchar_t* label;
    int row;
    int column;
};

constexpr ToolbarButton kToolbar[] = {
    {ID_TOOL_FIRST + 0, L"↗ Стрелка", 0, 0}, {ID_TOOL_FIRST + 1, L"□ Рамка", 0, 1},
    {ID_TOOL_FIRST + 2, L"╱ Линия", 0, 2},   {ID_TOOL_FIRST + 3, L"✎ Перо", 0, 3},
    {ID_TOOL_FIRST + 4, L"Т Текст", 0, 4},   {ID_TOOL_FIRST + 5, L"▧ Мозаика", 0, 5},
    {ID_COLOR, L"Цвет", 1, 0},               {ID_THICKNESS, L"Толщина", 1, 1},
    {ID_UNDO, L"↶ Отмена", 1, 2},            {ID_REDO, L"↷ Повтор", 1, 3},
    {ID_SAVE, L"Сохранить", 1, 4},           {ID_COPY, L"Копировать", 1, 5},
    {ID_UPLOAD, L"Загрузить ↑", 1, 6},
};

constexpr int kRowTop[] = {15, 60};

}  // namespace

void createEditorToolbar() {
    for (HWND button : editorState.toolbarButtons) DestroyWindow(button);
    editorState.toolbarButtons.clear();
    HWND editor = editorState.editorWindow;
    if (!editor) return;
    for (const ToolbarButton& button : kToolbar) {
        editorState.toolbarButtons.push_back(
            createButton(editor, button.id, button.label, 16 + 112 * button.column, kRowTop[button.row], 104, 35));
    }
    InvalidateRect(editor, nullptr, FALSE);
}
