#include "dialog/caption_measure_win32.h"

#include <memory>
#include <string>
#include <type_traits>

#include "dialog/gdi_scope_win32.h"

namespace orbenix {
namespace {

std::u16string CaptionOf(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, text.data(), length + 1);
    return std::u16string(text.begin(), text.begin() + (copied > 0 ? copied : 0));
}

struct BitmapDeleter {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
struct MemoryDCDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};

// Where the drawn text's last inked column ends, from its origin: glyphs are
// not always drawn within their measured advance (Wine at 120 DPI draws the
// colon of "Hostname:" a pixel past it, and at 96 DPI ends well short of it).
int InkRight(HDC dc, const std::wstring& text, int advance, int height) {
    const int pad = height;  // room for glyphs that start left of the origin or end past the advance
    const int width = advance + 2 * pad;
    const std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDCDeleter> memory(CreateCompatibleDC(dc));
    if (!memory) return advance;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter> bitmap(
        CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) return advance;
    const HGDIOBJ old_bitmap = SelectObject(memory.get(), bitmap.get());
    const HGDIOBJ old_font = SelectObject(memory.get(), GetCurrentObject(dc, OBJ_FONT));
    const RECT all{0, 0, width, height};
    FillRect(memory.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory.get(), TRANSPARENT);
    SetTextColor(memory.get(), RGB(0, 0, 0));
    TextOutW(memory.get(), pad, 0, text.c_str(), static_cast<int>(text.size()));
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    int right = 0;
    for (int x = width - 1; x >= 0 && right == 0; --x) {
        for (int y = 0; y < height; ++y) {
            if ((pixels[y * width + x] & 0xFFFFFF) != 0xFFFFFF) {
                right = x + 1 - pad;
                break;
            }
        }
    }
    SelectObject(memory.get(), old_font);
    SelectObject(memory.get(), old_bitmap);
    return right;
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
        metrics.ink_width = InkRight(dc.get(), wide, extent.cx, extent.cy);
    }
    return metrics;
}

}  // namespace orbenix
