#pragma once
// What /probe answers for one probe of one target.
#include <string>

#include "exporter/exporter_config.h"
#include "exporter/probe.h"

namespace orbenix::exporter {

// solusvm_probe_success, solusvm_up (when the probe succeeded),
// solusvm_probe_duration_seconds, the usage values the panel gave
// (solusvm_bandwidth_used_bytes, ..._total_bytes, ..._used_ratio; likewise
// disk_ and memory_), solusvm_usage_out_of_range for the target's ranges, and
// solusvm_probe_error_info for a failed probe.
std::string ProbeMetrics(const Target& target, const ProbeResult& result);

}  // namespace orbenix::exporter
