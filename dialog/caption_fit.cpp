#include "dialog/caption_fit.h"

#include <algorithm>

namespace orbenix {

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = kTwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch : -((-scaled + half) / kTwipsPerInch));
}

PixelBox DesignedPixels(ControlId id, int dpi_x, int dpi_y) {
    const ControlDesign& design = Design(id);
    return {TwipsToPixels(design.left, dpi_x), TwipsToPixels(design.top, dpi_y), TwipsToPixels(design.width, dpi_x),
            TwipsToPixels(design.height, dpi_y)};
}

bool ShowsCaption(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::CheckBox || kind == ControlKind::Frame ||
           kind == ControlKind::CommandButton;
}

FrameCaptionPlace FrameCaption(int text_width, int average_char_width) {
    // The caption interrupts the top line a little way in, with a small gap either side.
    const int gap = average_char_width / 2 + 1;
    const int background_left = average_char_width + 2;
    return {background_left + gap, background_left, background_left + text_width + 2 * gap};
}

int CaptionNeed(ControlKind kind, const CaptionMetrics& m) {
    switch (kind) {
    case ControlKind::Label:
        // Word-wrapped: narrower than the advance moves the last word to a
        // line below; the last glyph may reach past its advance (the colon of "Hostname:").
        return std::max(m.text_width, m.ink_width);
    case ControlKind::CheckBox: {
        // One line, clipped at the edge. The box is 12 pixels at 96 DPI,
        // scaled, plus one; the text follows half a "0" and a pixel further on.
        const int box = 12 * m.dpi / 96 + 1;
        return box + m.zero_width / 2 + 1 + m.ink_width;
    }
    case ControlKind::CommandButton:
        // Centred between the raised edges (two pixels a side) and the focus rectangle inside them.
        return m.ink_width + 2 * 4;
    case ControlKind::Frame:
        return m.text_width == 0 ? 0 : FrameCaption(m.text_width, m.average_char_width).background_right + kFrameEdgePx;
    default:
        return 0;
    }
}

int FittedWidth(ControlId id, int needed, int dpi_x, int dpi_y) {
    const ControlDesign& design = Design(id);
    const PixelBox own = DesignedPixels(id, dpi_x, dpi_y);
    if (needed <= own.width || id == ControlId::frmmain) return own.width;

    int limit = design.parent == ControlId::frmmain ? TwipsToPixels(kClientWidthTwips, dpi_x)
                                                    : DesignedPixels(design.parent, dpi_x, dpi_y).width - kFrameEdgePx;
    const int own_right = own.left + own.width;
    for (const ControlDesign& other : DialogDesign()) {
        if (other.id == id || other.id == ControlId::frmmain || other.parent != design.parent) continue;
        const PixelBox box = DesignedPixels(other.id, dpi_x, dpi_y);
        const bool shares_rows = box.top < own.top + own.height && own.top < box.top + box.height;
        // A sibling starting left of this control's right edge is the frame
        // whose edge a check box sits on, or a control it was designed to overlap.
        if (shares_rows && box.left >= own_right) limit = std::min(limit, box.left);
    }
    return std::max(own.width, std::min(needed, limit - own.left));
}

std::u16string DisplayedCaption(std::u16string_view caption) {
    std::u16string shown;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (++i == caption.size()) break;
        }
        shown += caption[i];
    }
    return shown;
}

}  // namespace orbenix
