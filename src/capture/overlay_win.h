#pragma once
// The region selection overlay over the frozen screen copy.

#include <windows.h>

// Creates and shows the overlay over app.virtualScreen for app.screenImage.
// False when the window could not be made.
bool openOverlay();

// Ends the selection: with accept and an area of at least 2 × 2 the area
// goes to the editor, otherwise the main window comes back.
void finishSelection(bool accept);
