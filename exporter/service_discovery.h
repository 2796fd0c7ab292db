#pragma once
// GET /sd: Prometheus' HTTP service discovery, one group per target, so
// that a job finds every target with its labels and never lists names, and
// Zabbix's low-level discovery reads the same answer ($.targets[0],
// $.labels.NAME).
#include <string>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {

inline constexpr const char* kJsonContentType = "application/json";

// [{"targets":["NAME"],"labels":{"__param_target":"NAME",...}}, ...]
std::string ServiceDiscoveryJson(const ExporterConfig& config);

}  // namespace orbenix::exporter
