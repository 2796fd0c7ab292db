// The form of every object. The check engine and the settings dialog attach
// here as they arrive; until then both calls report that the form offers no
// such method, exactly as a late-bound call on a form without it would.
#include "component/check_form.h"
#include "component/error.h"
#include "dialog/settings_form.h"
#include "dialog/show_settings.h"

namespace orbenix {
namespace {

class FrmMain final : public CheckForm {
public:
    Variant DoCheck() override { throw Error(errors::NotSupportedByObject); }
    void ShowSettings(Vexarel& object) override { ShowSettingsDialog(object, dialog_); }

private:
    SettingsForm dialog_{CreateDialogView()};  // its window exists only while loaded
};

}  // namespace

std::unique_ptr<CheckForm> CreateCheckForm() { return std::make_unique<FrmMain>(); }

}  // namespace orbenix
