// orbenix-check: stands in for the monitoring host (sets the object's
// properties, runs qv_docheck) and reports as a monitoring plugin.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "cli/check_run.h"
#include "cli/help.h"
#include "cli/plugin_output.h"
#include "cli/watchdog.h"
#include "core/utf8.h"
#include "engine/debug_log.h"

namespace {

using namespace orbenix;
using namespace orbenix::cli;

int Print(const std::string& text, PluginState state) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return static_cast<int>(state);
}

// The usage goes to standard error, after the line: a monitoring system reads
// each "|" on standard output as the start of performance data, the usage
// has many, and some systems read standard error after standard output.
int ArgumentFailure(const ArgumentError& error) {
    const int code = Print(PluginLine(PluginState::Unknown, TextFromUtf8(error.message), 0), PluginState::Unknown);
    if (error.show_usage) std::fprintf(stderr, "%s\n", kUsage);
    return code;
}

std::string Report(bool json, bool verdict, const std::u16string& text, PluginState state, double seconds) {
    return json ? JsonLine(verdict, text) : PluginLine(state, text, seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = ParseArguments(CommandLineArguments(argc, argv));
    if (const auto* error = std::get_if<ArgumentError>(&parsed)) return ArgumentFailure(*error);
    const Options& options = std::get<Options>(parsed);
    if (options.help) return Print(HelpText(), PluginState::Unknown);
    if (options.version) return Print(VersionText(), PluginState::Unknown);
    for (const std::string& warning : VisibilityWarnings(options)) std::fprintf(stderr, "%s\n", warning.c_str());

    const auto built = BuildConfig(options, SystemInputs());
    if (const auto* error = std::get_if<ArgumentError>(&built)) return ArgumentFailure(*error);
    const CheckConfig& config = std::get<CheckConfig>(built);
    if (options.print_parameter) return Print(Utf8FromText(config.parameter) + "\n", PluginState::Ok);

    SetDebugLogToStderr(options.verbose);
    const int grace_seconds = 1;
    Watchdog watchdog(std::chrono::seconds(config.limit_seconds + grace_seconds), [&] {
        const std::u16string text = u"orbenix-check: no result within " +
                                    TextFromUtf8(std::to_string(config.limit_seconds)) + u" seconds";
        Print(Report(options.json, false, text, config.timeout_state, config.limit_seconds + grace_seconds),
              config.timeout_state);
        std::_Exit(static_cast<int>(config.timeout_state));
    });
    const CheckOutcome outcome = RunCheck(config, CreateCheckForm());
    watchdog.Disarm();
    const PluginState status = Classify(outcome.verdict, outcome.result, config.timeout_state);
    // Without usage options this adds nothing: state, text and line as ever.
    const UsageReport usage = EvaluateUsage(status, config.usage, outcome.usage);
    const std::string line =
        options.json ? JsonLine(outcome.verdict, outcome.result,
                                config.usage.Any() ? UsageJson(config.usage, outcome.usage) : "")
                     : PluginLine(usage.state, outcome.result + usage.text, outcome.seconds, usage.perfdata);
    return Print(line, usage.state);
}
