#pragma once
// The editor's ways out: the flattened picture as a PNG file, as PNG bytes
// for the upload, and as a bitmap on the clipboard.

#include <windows.h>
#include <commdlg.h>
#include <gdiplus.h>

#include <memory>
#include <string>

// The base image with every mark of the list painted on it, opaque, at the
// base image's size. Null when the editor has no base image.
std::unique_ptr<Gdiplus::Bitmap> flattenImage();

// The class identifier of the platform's PNG encoder; throws
// std::runtime_error("PNG codec unavailable") when there is none.
CLSID findPngEncoder();

// One complete PNG file. Throws std::runtime_error with "Недостаточно памяти"
// or "Не удалось создать PNG".
std::string encodePng(Gdiplus::Bitmap& bitmap);

// flattenImage + encodePng, the flattened copy released before returning.
// Throws std::runtime_error("Нет снимка для загрузки") without a base image.
std::string flattenedPng();

// Save As dialog, then the PNG file; reports on the status line.
void saveAsPng();
// One CF_DIB block on the clipboard; reports on the status line.
void copyImageToClipboard();

// The Save As dialog call, replaceable so tests can answer it themselves.
using SaveDialogFunction = BOOL (*)(OPENFILENAMEW*);
extern SaveDialogFunction showSaveDialog;

// Status texts shared with the editor's other commands.
inline constexpr wchar_t kNoImageToSave[] = L"Нет снимка для сохранения";
inline constexpr wchar_t kNoImageToCopy[] = L"Нет снимка для копирования";
