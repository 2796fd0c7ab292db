#include "dialog/settings_form.h"

#include <algorithm>

#include "core/check_settings.h"
#include "core/error.h"
#include "core/variant.h"
#include "params/parameter_writer.h"

namespace orbenix {
namespace {

constexpr char16_t kCaption[] = u"SolusVM client checker: External COM check ";
constexpr std::array<std::u16string_view, 5> kProxyTypeEntries = {
    u"Web Standard", u"Socks 4", u"Socks 4a", u"Socks 5", u"Relay"};

std::u16string Decimal(int value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

ControlState DesignState(const ControlDesign& design) {
    ControlState state;
    state.text = std::u16string(design.caption);
    state.enabled = design.enabled;
    state.visible = design.visible;
    return state;
}

}  // namespace

std::u16string VersionCaption() {
    return u"version " + Decimal(ORBENIX_VERSION_MAJOR) + u"." + Decimal(ORBENIX_VERSION_MINOR) +
           u" build " + Decimal(ORBENIX_VERSION_REVISION);
}

bool AcceptsText(ControlId id, const std::u16string& text) {
    return !Design(id).refuses_hash || text.find(u'#') == std::u16string::npos;
}

SettingsForm::SettingsForm(std::unique_ptr<DialogView> view) : view_(std::move(view)) {}

void SettingsForm::Load() {
    if (loaded_) return;
    for (const auto& design : DialogDesign()) controls_[Index(design.id)] = DesignState(design);
    caption_ = std::u16string(Design(ControlId::frmmain).caption);
    help_context_ = 0;
    view_->Create(*this);  // a form whose window cannot be made does not load
    loaded_ = true;
    Form_Load();
}

void SettingsForm::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    view_->Destroy();
}

ControlState& SettingsForm::Mutable(ControlId id) {
    Load();
    return controls_[Index(id)];
}

void SettingsForm::Refresh(ControlId id) {
    if (loaded_) view_->Refresh(id);
}

const ControlState& SettingsForm::Control(ControlId id) { return Mutable(id); }

void SettingsForm::SetText(ControlId id, const std::u16string& text) {
    Mutable(id).text = text;
    Refresh(id);
}

void SettingsForm::SetValue(ControlId id, int value) {
    Load();
    SetValueInternal(id, value);
}

void SettingsForm::SetValueInternal(ControlId id, int value) {
    ControlState& box = controls_[Index(id)];
    if (box.value == value) return;  // writing the same value runs no step
    box.value = value;
    Refresh(id);
    if (id == ControlId::chkUseProxy) chkUseProxy_Click();
}

void SettingsForm::SetListIndex(ControlId id, int index) {
    ControlState& combo = Mutable(id);
    combo.list_index = (index >= 0 && index < static_cast<int>(combo.list.size())) ? index : -1;
    Refresh(id);
}

const std::u16string& SettingsForm::Caption() {
    Load();
    return caption_;
}

int SettingsForm::HelpContext() {
    Load();
    return help_context_;
}

std::intptr_t SettingsForm::hWnd() {
    Load();
    return view_->WindowHandle();
}

void SettingsForm::ShowModal() {
    if (showing_) throw Error(kAlreadyShowing, kAlreadyShowingText);
    Load();
    showing_ = true;
    struct ShowEnds {
        bool& showing;
        ~ShowEnds() { showing = false; }
    } ends{showing_};
    view_->ShowModal();
    Unload();  // a view that returns early still leaves the form unloaded
}

bool SettingsForm::TakesInput(ControlId id) const {
    for (ControlId c = id;; c = Design(c).parent) {
        const ControlState& state = controls_[Index(c)];
        if (!state.visible || !state.enabled) return false;
        if (c == ControlId::frmmain) return true;
    }
}

bool SettingsForm::UserEditedText(ControlId id, const std::u16string& text) {
    if (!loaded_ || !TakesInput(id) || !AcceptsText(id, text)) return false;
    controls_[Index(id)].text = text;
    return true;
}

void SettingsForm::UserClickedCheckBox(ControlId id) {
    if (!loaded_ || !TakesInput(id) || Design(id).kind != ControlKind::CheckBox) return;
    SetValueInternal(id, controls_[Index(id)].value == 1 ? 0 : 1);
}

void SettingsForm::UserSelectedListIndex(ControlId id, int index) {
    if (!loaded_ || !TakesInput(id) || Design(id).kind != ControlKind::ComboBox) return;
    ControlState& combo = controls_[Index(id)];
    combo.list_index = (index >= 0 && index < static_cast<int>(combo.list.size())) ? index : -1;
}

void SettingsForm::UserPressedOK() {
    if (loaded_ && TakesInput(ControlId::btOK)) btOK_Click();
}

void SettingsForm::UserClosedWindow() { Unload(); }

std::vector<ControlId> SettingsForm::FocusOrder() const {
    std::vector<ControlId> order;
    for (const auto& design : DialogDesign()) {
        if (IsTabStopKind(design.kind) && TakesInput(design.id)) order.push_back(design.id);
    }
    std::sort(order.begin(), order.end(), [](ControlId a, ControlId b) {
        return Design(a).tab_index < Design(b).tab_index;
    });
    return order;
}

ControlId SettingsForm::NextFocus(ControlId from, bool forward) const {
    const std::vector<ControlId> order = FocusOrder();
    if (order.empty()) return from;
    const int from_tab = Design(from).tab_index;
    const int n = static_cast<int>(order.size());
    if (forward) {
        for (int i = 0; i < n; ++i) {
            if (Design(order[static_cast<std::size_t>(i)]).tab_index > from_tab) return order[static_cast<std::size_t>(i)];
        }
        return order.front();
    }
    for (int i = n - 1; i >= 0; --i) {
        if (Design(order[static_cast<std::size_t>(i)]).tab_index < from_tab) return order[static_cast<std::size_t>(i)];
    }
    return order.back();
}

void SettingsForm::Form_Load() {
    caption_ = kCaption;
    Refresh(ControlId::frmmain);
    SetText(ControlId::lblVersion, VersionCaption());
    ControlState& combo = Mutable(ControlId::cmbProxyType);
    combo.list.assign(kProxyTypeEntries.begin(), kProxyTypeEntries.end());
    combo.list_index = 0;
    Refresh(ControlId::cmbProxyType);
    help_context_ = kHelpContext;
}

void SettingsForm::chkUseProxy_Click() {
    const bool ticked = controls_[Index(ControlId::chkUseProxy)].value == 1;
    controls_[Index(ControlId::frame_UseProxy)].enabled = ticked;
    Refresh(ControlId::frame_UseProxy);
}

void SettingsForm::btOK_Click() {
    auto text = [this](ControlId id) { return controls_[Index(id)].text; };
    auto ticked = [this](ControlId id) { return controls_[Index(id)].value == 1; };
    ParameterFields fields;
    fields.proxy_type_index = controls_[Index(ControlId::cmbProxyType)].list_index;
    fields.url = text(ControlId::txtSolusVMURL);
    fields.api_key = text(ControlId::txtAPIKey);
    fields.api_hash = text(ControlId::txtAPIHash);
    fields.use_proxy = ticked(ControlId::chkUseProxy);
    fields.proxy_host = text(ControlId::txtProxyHost);
    fields.proxy_port_text = text(ControlId::txtProxyPort);
    fields.use_proxy_authentication = ticked(ControlId::chkUseProxyAuthentication);
    fields.proxy_username = text(ControlId::txtProxyUsername);
    fields.proxy_password = text(ControlId::txtProxyPassword);
    ThreadCheckSettings().CurrentParameter = Variant(WriteParameterString(fields));
    Unload();
}

}  // namespace orbenix
