#pragma once
#include <windows.h>

// The whole life of the program: single-instance guard, start-up, message
// loop and shutdown. Returns the process exit code.
int runClipvane(HINSTANCE instance);

// Start-up after the single-instance guard: libraries, shared GDI objects,
// settings, window classes, the main window, tray icon, hot keys and timer.
// Returns false, with everything released again, when the main window
// cannot be created.
bool startShell(HINSTANCE instance);
// Shutdown after the message loop: waits for a request in flight, then
// releases images, GDI objects, GDI+ and COM.
void stopShell();
// Runs until WM_QUIT, with dialog navigation in the editor and main window.
void runMessageLoop();
