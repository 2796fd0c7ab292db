#pragma once
// A control's caption measured in its own font, as its window draws it.
#include <windows.h>

#include "dialog/caption_fit.h"

namespace orbenix {

// Selects a font into a device context for a scope (nothing when `font` is null).
class SelectedFont {
public:
    SelectedFont(HDC dc, HFONT font) : dc_(dc), old_(font ? SelectObject(dc, font) : nullptr) {}
    ~SelectedFont() {
        if (old_) SelectObject(dc_, old_);
    }
    SelectedFont(const SelectedFont&) = delete;
    SelectedFont& operator=(const SelectedFont&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// The caption of `control`, a control of `kind`, in the font it was given, at
// `dpi`; without access-key marks where the kind draws them as underlines.
CaptionMetrics MeasureCaption(HWND control, ControlKind kind, int dpi);

}  // namespace orbenix
