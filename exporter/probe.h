#pragma once
// One probe: the target's check run once on this thread, and what its
// verdict and text say in Prometheus' terms.
#include <memory>
#include <string>

#include "component/check_form.h"
#include "core/usage_readings.h"
#include "exporter/exporter_config.h"

namespace orbenix::exporter {

// Why a probe failed, as labels: the error's number and where it came from.
//   kind "engine"  the check's numbered error ("ERROR:  30011 (...) line:  550")
//   kind "runtime" a run-time error of the object ("ERR: Overflow( 140)")
//   kind "http"    the panel's HTTP status other than 200 (the number is the status)
//   kind "panel"   the panel's own error message (number 0)
//   kind "answer"  an answer that is neither success nor error (number 0)
struct ProbeFailure {
    std::string number;
    std::string kind;
};

struct ProbeResult {
    bool success = false;  // the panel told the server's state
    bool up = false;       // ... and it is online
    double seconds = 0;
    std::optional<ProbeFailure> failure;  // set exactly when !success
    std::u16string text;                   // the check's text, for the log
    UsageReadings usage;
};

// From the check's verdict and text. An offline server, or one in another
// named state, is a successful probe of a server that is down.
ProbeResult ClassifyCheck(bool verdict, std::u16string_view text);

// Runs the target's check with a deadline of `deadline_seconds` on a new
// object with `form` (CreateCheckForm() for a real check).
ProbeResult RunProbe(const Target& target, int deadline_seconds, std::unique_ptr<CheckForm> form);

}  // namespace orbenix::exporter
