#pragma once
// JSON text for the answers that are JSON: the plugin's --json line and the
// exporter's service discovery.
#include <string>
#include <string_view>

namespace orbenix {

// A JSON string literal (quotes included) for UTF-8 text.
std::string JsonString(std::string_view utf8);

}  // namespace orbenix
