#pragma once
// What the object asks of its form: the check procedure and the settings
// dialog. One form instance per object, created with it; the form's window
// and controls are loaded only when the dialog needs them.
#include <memory>

#include "core/variant.h"

namespace orbenix {

class Vexarel;

class CheckForm {
public:
    virtual ~CheckForm() = default;
    // The verdict of one status check (True for a working server); on False
    // the reason is left in CheckSettings::LastMessage.
    virtual Variant DoCheck() = 0;
    // Fills the settings dialog from `object`'s parameter string, shows it
    // modally and hands the resulting string back to `object`.
    virtual void ShowSettings(Vexarel& object) = 0;
};

// The form each new object gets.
std::unique_ptr<CheckForm> CreateCheckForm();

}  // namespace orbenix
