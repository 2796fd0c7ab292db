#pragma once
// The Prometheus text exposition format: metric families with HELP and TYPE
// lines, samples with escaped labels, numbers in the C locale.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbenix::exporter {

inline constexpr const char* kExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";

using Labels = std::vector<std::pair<std::string, std::string>>;

class Exposition {
public:
    // Starts a family: "# HELP name help" and "# TYPE name type".
    void Family(std::string_view name, std::string_view type, std::string_view help);
    void Sample(std::string_view name, double value, const Labels& labels = {});
    void Sample(std::string_view name, std::uint64_t value, const Labels& labels = {});

    const std::string& text() const { return text_; }

private:
    void Name(std::string_view name, const Labels& labels);
    std::string text_;
};

// A label value with "\", the double quote and line feeds escaped.
std::string EscapeLabelValue(std::string_view value);

// Shortest text that reads back as `value`; "+Inf", "-Inf", "NaN" as the format spells them.
std::string NumberText(double value);

}  // namespace orbenix::exporter
