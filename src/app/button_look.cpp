#include "app/button_look.h"

#include "app/command_ids.h"

bool isPrimaryButton(int id) {
    return id == ID_CAPTURE_REGION || id == ID_LINK || id == ID_UPLOAD;
}

bool isTabButton(int id) {
    return id >= ID_PAGE_FIRST && id < ID_PAGE_FIRST + PAGE_COUNT;
}

bool isSelectedToolButton(int id, int currentTool) {
    constexpr int kToolCount = 6;
    return id >= ID_TOOL_FIRST && id < ID_TOOL_FIRST + kToolCount && id - ID_TOOL_FIRST == currentTool;
}

ButtonFace buttonFace(int id, bool pressed, int currentTool) {
    if (pressed) return ButtonFace::Pressed;
    if (isPrimaryButton(id)) return ButtonFace::Primary;
    if (isSelectedToolButton(id, currentTool)) return ButtonFace::SelectedTool;
    return ButtonFace::Ordinary;
}

bool hasDarkLabel(int id) {
    return isPrimaryButton(id);
}

float tabHighlightX(float indicatorPos, int tab) {
    return (indicatorPos - static_cast<float>(tab)) * kTabPitch;
}
