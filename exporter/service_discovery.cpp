#include "exporter/service_discovery.h"

#include "core/json_string.h"

namespace orbenix::exporter {

std::string ServiceDiscoveryJson(const ExporterConfig& config) {
    std::string out = "[";
    for (const Target& target : config.targets) {
        if (out.size() > 1) out += ",";
        const std::string name = JsonString(target.name);
        out.append("\n{\"targets\":[").append(name).append("],\"labels\":{\"__param_target\":").append(name);
        for (const auto& [label, value] : target.labels) {
            out.append(",").append(JsonString(label)).append(":").append(JsonString(value));
        }
        out.append("}}");
    }
    out += "\n]\n";
    return out;
}

}  // namespace orbenix::exporter
