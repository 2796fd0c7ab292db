#include "dialog/hash_filter_win32.h"

#include <commctrl.h>

#include <cwchar>

namespace orbenix {
namespace {

constexpr UINT_PTR kSubclassId = 0x23;  // "#"

class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool open() const { return open_; }

private:
    bool open_;
};

class LockedGlobal {
public:
    explicit LockedGlobal(HANDLE memory) : memory_(memory), data_(memory ? GlobalLock(memory) : nullptr) {}
    ~LockedGlobal() {
        if (data_) GlobalUnlock(memory_);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    const wchar_t* text() const { return static_cast<const wchar_t*>(data_); }
    SIZE_T size() const { return data_ ? GlobalSize(memory_) : 0; }

private:
    HANDLE memory_;
    void* data_;
};

bool ClipboardTextHasHash(HWND edit) {
    OpenedClipboard clipboard(edit);
    if (!clipboard.open()) return false;
    LockedGlobal text(GetClipboardData(CF_UNICODETEXT));
    if (text.text() == nullptr) return false;
    const SIZE_T chars = text.size() / sizeof(wchar_t);
    for (SIZE_T i = 0; i < chars && text.text()[i] != L'\0'; ++i) {
        if (text.text()[i] == L'#') return true;
    }
    return false;
}

LRESULT CALLBACK HashFilterProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                DWORD_PTR) {
    switch (message) {
    case WM_CHAR:
        if (wparam == L'#') {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    case WM_PASTE:
        if (ClipboardTextHasHash(edit)) {
            MessageBeep(MB_OK);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, HashFilterProc, kSubclassId);
        break;
    default:
        break;
    }
    return DefSubclassProc(edit, message, wparam, lparam);
}

}  // namespace

void RefuseHash(HWND edit) { SetWindowSubclass(edit, HashFilterProc, kSubclassId, 0); }

}  // namespace orbenix
