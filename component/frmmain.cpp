// The form of every object: its check engine and its settings dialog.
#include "component/check_form.h"
#include "component/vexarel.h"
#include "core/error.h"
#include "dialog/settings_form.h"
#include "dialog/show_settings.h"
#include "engine/check_engine.h"

namespace orbenix {
namespace {

class FrmMain final : public CheckForm {
public:
    Variant DoCheck() override { return Variant(engine_.DoCheck()); }
    void ShowSettings(Vexarel& object) override {
        ShowSettingsDialog(object.qv_parameter, object.qv_timeout, dialog_);
    }

private:
    CheckEngine engine_;  // holds `webapper` from one check to the next
    SettingsForm dialog_{CreateDialogView()};  // its window exists only while loaded
};

}  // namespace

std::unique_ptr<CheckForm> CreateCheckForm() { return std::make_unique<FrmMain>(); }

}  // namespace orbenix
