#include "dialog/frame_window_win32.h"

#include <string>

#include "dialog/caption_fit.h"
#include "dialog/dialog_view_win32.h"
#include "dialog/gdi_scope_win32.h"

namespace orbenix {
namespace {

class Painting {
public:
    explicit Painting(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~Painting() { EndPaint(window_, &paint_); }
    Painting(const Painting&) = delete;
    Painting& operator=(const Painting&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

void PaintFrame(HWND frame) {
    Painting painting(frame);
    HDC dc = painting.dc();
    SelectedFont font(dc, reinterpret_cast<HFONT>(GetWindowLongPtrW(frame, GWLP_USERDATA)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);

    RECT client{};
    GetClientRect(frame, &client);
    // The border runs through the middle of the caption line, as a group box's does.
    RECT border = client;
    border.top += metrics.tmHeight / 2;
    DrawEdge(dc, &border, EDGE_ETCHED, BF_RECT);

    const int length = GetWindowTextLengthW(frame);
    if (length == 0) return;
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(frame, caption.data(), length + 1);
    caption.resize(static_cast<std::size_t>(length));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(IsWindowEnabled(frame) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    SIZE extent{};
    GetTextExtentPoint32W(dc, caption.c_str(), length, &extent);
    const FrameCaptionPlace place = FrameCaption(extent.cx, metrics.tmAveCharWidth);
    RECT text{place.background_left, 0, place.background_right, metrics.tmHeight};
    ExtTextOutW(dc, place.text_left, 0, ETO_OPAQUE, &text, caption.c_str(), static_cast<UINT>(length), nullptr);
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        PaintFrame(frame);
        return 0;
    case WM_SETFONT:
        SetWindowLongPtrW(frame, GWLP_USERDATA, static_cast<LONG_PTR>(wparam));
        if (LOWORD(lparam)) InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return GetWindowLongPtrW(frame, GWLP_USERDATA);
    case WM_ENABLE:
        InvalidateRect(frame, nullptr, TRUE);
        return 0;
    case WM_SETTEXT: {
        const LRESULT result = DefWindowProcW(frame, message, wparam, lparam);
        InvalidateRect(frame, nullptr, TRUE);
        return result;
    }
    // The controls inside talk to the form.
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
        return SendMessageW(GetParent(frame), message, wparam, lparam);
    default:
        return DefWindowProcW(frame, message, wparam, lparam);
    }
}

}  // namespace

const wchar_t* FrameClass(HINSTANCE module) {
    static const bool registered = [module] {
        WNDCLASSEXW frame{};
        frame.cbSize = sizeof frame;
        frame.lpfnWndProc = FrameProc;
        frame.hInstance = module;
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        frame.lpszClassName = dialog_win32::kFrameClass;
        return RegisterClassExW(&frame) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    (void)registered;  // a failed registration shows up as a failed CreateWindowEx
    return dialog_win32::kFrameClass;
}

}  // namespace orbenix
