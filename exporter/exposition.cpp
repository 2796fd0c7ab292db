#include "exporter/exposition.h"

#include <charconv>
#include <cmath>

namespace orbenix::exporter {

std::string EscapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string NumberText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end.ptr);
}

void Exposition::Family(std::string_view name, std::string_view type, std::string_view help) {
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Exposition::Name(std::string_view name, const Labels& labels) {
    text_.append(name);
    if (labels.empty()) return;
    text_ += '{';
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i) text_ += ',';
        text_.append(labels[i].first).append("=\"").append(EscapeLabelValue(labels[i].second)).append("\"");
    }
    text_ += '}';
}

void Exposition::Sample(std::string_view name, double value, const Labels& labels) {
    Name(name, labels);
    text_.append(" ").append(NumberText(value)).append("\n");
}

void Exposition::Sample(std::string_view name, std::uint64_t value, const Labels& labels) {
    Name(name, labels);
    text_.append(" ").append(std::to_string(value)).append("\n");
}

}  // namespace orbenix::exporter
