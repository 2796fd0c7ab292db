#include "cli/check_run.h"

#include <chrono>

#include "component/vexarel.h"

namespace orbenix::cli {

CheckOutcome RunCheck(const CheckConfig& config, std::unique_ptr<CheckForm> form) {
    ThreadCheckOptions() = config.check_options;
    Vexarel object(std::move(form));
    object.qv_parameter = config.parameter;
    if (config.timeout) object.qv_timeout = *config.timeout;
    if (config.hostname) object.qv_hostname = *config.hostname;

    const auto start = std::chrono::steady_clock::now();
    CheckOutcome outcome;
    outcome.verdict = object.qv_docheck();
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.result = object.qv_result.ToText();
    outcome.usage = ThreadCheckOptions().usage_readings;
    return outcome;
}

}  // namespace orbenix::cli
