// The form of every object. The check engine and the settings dialog attach
// here as they arrive; until then both calls report that the form offers no
// such method, exactly as a late-bound call on a form without it would.
#include "component/check_form.h"
#include "component/error.h"

namespace orbenix {
namespace {

class FrmMain final : public CheckForm {
public:
    Variant DoCheck() override { throw Error(errors::NotSupportedByObject); }
    void ShowSettings(Vexarel&) override { throw Error(errors::NotSupportedByObject); }
};

}  // namespace

std::unique_ptr<CheckForm> CreateCheckForm() { return std::make_unique<FrmMain>(); }

}  // namespace orbenix
