#pragma once
#include <windows.h>

// The notification-area icon of the main window. A shell that restarts has
// forgotten it and then broadcasts the "TaskbarCreated" message; the main
// window adds the icon again when that arrives, or "Выход" would be gone.
void addTrayIcon();
UINT taskbarCreatedMessage();
