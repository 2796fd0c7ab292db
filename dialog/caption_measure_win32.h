#pragma once
// A control's caption measured in its own font, as its window draws it.
#include <windows.h>

#include "dialog/caption_fit.h"

namespace orbenix {

// The caption of `control`, a control of `kind`, in the font it was given, at
// `dpi`; without access-key marks where the kind draws them as underlines.
CaptionMetrics MeasureCaption(HWND control, ControlKind kind, int dpi);

}  // namespace orbenix
