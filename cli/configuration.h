#pragma once
// From parsed options to what one check needs: the parameter string (read
// from a file, standard input, the environment, or built from parts the way
// the settings dialog builds it), the host's timeout text and the HTTP
// component's options.
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/arguments.h"
#include "cli/usage_report.h"
#include "core/check_options.h"

namespace orbenix::cli {

// The plugin's time limit when -t is omitted.
inline constexpr int kDefaultLimitSeconds = 30;
// A day: more is a mistake, and the watchdog's arithmetic stays small.
inline constexpr int kMaxLimitSeconds = 86400;

struct CheckConfig {
    std::u16string parameter;
    std::optional<std::u16string> timeout;  // qv_timeout as the host passes it; none: Empty
    std::optional<std::u16string> hostname;
    int limit_seconds = kDefaultLimitSeconds;
    CheckOptions check_options;
    PluginState timeout_state = PluginState::Unknown;
    UsageRequest usage;  // also in check_options.usage_fields
};

// What the configuration reads from outside the program. ReadInput gets a
// path, or "-" for standard input, and returns the bytes or an error text
// that names the path (never the content).
struct Inputs {
    std::function<std::variant<std::string, ArgumentError>(const std::u16string& path)> read_input;
    std::function<std::optional<std::u16string>(const char* name)> environment;
};

// The process's own files, standard input and environment.
Inputs SystemInputs();

inline constexpr const char* kParameterVariable = "ORBENIX_PARAMETER";

// Warnings for secrets given on the command line, where other users can read
// them in the process list. They name the option, never the value.
std::vector<std::string> VisibilityWarnings(const Options& options);

std::variant<CheckConfig, ArgumentError> BuildConfig(const Options& options, const Inputs& inputs);

// The usage values and thresholds the options ask for; a range that is none
// is an error naming its option.
std::variant<UsageRequest, ArgumentError> BuildUsageRequest(const Options& options);

// The parameter string from --url and its options (the settings dialog's format).
std::variant<std::u16string, ArgumentError> BuildParameter(const Options& options, const Inputs& inputs);

// orbenix::SingleLineText (params/single_line_text.h), with an error naming
// `what` when a line break remains inside.
std::variant<std::u16string, ArgumentError> SingleLineText(const std::string& bytes, const std::string& what);

}  // namespace orbenix::cli
