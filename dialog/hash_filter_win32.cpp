#include "dialog/hash_filter_win32.h"

#include <cwchar>

namespace orbenix {
namespace {

// The edit control's own procedure, kept on the window while it is filtered.
// Subclassing through user32 alone: the comctl32 helpers would make the DLL
// import comctl32, whose start-up registers window classes under the loader
// lock and deadlocks against a host thread that is entering its apartment.
constexpr wchar_t kPreviousProc[] = L"orbenix.HashFilter.Previous";

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

LRESULT CALLBACK HashFilterProc(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kPreviousProc));
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
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(edit, kPreviousProc);
        break;
    default:
        break;
    }
    return previous != nullptr ? CallWindowProcW(previous, edit, message, wparam, lparam)
                               : DefWindowProcW(edit, message, wparam, lparam);
}

}  // namespace

void RefuseHash(HWND edit) {
    if (GetPropW(edit, kPreviousProc) != nullptr) return;  // filtered already
    const LONG_PTR previous = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    if (previous == 0 || !SetPropW(edit, kPreviousProc, reinterpret_cast<HANDLE>(previous))) return;
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HashFilterProc));
}

}  // namespace orbenix
