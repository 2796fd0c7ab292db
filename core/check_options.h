#pragma once
// Settings a check takes from its caller rather than from the parameter
// string: orbenix-check sets them from its command line; the COM host leaves
// the defaults, which are the component's own behaviour.
#include <optional>
#include <string>

#include "core/usage_readings.h"

namespace orbenix {

struct CheckOptions {
    std::optional<int> timeout_seconds;  // the HTTP component's deadline; default 60 s
    bool verify_tls = false;             // refuse certificates that do not verify
    std::string ca_file;                 // extra trust anchors for verify_tls
    // Resume TLS sessions of earlier checks in this process: for callers
    // that make many checks in one process (the exporter); off for one check
    // per process, and a no-op where Schannel keeps its own cache.
    bool resume_tls_sessions = false;
    // Usage values to ask for besides the status; none by default, so the
    // request stays the status request.
    UsageFields usage_fields{};
    // Written by the check: what an online server's answer held for each
    // asked-for value (cleared when a check starts).
    UsageReadings usage_readings{};
};

// This thread's options.
CheckOptions& ThreadCheckOptions();

// Where ThreadCheckOptions() keeps the records: by default a thread_local;
// the DLL installs per-thread storage of its own (see SetCheckSettingsStorage).
// Null restores the default.
using CheckOptionsStorage = CheckOptions& (*)();
void SetCheckOptionsStorage(CheckOptionsStorage storage);

}  // namespace orbenix
