#include "dialog/show_settings.h"

#include "core/check_settings.h"
#include "core/error.h"
#include "core/variant.h"
#include "dialog/make_topmost.h"
#include "dialog/settings_form.h"
#include "params/base64.h"
#include "params/numeric_value.h"
#include "params/parameter_writer.h"
#include "params/read_tag.h"

namespace orbenix {
namespace {

// The form is unloaded when the call ends, whichever way: a failed showing
// leaves no hidden window behind, and the next one starts afresh.
class UnloadedAtEnd {
public:
    explicit UnloadedAtEnd(SettingsForm& form) : form_(form) {}
    ~UnloadedAtEnd() { form_.Unload(); }
    UnloadedAtEnd(const UnloadedAtEnd&) = delete;
    UnloadedAtEnd& operator=(const UnloadedAtEnd&) = delete;

private:
    SettingsForm& form_;
};

bool HasParameterText(const Variant& parameter) {
    // Len of Null is Null, which is not greater than 0.
    return !parameter.IsNull() && !parameter.ToText().empty();
}

}  // namespace

void ShowSettingsDialog(Variant& parameter, const Variant& timeout, SettingsForm& form) {
    using enum ControlId;
    // A second showing from inside the first one's message loop changes nothing.
    if (form.showing()) throw Error(kAlreadyShowing, kAlreadyShowingText);
    CheckSettings& settings = ThreadCheckSettings();
    UnloadedAtEnd unload(form);
    auto tag = [&parameter](const char16_t* name) {
        bool quoted = false;
        return ReadTag(parameter.ToText(), name, quoted);
    };

    // 1. The first use of a control loads the form, whose load step fills the list.
    const std::u16string timeout_text = TrimSpaces(timeout.ToText());
    form.SetText(txtTimeout, timeout_text);

    // 2. Fill the dialog from a non-empty parameter string.
    if (HasParameterText(parameter)) {
        settings.SolusVMURL = tag(u"URL");
        settings.APIKey = tag(u"KEY");
        settings.APIHash = tag(u"HSH");
        form.SetText(txtSolusVMURL, settings.SolusVMURL);
        form.SetText(txtAPIKey, settings.APIKey);
        form.SetText(txtAPIHash, settings.APIHash);

        settings.AuthUsername = tag(u"PAU");
        settings.AuthPassword = DecodeString(tag(u"PAP"));
        settings.UseAuthentication = IsTrueFlag(tag(u"PAA"));

        settings.UseProxy = IsTrueFlag(tag(u"PRU"));
        settings.ProxyHost = tag(u"PRH");
        settings.ProxyPort = PortValue(tag(u"PRP"));
        settings.ProxyType = tag(u"PRT");

        form.SetText(txtProxyHost, settings.ProxyHost);
        form.SetText(txtProxyPort, NumberText(settings.ProxyPort));
        form.SetValue(chkUseProxy, settings.UseProxy ? 1 : 0);
        form.SetListIndex(cmbProxyType, ProxyTypeIndex(settings.ProxyType));

        settings.UseProxyAuthentication = IsTrueFlag(tag(u"PRA"));
        settings.ProxyUsername = tag(u"PRAU");
        settings.ProxyPassword = DecodeString(tag(u"PRAP"));

        form.SetText(txtProxyUsername, settings.ProxyUsername);
        form.SetText(txtProxyPassword, settings.ProxyPassword);
        form.SetValue(chkUseProxyAuthentication, settings.UseProxyAuthentication ? 1 : 0);
    }

    // 3. Closing without OK hands this value back.
    settings.CurrentParameter = parameter;

    // 4. Above every other window.
    MakeTopmost(form.hWnd(), true);

    // 5. Modal, no owner; OK stores the new string in CurrentParameter.
    form.ShowModal();

    // 6.
    parameter = settings.CurrentParameter;
}

}  // namespace orbenix
