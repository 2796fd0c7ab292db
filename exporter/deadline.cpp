#include "exporter/deadline.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orbenix::exporter {

double ProbeBudgetSeconds(std::optional<std::string_view> header, const ExporterConfig& config) {
    const double cap = config.probe_timeout_seconds;
    if (!header) return cap;
    double seconds = 0;
    const auto [end, error] = std::from_chars(header->data(), header->data() + header->size(), seconds);
    if (error != std::errc() || end != header->data() + header->size() || !std::isfinite(seconds) || seconds <= 0) {
        return cap;
    }
    return std::min(cap, seconds - config.timeout_margin_seconds);
}

double QueueWaitSeconds(double budget_seconds, const ExporterConfig& config) {
    return std::clamp(budget_seconds - 1.0, 0.0, config.queue_wait_seconds);
}

int CheckDeadlineSeconds(double budget_seconds, double waited_seconds) {
    const double left = std::floor(budget_seconds - waited_seconds);
    return left < 1 ? 1 : static_cast<int>(std::min(left, 86400.0));
}

}  // namespace orbenix::exporter
