#pragma once
// Room for captions at any DPI. The design is in twips, but text grows a
// little faster than twips from one DPI to the next, so at 120 and 144 DPI a
// caption can need a pixel or a few more than its control has. A control
// that shows a caption is then widened into the free space to its right;
// at a DPI where every caption fits (96 under the dialog's font) the layout is
// exactly the design's.
#include <string>
#include <string_view>

#include "dialog/dialog_layout.h"

namespace orbenix {

struct PixelBox {
    int left, top, width, height;  // from the container's top-left corner
};

// Twips to pixels at `dpi`, rounded to the nearest pixel (halves away from zero).
int TwipsToPixels(int twips, int dpi);
// The designed place of `id` at the given DPI.
PixelBox DesignedPixels(ControlId id, int dpi_x, int dpi_y);

// Labels, check boxes, frames and the command button show a caption.
bool ShowsCaption(ControlKind kind);

// A frame's etched edge takes this much of its inside on the right.
inline constexpr int kFrameEdgePx = 2;

// What a caption needs beside its text, from the font's metrics.
struct CaptionMetrics {
    int text_width;          // the caption's advance (GetTextExtentPoint32), access-key marks removed
    int ink_width;           // where its drawn ink ends, from the text's origin
    int average_char_width;  // tmAveCharWidth
    int zero_width;          // the advance of "0"
    int dpi;                 // of the screen
};
// The whole width (text and margins) that `kind` needs to show its caption unclipped.
int CaptionNeed(ControlKind kind, const CaptionMetrics& metrics);
// Where a frame draws its caption: the text's left edge, the painted
// background from `left - gap` to `right`.
struct FrameCaptionPlace {
    int text_left, background_left, background_right;
};
FrameCaptionPlace FrameCaption(int text_width, int average_char_width);

// The width `id` gets when its caption needs `needed` pixels: its designed
// width, or wider, as far as the free space to its right allows: up to the
// left edge of the nearest control beside it (a sibling that shares some of
// its rows and starts right of it), else up to its container's inner edge.
// Never narrower than designed, never over a neighbour.
int FittedWidth(ControlId id, int needed, int dpi_x, int dpi_y);

// The caption as displayed: each "&" marks the next character as the access
// key and is not drawn; "&&" draws one "&".
std::u16string DisplayedCaption(std::u16string_view caption);

}  // namespace orbenix
