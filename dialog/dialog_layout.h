#pragma once
// The settings dialog as designed: every control with its kind, container,
// design caption, position and size in twips, tab index and properties.
#include <array>
#include <cstddef>
#include <string_view>

namespace orbenix {

// In the order in which the form stores its controls (parents before children).
enum class ControlId : int {
    frmmain,
    FrameVM,
    txtSolusVMURL,
    txtAPIKey,
    txtAPIHash,
    Label2,
    Label3,
    Label4,
    chkUseProxy,
    frame_UseProxy,
    cmbProxyType,
    txtProxyHost,
    txtProxyPort,
    chkUseProxyAuthentication,
    frame_proxyAuthentication,
    txtProxyPassword,
    txtProxyUsername,
    lblProxyPassword,
    lblProxyUsername,
    lblProxyType,
    lblProxyHost,
    Label1,
    btOK,
    txtTimeout,
    lblVersion,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::lblVersion) + 1;

enum class ControlKind { Form, Frame, TextBox, Label, CheckBox, ComboBox, CommandButton };

struct ControlDesign {
    ControlId id;
    std::u16string_view name;
    ControlKind kind;
    ControlId parent;  // frmmain for the form itself
    std::u16string_view caption;
    int left, top, width, height;  // twips, from the parent's top-left corner
    int tab_index;                 // -1 for the form
    bool visible = true;
    bool enabled = true;
    bool masked = false;        // shows "*" for every character
    bool ime_disabled = false;  // no input-method editor
    bool refuses_hash = false;  // its text goes into the stored string as it stands
};

inline constexpr int kTwipsPerInch = 1440;
// The form's client area in twips.
inline constexpr int kClientWidthTwips = 6705;
inline constexpr int kClientHeightTwips = 4890;

const std::array<ControlDesign, kControlCount>& DialogDesign();
const ControlDesign& Design(ControlId id);

// Labels and frames never take the focus; the others are tab stops.
bool IsTabStopKind(ControlKind kind);

}  // namespace orbenix
