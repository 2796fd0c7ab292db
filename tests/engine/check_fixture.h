#pragma once
// Runs one DoCheck against the stand-in component and collects what it did.
#include <string>
#include <vector>

#include "core/check_options.h"
#include "core/check_settings.h"
#include "engine/check_engine.h"
#include "engine/debug_log.h"
#include "tests/engine/standin_component.h"

namespace orbenix::testing {

struct CheckRun {
    bool verdict = false;
    std::u16string message;
    StandInJournal journal;
    std::vector<std::u16string> log;
    bool component_kept = false;  // webapper still holds the object afterwards
};

// Settings of a plain check without proxy.
inline CheckSettings PlainSettings() {
    CheckSettings s;
    s.SolusVMURL = u"http://127.0.0.1:5353";
    s.APIKey = u"KEY1";
    s.APIHash = u"HASH1";
    return s;
}

inline CheckRun RunCheck(const CheckSettings& settings, const StandInScript& script,
                         const std::u16string& stale_message = u"") {
    CheckRun run;
    ThreadCheckSettings() = settings;
    ThreadCheckSettings().LastMessage = stale_message;
    CapturingDebugSink capture;
    CheckEngine engine(StandInFactory(script, run.journal));
    run.verdict = engine.DoCheck();
    run.message = ThreadCheckSettings().LastMessage;
    run.component_kept = engine.webapper() != nullptr;
    run.log = capture.lines;
    return run;
}

inline std::u16string Online() {
    return u"<status>success</status><statusmsg></statusmsg><vmstat>online</vmstat>";
}

}  // namespace orbenix::testing
