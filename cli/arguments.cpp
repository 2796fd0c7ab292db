#include "cli/arguments.h"

#include "params/utf8.h"

namespace orbenix::cli {

const char* const kUsage =
    "usage: orbenix-check --parameter TEXT [--timeout VALUE] [--hostname VALUE] [--json]";

std::variant<Options, ArgumentError> ParseArguments(const std::vector<std::u16string>& args) {
    Options options;
    bool have_parameter = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        auto value = [&](std::u16string& target) -> bool {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        if (arg == u"--json") {
            options.json = true;
        } else if (arg == u"-h" || arg == u"--help") {
            options.help = true;
        } else if (arg == u"--parameter") {
            if (!value(options.parameter)) return ArgumentError{"--parameter needs a value"};
            have_parameter = true;
        } else if (arg == u"--timeout") {
            std::u16string v;
            if (!value(v)) return ArgumentError{"--timeout needs a value"};
            options.timeout = v;
        } else if (arg == u"--hostname") {
            std::u16string v;
            if (!value(v)) return ArgumentError{"--hostname needs a value"};
            options.hostname = v;
        } else {
            return ArgumentError{"unknown argument: " + Utf8FromText(arg)};
        }
    }
    if (!have_parameter && !options.help) return ArgumentError{"--parameter is required"};
    return options;
}

}  // namespace orbenix::cli
