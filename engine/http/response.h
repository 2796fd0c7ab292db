#pragma once
// A parsed HTTP response.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbenix::http {

struct Response {
    int status = 0;
    std::string reason;  // raw bytes of the reason phrase ("" when missing)
    std::vector<std::pair<std::string, std::string>> headers;  // in order received
    std::string body;    // decoded bytes

    // The first value of header `name` (case-insensitive), or nullptr.
    const std::string* Header(std::string_view name) const;
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace orbenix::http
