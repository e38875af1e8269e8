#pragma once
// The pieces of the editor window procedure, one job each.

#include <windows.h>
#include <commdlg.h>

#include "editor/annotation.h"
#include "editor/view_fit.h"

// Destroys the toolbar buttons and, while the editor exists, creates the 13
// again for the window's current DPI.
void createEditorToolbar();

// Where the last paint put the picture.
ViewFit currentView();
// A client point as a point of the base image, clamped onto it.
MarkPoint clientToImage(POINT point);

void invalidateEditor();
void paintEditor(HWND window);
// One whole frame of the editor client area, the picture with its marks and
// the status line (the toolbar buttons are windows of their own), on
// `dc` for a client area of width × height.
void paintEditorOn(HDC dc, int width, int height, float dpiScale);

void pressOnImage(HWND window, POINT point);
void dragTo(POINT point);
void releaseAt(POINT point);
void dropPendingMark();

// WM_COMMAND of the editor; exceptions end on the status line.
void runEditorCommand(int id);

// The colour dialog call, replaceable so tests can answer it themselves.
using ColorDialogFunction = BOOL (*)(CHOOSECOLORW*);
extern ColorDialogFunction showColorDialog;
