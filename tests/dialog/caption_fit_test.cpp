#include <gtest/gtest.h>

#include "dialog/caption_fit.h"

namespace orbenix {
namespace {

using enum ControlId;

TEST(CaptionFit, TwipsRoundToTheNearestPixelAsTheWindowDoes) {
    struct Case { int twips, dpi, pixels; } cases[] = {
        {2175, 120, 181}, {2175, 144, 218}, {855, 120, 71}, {855, 144, 86}, {15, 96, 1}, {7, 96, 0}, {8, 96, 1},
        {6705, 96, 447}, {0, 144, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(TwipsToPixels(c.twips, c.dpi), c.pixels) << c.twips << " at " << c.dpi;
}

// Widths as Wine measured them in the dialog's font: what a caption needs, and what the control then gets.
TEST(CaptionFit, ACaptionWiderThanItsControlTakesTheFreeSpaceBesideIt) {
    struct Case { ControlId id; int dpi; int needed; int width; } cases[] = {
        // Fits: the design's width, never narrower.
        {chkUseProxyAuthentication, 96, 140, 145},
        {lblProxyHost, 96, 1, 57},
        {lblVersion, 144, 0, 242},
        // "Use Proxy Authentication" beside the box, and "Hostname:" with its colon's overhang.
        {chkUseProxyAuthentication, 120, 187, 187},
        {chkUseProxyAuthentication, 144, 223, 223},
        {lblProxyHost, 120, 72, 72},
        {lblProxyUsername, 144, 87, 87},
        // No more than the margin before the text box beside it (txtProxyHost at 1200 twips).
        {lblProxyHost, 120, 500, 100 - 20},
        {Label2, 96, 500, 104 - 16},    // txtSolusVMURL at 1560
        {lblProxyType, 96, 500, 176 - 136},  // cmbProxyType at 2640
        {Label1, 144, 500, 120 - 24},   // the narrow txtProxyPort
        // A check box on its frame's edge grows to its container's inner edge.
        {chkUseProxyAuthentication, 96, 900, 425 - kFrameEdgePx - 32},
        {chkUseProxy, 96, 900, 447 - 16},
        // The hidden timeout box still bounds the version label.
        {lblVersion, 96, 900, 264 - 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FittedWidth(c.id, c.needed, c.dpi, c.dpi), c.width)
            << static_cast<int>(c.id) << " at " << c.dpi << " needing " << c.needed;
    }
}

// Metrics as Wine gives them for the dialog's font.
TEST(CaptionFit, CaptionNeedsCountTheBoxTheInkAndTheFramesGap) {
    struct Case { ControlKind kind; CaptionMetrics metrics; int needed; } cases[] = {
        // "Hostname:" at 120 DPI: the colon is drawn a pixel past the advance.
        {ControlKind::Label, {71, 72, 8, 8, 120}, 72},
        // A label narrower than its advance wraps its last word away, whatever the ink.
        {ControlKind::Label, {71, 70, 8, 8, 120}, 71},
        // "Use Proxy Authentication", drawn 2 px past its advance at 120 DPI, after 21 px of box and gap;
        {ControlKind::CheckBox, {164, 166, 8, 8, 120}, 16 + 4 + 1 + 166},
        {ControlKind::CheckBox, {200, 199, 10, 9, 144}, 19 + 4 + 1 + 199},
        // at 96 DPI its ink ends 9 px short of the advance, well inside the designed 145 px.
        {ControlKind::CheckBox, {130, 121, 7, 6, 96}, 13 + 3 + 1 + 121},
        {ControlKind::CommandButton, {16, 16, 5, 6, 96}, 24},
        {ControlKind::Frame, {90, 90, 5, 6, 96}, 5 + 2 + 90 + 2 * 3 + kFrameEdgePx},
        {ControlKind::Frame, {0, 0, 5, 6, 96}, 0},
        {ControlKind::TextBox, {90, 90, 5, 6, 96}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CaptionNeed(c.kind, c.metrics), c.needed) << static_cast<int>(c.kind);
}

TEST(CaptionFit, AccessKeyMarksAreNotDrawn) {
    EXPECT_EQ(DisplayedCaption(u"&OK"), u"OK");
    EXPECT_EQ(DisplayedCaption(u"A&&B"), u"A&B");
    EXPECT_EQ(DisplayedCaption(u"end&"), u"end");
    EXPECT_EQ(DisplayedCaption(u""), u"");
}

}  // namespace
}  // namespace orbenix
