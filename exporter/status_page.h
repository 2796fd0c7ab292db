#pragma once
// The short HTML page / answers: the targets and where to find them.
#include <string>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {

std::string StatusPage(const ExporterConfig& config);

// `text` with &, <, >, " and ' as entities.
std::string EscapeHtml(const std::string& text);

}  // namespace orbenix::exporter
