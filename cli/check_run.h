#pragma once
// One check as the host runs it: the four properties set, qv_docheck called,
// the time it took measured.
#include <memory>
#include <string>

#include "cli/configuration.h"
#include "component/check_form.h"

namespace orbenix::cli {

struct CheckOutcome {
    bool verdict = false;
    std::u16string result;
    double seconds = 0;
    UsageReadings usage;  // what an online server's answer held for the asked-for values
};

// Installs config.check_options for this thread, then runs the check on a
// new object with `form` (CreateCheckForm() for a real check).
CheckOutcome RunCheck(const CheckConfig& config, std::unique_ptr<CheckForm> form);

}  // namespace orbenix::cli
