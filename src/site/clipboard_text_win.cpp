#include "site/clipboard_text_win.h"

#include <cstring>

namespace {

class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner)) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool isOpen() const { return open_; }

private:
    bool open_;
};

// A movable block holding the text and its terminating zero; null on failure.
HGLOBAL textBlock(const std::wstring& text) {
    SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return nullptr;
    void* target = GlobalLock(block);
    if (!target) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(block);
    return block;
}

}  // namespace

bool putTextOnClipboard(HWND owner, const std::wstring& text) {
    OpenedClipboard clipboard(owner);
    if (!clipboard.isOpen()) return false;
    HGLOBAL block = textBlock(text);
    if (!block) return false;
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, block)) return true;  // the clipboard owns the block now
    GlobalFree(block);
    return false;
}
