#pragma once
// The command line of orbenix-check, parsed into a value. Parsing never exits
// and reads nothing: it returns an error text for the usage message instead.
// Error texts name options, never the values given to them.
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orbenix::cli {

// The monitoring-plugin states; the number is the exit code.
enum class PluginState { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

struct Options {
    // Where the parameter string comes from: one of these three, else the
    // environment variable ORBENIX_PARAMETER.
    std::optional<std::u16string> parameter;       // --parameter TEXT
    std::optional<std::u16string> parameter_file;  // --parameter-file FILE|-
    // ... or built from parts, as the settings dialog builds it.
    std::optional<std::u16string> url;
    std::optional<std::u16string> key;   // visible to other users: testing only
    std::optional<std::u16string> hash;  // visible to other users: testing only
    std::optional<std::u16string> key_file;
    std::optional<std::u16string> hash_file;
    std::optional<std::u16string> proxy;  // TYPE://host:port
    std::optional<std::u16string> proxy_user;
    std::optional<std::u16string> proxy_password_file;

    std::optional<std::u16string> timeout;  // omitted: qv_timeout stays Empty
    std::optional<std::u16string> hostname;
    PluginState timeout_state = PluginState::Unknown;
    bool verify_tls = false;
    std::optional<std::u16string> ca_file;

    // Usage thresholds on the percent used (range texts; BuildConfig reads
    // them) and --usage, which asks for all three values without thresholds.
    std::optional<std::u16string> bw_warning, bw_critical;
    std::optional<std::u16string> hdd_warning, hdd_critical;
    std::optional<std::u16string> mem_warning, mem_critical;
    bool usage = false;

    bool json = false;
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool print_parameter = false;

    // True when any of --url, --key(-file), --hash(-file), --proxy... is given.
    bool BuildsParameter() const;
};

struct ArgumentError {
    std::string message;
    // False when the command line was right but an input it names was not
    // (a file that cannot be read): the usage would not help then.
    bool show_usage = true;
};

std::variant<Options, ArgumentError> ParseArguments(const std::vector<std::u16string>& args);

// The program's arguments (without the program name) as UTF-16 text.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

extern const char* const kUsage;

}  // namespace orbenix::cli
