#include "cli/arguments.h"

#include <array>
#include <set>

#include "core/utf8.h"

namespace orbenix::cli {

const char* const kUsage =
    "usage: orbenix-check {--parameter-file FILE|- | --url URL [--key-file FILE|-] "
    "[--hash-file FILE|-] [--proxy TYPE://HOST:PORT [--proxy-user NAME] "
    "[--proxy-password-file FILE|-]]} [-t SECONDS] [--timeout-state STATE] [--verify-tls] "
    "[--ca-file FILE] [--usage] [--{bw,hdd,mem}-{warning,critical} RANGE] [-v] [--json] "
    "[--print-parameter] | -h | -V";

namespace {

using TextField = std::optional<std::u16string> Options::*;
using FlagField = bool Options::*;

struct ValueOption {
    std::u16string_view short_name;
    std::u16string_view long_name;
    TextField field;
};

struct FlagOption {
    std::u16string_view short_name;
    std::u16string_view long_name;
    FlagField field;
};

constexpr std::array kValueOptions = {
    ValueOption{u"", u"--parameter", &Options::parameter},
    ValueOption{u"", u"--parameter-file", &Options::parameter_file},
    ValueOption{u"", u"--url", &Options::url},
    ValueOption{u"", u"--key", &Options::key},
    ValueOption{u"", u"--hash", &Options::hash},
    ValueOption{u"", u"--key-file", &Options::key_file},
    ValueOption{u"", u"--hash-file", &Options::hash_file},
    ValueOption{u"", u"--proxy", &Options::proxy},
    ValueOption{u"", u"--proxy-user", &Options::proxy_user},
    ValueOption{u"", u"--proxy-password-file", &Options::proxy_password_file},
    ValueOption{u"-t", u"--timeout", &Options::timeout},
    ValueOption{u"", u"--hostname", &Options::hostname},
    ValueOption{u"", u"--ca-file", &Options::ca_file},
    ValueOption{u"", u"--bw-warning", &Options::bw_warning},
    ValueOption{u"", u"--bw-critical", &Options::bw_critical},
    ValueOption{u"", u"--hdd-warning", &Options::hdd_warning},
    ValueOption{u"", u"--hdd-critical", &Options::hdd_critical},
    ValueOption{u"", u"--mem-warning", &Options::mem_warning},
    ValueOption{u"", u"--mem-critical", &Options::mem_critical},
};

constexpr std::array kFlagOptions = {
    FlagOption{u"-h", u"--help", &Options::help},
    FlagOption{u"-V", u"--version", &Options::version},
    FlagOption{u"-v", u"--verbose", &Options::verbose},
    FlagOption{u"", u"--json", &Options::json},
    FlagOption{u"", u"--verify-tls", &Options::verify_tls},
    FlagOption{u"", u"--print-parameter", &Options::print_parameter},
    FlagOption{u"", u"--usage", &Options::usage},
};

constexpr std::u16string_view kTimeoutState = u"--timeout-state";

std::string Name(std::u16string_view name) { return Utf8FromText(name); }

std::optional<PluginState> StateFromText(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    if (text == u"OK" || text == u"0") return PluginState::Ok;
    if (text == u"WARNING" || text == u"1") return PluginState::Warning;
    if (text == u"CRITICAL" || text == u"2") return PluginState::Critical;
    if (text == u"UNKNOWN" || text == u"3") return PluginState::Unknown;
    return std::nullopt;
}

// The rules between options that need no file and no environment.
std::optional<ArgumentError> CheckCombinations(const Options& o) {
    const int sources = (o.parameter ? 1 : 0) + (o.parameter_file ? 1 : 0) + (o.BuildsParameter() ? 1 : 0);
    if (sources > 1) {
        return ArgumentError{"give only one of --parameter, --parameter-file and --url with its options"};
    }
    if (o.key && o.key_file) return ArgumentError{"give only one of --key and --key-file"};
    if (o.hash && o.hash_file) return ArgumentError{"give only one of --hash and --hash-file"};
    if ((o.proxy_user || o.proxy_password_file) && !o.proxy) {
        return ArgumentError{"--proxy-user and --proxy-password-file need --proxy"};
    }
    if (o.proxy_password_file && !o.proxy_user) {
        return ArgumentError{"--proxy-password-file needs --proxy-user"};
    }
    if (o.BuildsParameter() && !o.url) return ArgumentError{"--url is required to build the parameter"};
    if (o.print_parameter && !o.url) return ArgumentError{"--print-parameter needs --url and its options"};
    int from_stdin = 0;
    for (const auto* file : {&o.parameter_file, &o.key_file, &o.hash_file, &o.proxy_password_file}) {
        if (*file && **file == u"-") ++from_stdin;
    }
    if (from_stdin > 1) return ArgumentError{"only one option can read standard input (-)"};
    return std::nullopt;
}

}  // namespace

bool Options::BuildsParameter() const {
    return url || key || hash || key_file || hash_file || proxy || proxy_user || proxy_password_file;
}

std::variant<Options, ArgumentError> ParseArguments(const std::vector<std::u16string>& args) {
    Options options;
    std::set<std::u16string_view> seen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::u16string_view name = args[i];
        std::optional<std::u16string> inline_value;  // --name=value
        if (name.starts_with(u"--")) {
            if (const auto eq = name.find(u'='); eq != std::u16string_view::npos) {
                inline_value = std::u16string(name.substr(eq + 1));
                name = name.substr(0, eq);
            }
        } else if (!name.starts_with(u"-") || name.size() == 1) {
            // A stray value may be a secret typed in the wrong place: never shown.
            return ArgumentError{"unexpected argument in position " + std::to_string(i + 1) +
                                 " (values are not shown)"};
        }
        auto take_value = [&]() -> std::optional<std::u16string> {
            if (inline_value) return inline_value;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };

        std::u16string_view long_name;
        bool handled = false;
        for (const auto& option : kValueOptions) {
            if (name != option.long_name && (option.short_name.empty() || name != option.short_name)) continue;
            long_name = option.long_name;
            auto value = take_value();
            if (!value) return ArgumentError{Name(long_name) + " needs a value"};
            options.*option.field = std::move(*value);
            handled = true;
        }
        for (const auto& option : kFlagOptions) {
            if (name != option.long_name && (option.short_name.empty() || name != option.short_name)) continue;
            long_name = option.long_name;
            if (inline_value) return ArgumentError{Name(long_name) + " takes no value"};
            options.*option.field = true;
            handled = true;
        }
        if (name == kTimeoutState) {
            long_name = kTimeoutState;
            auto value = take_value();
            if (!value) return ArgumentError{"--timeout-state needs a value"};
            const auto state = StateFromText(*value);
            if (!state) return ArgumentError{"--timeout-state takes OK, WARNING, CRITICAL or UNKNOWN"};
            options.timeout_state = *state;
            handled = true;
        }
        if (!handled) return ArgumentError{"unknown option: " + Name(name)};
        if (!seen.insert(long_name).second) return ArgumentError{Name(long_name) + " is given twice"};
    }
    if (options.help || options.version) return options;
    if (auto error = CheckCombinations(options)) return *error;
    return options;
}

}  // namespace orbenix::cli
