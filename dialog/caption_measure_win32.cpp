#include "dialog/caption_measure_win32.h"

#include <string>

namespace orbenix {
namespace {

class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

std::u16string CaptionOf(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, text.data(), length + 1);
    return std::u16string(text.begin(), text.begin() + (copied > 0 ? copied : 0));
}

}  // namespace

CaptionMetrics MeasureCaption(HWND control, ControlKind kind, int dpi) {
    CaptionMetrics metrics{0, 0, 0, 0, dpi};
    WindowDC dc(control);
    if (!dc.get()) return metrics;
    SelectedFont font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    TEXTMETRICW text_metrics{};
    if (GetTextMetricsW(dc.get(), &text_metrics)) metrics.average_char_width = text_metrics.tmAveCharWidth;
    INT zero = 0;
    if (GetCharWidth32W(dc.get(), L'0', L'0', &zero)) metrics.zero_width = zero;
    // A frame draws its caption as it stands.
    const std::u16string caption = CaptionOf(control);
    const std::u16string shown = kind == ControlKind::Frame ? caption : DisplayedCaption(caption);
    const std::wstring wide(shown.begin(), shown.end());
    SIZE extent{};
    if (!wide.empty() && GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &extent)) {
        metrics.text_width = extent.cx;
        metrics.ink_width = extent.cx;
        ABC last{};
        if (GetCharABCWidthsW(dc.get(), wide.back(), wide.back(), &last)) metrics.ink_width -= last.abcC;
    }
    return metrics;
}

}  // namespace orbenix
