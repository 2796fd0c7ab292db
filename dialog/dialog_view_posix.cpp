#include "core/error.h"
#include "dialog/dialog_errors.h"
#include "dialog/dialog_view.h"

namespace orbenix {
namespace {

// No window system: the form cannot load, so the settings entry point fails
// at its first use of a control, before it shows or changes anything.
class NoWindowView final : public DialogView {
public:
    void Create(SettingsForm&) override {
        throw Error(dialog_errors::NeedsWindows, dialog_errors::kNeedsWindows);
    }
    std::intptr_t WindowHandle() const override { return 0; }
    void Refresh(ControlId) override {}
    void ShowModal() override {}
    void Destroy() override {}
};

}  // namespace

std::unique_ptr<DialogView> CreateDialogView() { return std::make_unique<NoWindowView>(); }

}  // namespace orbenix
