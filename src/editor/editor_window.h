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

// Exact: the base image drawn by GDI+ as it rests. Quick: stretched by GDI,
// for the frames of a live resize.
enum class PictureQuality { Exact, Quick };

// One whole frame of the editor client area, the picture with its marks and
// the status line (the toolbar buttons are windows of their own), on
// `dc` for a client area of width × height.
void paintEditorOn(HDC dc, int width, int height, float dpiScale, PictureQuality quality);

// A live resize: the frames are quick while the user drags the window's
// frame, and the exact picture comes once the size stops changing.
PictureQuality pictureQuality();
void enterSizeMove();
void exitSizeMove(HWND window);
void sizeChanged(HWND window);
void editorTimer(HWND window, UINT_PTR id);
// A new editor starts at rest.
void forgetLiveResize();

void pressOnImage(HWND window, POINT point);
void dragTo(POINT point);
void releaseAt(POINT point);
void dropPendingMark();

// WM_COMMAND of the editor; exceptions end on the status line.
void runEditorCommand(int id);

// The colour dialog call, replaceable so tests can answer it themselves.
using ColorDialogFunction = BOOL (*)(CHOOSECOLORW*);
extern ColorDialogFunction showColorDialog;
