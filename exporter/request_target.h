#pragma once
// The request target of an answer's request: its path and its query
// parameters, percent-decoded ("+" in the query is a blank).
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::exporter {

struct RequestTarget {
    std::string path;   // decoded; "/metrics" for "/metrics?x=1"
    std::string query;  // raw, after "?"
};

RequestTarget SplitTarget(std::string_view target);

// The first value of `name` in `query`, decoded; nullopt when none is given.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name);

// "%41" and, in a query, "+" decoded; a bad escape stays as it stands.
std::string PercentDecode(std::string_view text, bool plus_is_blank);

}  // namespace orbenix::exporter
