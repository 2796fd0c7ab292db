#include "exporter/service_discovery.h"

#include <cstdio>

namespace orbenix::exporter {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

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
