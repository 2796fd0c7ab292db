// orbenix-check: stands in for the monitoring host. It sets the object's
// properties, runs qv_docheck and reports the verdict.
#include <cstdio>
#include <string>

#include "cli/arguments.h"
#include "cli/json.h"
#include "component/vexarel.h"
#include "params/utf8.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCritical = 2;
constexpr int kExitUnknown = 3;

}  // namespace

int main(int argc, char** argv) {
    using namespace orbenix;
    const auto parsed = cli::ParseArguments(cli::CommandLineArguments(argc, argv));
    if (const auto* error = std::get_if<cli::ArgumentError>(&parsed)) {
        std::fprintf(stderr, "orbenix-check: %s\n%s\n", error->message.c_str(), cli::kUsage);
        return kExitUnknown;
    }
    const auto& options = std::get<cli::Options>(parsed);
    if (options.help) {
        std::printf("%s\n", cli::kUsage);
        return kExitUnknown;
    }

    Vexarel check;
    check.qv_parameter = options.parameter;
    if (options.timeout) check.qv_timeout = *options.timeout;
    if (options.hostname) check.qv_hostname = *options.hostname;
    const bool verdict = check.qv_docheck();
    const std::string result = Utf8FromText(check.qv_result.ToText());

    if (options.json) {
        std::printf("{\"verdict\": %s, \"result\": %s}\n", verdict ? "true" : "false",
                    cli::JsonString(result).c_str());
    } else {
        std::printf("%s\n", result.c_str());
    }
    return verdict ? kExitOk : kExitCritical;
}
