#include "dialog/dialog_layout.h"

namespace orbenix {
namespace {

using enum ControlId;
using K = ControlKind;

// clang-format off
constexpr std::array<ControlDesign, kControlCount> kDesign = {{
    {frmmain, u"frmmain", K::Form, frmmain, u"Settings", 0, 0, kClientWidthTwips, kClientHeightTwips, -1},
    {FrameVM, u"FrameVM", K::Frame, frmmain, u"SolusVM settings", 120, 120, 6375, 1815, 17},
    {txtSolusVMURL, u"txtSolusVMURL", K::TextBox, FrameVM, u"", 1560, 360, 4500, 285, 20,
     true, true, false, false, true},
    {txtAPIKey, u"txtAPIKey", K::TextBox, FrameVM, u"", 1560, 720, 4500, 285, 19,
     true, true, false, false, true},
    {txtAPIHash, u"txtAPIHash", K::TextBox, FrameVM, u"", 1560, 1080, 4500, 285, 18,
     true, true, false, false, true},
    {Label2, u"Label2", K::Label, FrameVM, u"SolusVM URL:", 240, 420, 1215, 255, 23},
    {Label3, u"Label3", K::Label, FrameVM, u"API key:", 240, 780, 1215, 255, 22},
    {Label4, u"Label4", K::Label, FrameVM, u"API Hash:", 240, 1140, 1215, 255, 21},
    {chkUseProxy, u"chkUseProxy", K::CheckBox, frmmain, u"Use Proxy Server", 240, 2040, 1695, 255, 3},
    {frame_UseProxy, u"frame_UseProxy", K::Frame, frmmain, u"", 120, 2040, 6375, 2295, 4},
    {cmbProxyType, u"cmbProxyType", K::ComboBox, frame_UseProxy, u"", 2640, 660, 3015, 315, 13},
    {txtProxyHost, u"txtProxyHost", K::TextBox, frame_UseProxy, u"", 1200, 300, 4500, 285, 12,
     true, true, false, false, true},
    {txtProxyPort, u"txtProxyPort", K::TextBox, frame_UseProxy, u"", 1200, 660, 660, 285, 11,
     true, true, false, true, false},
    {chkUseProxyAuthentication, u"chkUseProxyAuthentication", K::CheckBox, frame_UseProxy,
     u"Use Proxy Authentication", 480, 1080, 2175, 255, 10},
    {frame_proxyAuthentication, u"frame_proxyAuthentication", K::Frame, frame_UseProxy, u"",
     240, 1080, 6015, 1095, 5},
    {txtProxyPassword, u"txtProxyPassword", K::TextBox, frame_proxyAuthentication, u"",
     1200, 660, 4750, 285, 7, true, true, true, true, false},
    {txtProxyUsername, u"txtProxyUsername", K::TextBox, frame_proxyAuthentication, u"",
     1200, 300, 4750, 285, 6, true, true, false, false, true},
    {lblProxyPassword, u"lblProxyPassword", K::Label, frame_proxyAuthentication, u"Password:",
     240, 720, 855, 255, 9},
    {lblProxyUsername, u"lblProxyUsername", K::Label, frame_proxyAuthentication, u"Username:",
     240, 360, 855, 255, 8},
    {lblProxyType, u"lblProxyType", K::Label, frame_UseProxy, u"Type:", 2040, 720, 495, 255, 16},
    {lblProxyHost, u"lblProxyHost", K::Label, frame_UseProxy, u"Hostname:", 240, 360, 855, 255, 15},
    {Label1, u"Label1", K::Label, frame_UseProxy, u"Port:", 240, 720, 855, 255, 14},
    {btOK, u"btOK", K::CommandButton, frmmain, u"&OK", 5760, 4440, 735, 375, 0},
    {txtTimeout, u"txtTimeout", K::TextBox, frmmain, u"", 3960, 4440, 1095, 285, 1, false, false},
    {lblVersion, u"lblVersion", K::Label, frmmain, u"", 120, 4440, 2415, 255, 2},
}};
// clang-format on

constexpr bool TableIsInIdOrder() {
    for (std::size_t i = 0; i < kDesign.size(); ++i) {
        if (static_cast<std::size_t>(kDesign[i].id) != i) return false;
    }
    return true;
}
static_assert(TableIsInIdOrder());

}  // namespace

const std::array<ControlDesign, kControlCount>& DialogDesign() { return kDesign; }

const ControlDesign& Design(ControlId id) { return kDesign[static_cast<std::size_t>(id)]; }

bool IsTabStopKind(ControlKind kind) {
    return kind == ControlKind::TextBox || kind == ControlKind::CheckBox ||
           kind == ControlKind::ComboBox || kind == ControlKind::CommandButton;
}

}  // namespace orbenix
