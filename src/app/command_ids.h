#pragma once
// Command identifiers of the main window, the tray menu and the editor.

// Main window and tray menu
constexpr int ID_CAPTURE_REGION = 101;
constexpr int ID_CAPTURE_FULL = 102;
constexpr int ID_REFRESH = 103;
constexpr int ID_OPEN_ACCOUNT = 104;
constexpr int ID_LINK = 105;
constexpr int ID_UNLINK = 106;
constexpr int ID_PAGE_FIRST = 400;  // 400..404: the five tab buttons
constexpr int PAGE_COUNT = 5;
constexpr int ID_TRAY_OPEN = 900;
constexpr int ID_TRAY_EXIT = 901;
constexpr int ID_MINIMIZE = 908;
constexpr int ID_HIDE = 909;

// Editor toolbar
constexpr int ID_SAVE = 201;
constexpr int ID_COPY = 202;
constexpr int ID_UPLOAD = 203;
constexpr int ID_UNDO = 204;
constexpr int ID_REDO = 205;
constexpr int ID_COLOR = 206;
constexpr int ID_THICKNESS = 207;
constexpr int ID_TOOL_FIRST = 300;  // 300..305: one button per mark kind
