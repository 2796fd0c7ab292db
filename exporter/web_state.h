#pragma once
// The web configuration as the front uses it: the file read, its TLS context
// made, and its users ready to check. A reload makes a new one and swaps it
// in whole, so a bad file leaves the one before, certificates included.
#include <memory>
#include <string>
#include <variant>

#include "exporter/basic_auth.h"
#include "exporter/web_config.h"

namespace boost::asio::ssl {
class context;
}

namespace orbenix::exporter {

struct WebState {
    WebConfig config;
    std::shared_ptr<boost::asio::ssl::context> tls;  // null: plain HTTP
    std::shared_ptr<const BasicAuth> auth;           // never null; allows all when it has no users
};

// `path` empty: plain HTTP, no users. `pool` runs the password checks (may be
// null where nothing is checked, as in --check-config).
std::variant<std::shared_ptr<const WebState>, ConfigErrors> LoadWebState(const std::string& path,
                                                                         std::shared_ptr<PasswordPool> pool);

}  // namespace orbenix::exporter
