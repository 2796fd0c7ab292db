#pragma once
// A probe's time: Prometheus says in X-Prometheus-Scrape-Timeout-Seconds how
// long it waits for the answer; the probe keeps a margin of that for the
// answer's way back, and never runs longer than the configuration allows.
#include <optional>
#include <string_view>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {

// The seconds the probe may take in all, before it waits for a slot.
// A header that is no positive number is ignored.
double ProbeBudgetSeconds(std::optional<std::string_view> scrape_timeout_header, const ExporterConfig& config);

// How long the probe may wait for a slot: the configured wait, but leaving at
// least a second of the budget for the check.
double QueueWaitSeconds(double budget_seconds, const ExporterConfig& config);

// The check's deadline, whole seconds (what the HTTP component takes), at least 1.
int CheckDeadlineSeconds(double budget_seconds, double waited_seconds);

}  // namespace orbenix::exporter
