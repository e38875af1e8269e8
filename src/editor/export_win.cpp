#include "editor/export.h"

#include <cwchar>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "editor/annotation_draw.h"
#include "editor/bitmap_lock_win.h"
#include "editor/dib_block.h"
#include "editor/editor_state.h"
#include "editor/flatten_pixels.h"
#include "editor/global_memory_win.h"

using namespace Gdiplus;

SaveDialogFunction showSaveDialog = GetSaveFileNameW;

namespace {

struct StreamRelease {
    void operator()(IStream* stream) const { stream->Release(); }
};
using StreamHolder = std::unique_ptr<IStream, StreamRelease>;

// White, then the base image over it, pixel by pixel.
bool layBaseOverWhite(Bitmap& base, Bitmap& picture) {
    BitmapLock source(base, ImageLockModeRead);
    BitmapLock target(picture, ImageLockModeWrite);
    if (!source.locked() || !target.locked()) return false;
    layOverWhite(source.bytes(), source.stride(), target.bytes(), target.stride(), target.width(), target.height());
    return true;
}

// White, then the base image, then every mark of the list, drawn into
// `picture`: a 32-bit ARGB bitmap of the base image's size. False when a
// bitmap's pixels cannot be had.
bool flattenInto(Bitmap& picture) {
    if (picture.GetLastStatus() != Ok || !layBaseOverWhite(*editorState.baseImage, picture)) return false;
    Graphics graphics(&picture);
    graphics.SetSmoothingMode(SmoothingModeAntiAlias);
    for (const Annotation& mark : editorState.annotations) drawAnnotation(graphics, mark);
    return true;
}

// The flattened picture drawn straight into one CF_DIB block, so that no
// second full-size copy of it exists; empty when the memory cannot be had.
GlobalMemory flattenedDibBlock() {
    Bitmap& base = *editorState.baseImage;
    int width = static_cast<int>(base.GetWidth()), height = static_cast<int>(base.GetHeight());
    std::size_t size = dibBlockSize(width, height);
    GlobalMemory memory(size ? GlobalAlloc(GMEM_MOVEABLE, size) : nullptr);
    if (!memory) return memory;
    GlobalLockScope bytes(memory.get());
    if (!bytes.bytes()) return GlobalMemory{};
    auto* block = static_cast<std::uint8_t*>(bytes.bytes());
    writeDibHeader(block, width, height);
    Bitmap picture(width, height, width * 4, PixelFormat32bppARGB, block + kDibHeaderSize);
    if (!flattenInto(picture)) throw std::runtime_error("Недостаточно памяти");
    return memory;
}

bool placeOnClipboard(GlobalMemory& block) {
    if (!block || !OpenClipboard(editorState.editorWindow)) return false;
    EmptyClipboard();
    bool taken = SetClipboardData(CF_DIB, block.get()) != nullptr;
    if (taken) block.release();  // the clipboard owns it now
    CloseClipboard();
    return taken;
}

}  // namespace

std::unique_ptr<Bitmap> flattenImage() {
    Bitmap* base = editorState.baseImage.get();
    if (!base) return nullptr;
    auto picture = std::make_unique<Bitmap>(static_cast<INT>(base->GetWidth()), static_cast<INT>(base->GetHeight()),
                                            PixelFormat32bppARGB);
    if (!flattenInto(*picture)) throw std::runtime_error("Недостаточно памяти");
    return picture;
}

CLSID findPngEncoder() {
    UINT count = 0, bytes = 0;
    GetImageEncodersSize(&count, &bytes);
    if (count == 0 || bytes == 0) throw std::runtime_error("PNG codec unavailable");
    std::vector<unsigned char> buffer(bytes, 0);
    auto* encoders = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    if (GetImageEncoders(count, bytes, encoders) != Ok) throw std::runtime_error("PNG codec unavailable");
    for (UINT i = 0; i < count; ++i) {
        if (encoders[i].MimeType && std::wcscmp(encoders[i].MimeType, L"image/png") == 0) return encoders[i].Clsid;
    }
    throw std::runtime_error("PNG codec unavailable");
}

std::string encodePng(Bitmap& bitmap) {
    IStream* created = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &created))) throw std::runtime_error("Недостаточно памяти");
    StreamHolder stream(created);
    CLSID encoder = findPngEncoder();
    if (bitmap.Save(stream.get(), &encoder, nullptr) != Ok) throw std::runtime_error("Не удалось создать PNG");

    STATSTG status{};
    HGLOBAL memory = nullptr;
    if (FAILED(stream->Stat(&status, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(stream.get(), &memory))) {
        throw std::runtime_error("Не удалось создать PNG");
    }
    GlobalLockScope bytes(memory);
    if (!bytes.bytes()) throw std::runtime_error("Не удалось создать PNG");
    return std::string(static_cast<const char*>(bytes.bytes()), static_cast<std::size_t>(status.cbSize.QuadPart));
}

std::string flattenedPng() {
    auto picture = flattenImage();
    if (!picture) throw std::runtime_error("Нет снимка для загрузки");
    return encodePng(*picture);
}

void saveAsPng() {
    if (!editorState.baseImage) {
        setStatus(kNoImageToSave);
        return;
    }
    wchar_t path[MAX_PATH] = L"Clipvane.png";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = editorState.editorWindow;
    dialog.lpstrFilter = L"PNG изображение\0*.png\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"png";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    if (!showSaveDialog(&dialog)) return;

    auto picture = flattenImage();
    CLSID encoder = findPngEncoder();
    bool saved = picture->Save(path, &encoder, nullptr) == Ok;
    setStatus(saved ? L"Снимок сохранён" : L"Не удалось сохранить снимок");
}

void copyImageToClipboard() {
    if (!editorState.baseImage) {
        setStatus(kNoImageToCopy);
        return;
    }
    GlobalMemory block = flattenedDibBlock();
    setStatus(placeOnClipboard(block) ? L"Изображение скопировано" : L"Буфер занят. Повторите копирование");
}
