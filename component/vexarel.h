#pragma once
// The class the host creates: four plain-storage Variant properties and two
// commands, qv_docheck and qv_showGUI.
#include <memory>

#include "component/check_form.h"
#include "core/variant.h"

namespace orbenix {

class Vexarel {
public:
    Vexarel();  // Class_Initialize: a new form for this object
    explicit Vexarel(std::unique_ptr<CheckForm> form);
    ~Vexarel();  // Class_Terminate: the form reference is released

    Vexarel(const Vexarel&) = delete;
    Vexarel& operator=(const Vexarel&) = delete;

    // Runs one check; never fails. Sets qv_result before it returns.
    bool qv_docheck();
    // Shows the settings dialog; failures travel to the caller as Error.
    void qv_showGUI();

    // Plain storage: put stores the value unchanged, get returns a copy.
    Variant qv_result;
    Variant qv_parameter;
    Variant qv_timeout;
    Variant qv_hostname;

    CheckForm& form() { return *CheckForm_; }

private:
    std::unique_ptr<CheckForm> CheckForm_;
};

}  // namespace orbenix
