#pragma once
// Which face an owner-drawn button gets, and where the sliding tab
// highlight falls inside one tab button. Plain decisions, no drawing.

enum class ButtonFace {
    Pressed,
    Primary,
    SelectedTool,
    Ordinary,
};

// The capture-region, link and upload buttons carry the light face.
bool isPrimaryButton(int id);
bool isTabButton(int id);
// A tool button of the editor whose kind is the current tool.
bool isSelectedToolButton(int id, int currentTool);

ButtonFace buttonFace(int id, bool pressed, int currentTool);
// Primary buttons keep their dark label, pressed or not.
bool hasDarkLabel(int id);

// Tab buttons are 64 units wide with a 2-unit gap.
inline constexpr float kTabPitch = 66.0f;
inline constexpr float kTabWidth = 64.0f;
inline constexpr float kTabHeight = 43.0f;

// Left edge of the highlight in the coordinates of tab button `tab`.
float tabHighlightX(float indicatorPos, int tab);
