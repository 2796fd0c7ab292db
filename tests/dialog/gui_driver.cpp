#include "gui_driver.h"

#include <cstdio>
#include <memory>

#include "dialog/dialog_view_win32.h"

namespace orbenix::gui_tests {
namespace {

constexpr int kSettleMs = 80;

void SendKey(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

struct FindControl {
    int command_id;
    HWND found = nullptr;
};

BOOL CALLBACK MatchControl(HWND window, LPARAM data) {
    auto* find = reinterpret_cast<FindControl*>(data);
    if (GetDlgCtrlID(window) == find->command_id) {
        find->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

HWND Driver::Control(ControlId id) const {
    if (id == ControlId::frmmain) return dialog_;
    FindControl find{dialog_win32::kFirstControlId + static_cast<int>(id)};
    EnumChildWindows(dialog_, MatchControl, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

std::wstring Driver::Text(ControlId id) const {
    HWND control = Control(id);
    wchar_t buffer[512] = {};
    GetWindowTextW(control, buffer, 512);
    return buffer;
}

bool Driver::Checked(ControlId id) const {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND Driver::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(ui_thread_, &info)) return nullptr;
    return info.hwndFocus;
}

bool Driver::FocusIs(ControlId id) const {
    HWND focus = Focus();
    HWND control = Control(id);
    return focus != nullptr && (focus == control || GetParent(focus) == control);
}

void Driver::Press(WORD key) {
    SendKey(key, false);
    SendKey(key, true);
    Sleep(kSettleMs);
}

void Driver::PressWith(WORD modifier, WORD key) {
    SendKey(modifier, false);
    SendKey(key, false);
    SendKey(key, true);
    SendKey(modifier, true);
    Sleep(kSettleMs);
}

void Driver::Type(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT input[2] = {};
        for (int i = 0; i < 2; ++i) {
            input[i].type = INPUT_KEYBOARD;
            input[i].ki.wScan = c;
            input[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, input, sizeof input[0]);
        Sleep(15);
    }
    Sleep(kSettleMs);
}

void Driver::ClickAt(POINT screen) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (auto& i : input) i.type = INPUT_MOUSE;
    input[0].mi.dx = MulDiv(screen.x, 65535, width - 1);
    input[0].mi.dy = MulDiv(screen.y, 65535, height - 1);
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &input[0], sizeof input[0]);
    Sleep(30);
    SendInput(2, &input[1], sizeof input[0]);
    Sleep(kSettleMs * 2);
}

void Driver::Click(ControlId id) {
    RECT r{};
    GetWindowRect(Control(id), &r);
    // Check boxes on their box, everything else a little inside its left part.
    const int x = Design(id).kind == ControlKind::CheckBox ? r.left + 6 : r.left + (r.right - r.left) / 4;
    ClickAt(POINT{x, r.top + (r.bottom - r.top) / 2});
}

void Driver::SelectLine() {
    Press(VK_END);
    PressWith(VK_SHIFT, VK_HOME);
}

bool Driver::WaitUntil(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        Sleep(20);
    }
    return done();
}

void Driver::Expect(bool ok, const std::string& what) {
    if (!ok) problems_.push_back(what);
}

HWND WaitForDialog(int ms) {
    HWND found = nullptr;
    Driver::WaitUntil(
        [&] {
            found = FindWindowW(dialog_win32::kFormClass, nullptr);
            return found != nullptr && IsWindowVisible(found);
        },
        ms);
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}

namespace {

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};

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

}  // namespace

bool SetClipboardText(const std::wstring& text) {
    // The clipboard needs an owner window on this thread for SetClipboardData.
    std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer> owner(
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    OpenedClipboard clipboard(owner.get());
    if (!clipboard.open() || !EmptyClipboard()) return false;
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) return false;
    void* data = GlobalLock(memory);
    memcpy(data, text.c_str(), bytes);
    GlobalUnlock(memory);
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;  // the clipboard owns the memory now
}

namespace {

class ScreenDC {
public:
    ScreenDC() : dc_(GetDC(nullptr)) {}
    ~ScreenDC() { ReleaseDC(nullptr, dc_); }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct ObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    ScreenDC screen;
    std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter> memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, ObjectDeleter> bitmap(
        CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || bits == nullptr) return false;
    HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory.get(), old);
    if (!copied) return false;

    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD image = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + image;
    std::unique_ptr<FILE, FileCloser> out(_wfopen(path.c_str(), L"wb"));
    if (!out) return false;
    return fwrite(&file, sizeof file, 1, out.get()) == 1 &&
           fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out.get()) == 1 &&
           fwrite(bits, image, 1, out.get()) == 1;
}

bool FindCloseBox(HWND window, POINT& at) {
    RECT r{};
    GetWindowRect(window, &r);
    for (int y = r.top + 1; y < r.top + 40 && y < r.bottom; ++y) {
        for (int x = r.right - 2; x > r.right - 80 && x > r.left; --x) {
            const LRESULT hit = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (hit == HTCLOSE) {
                // Aim at the middle of the box's run on this row.
                int left = x;
                while (left > r.left && SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(left - 1, y)) == HTCLOSE) --left;
                at = POINT{(left + x) / 2, y + 4};
                return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)) == HTCLOSE;
            }
        }
    }
    return false;
}

}  // namespace orbenix::gui_tests
