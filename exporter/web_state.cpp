#include "exporter/web_state.h"

#include <boost/asio/ssl/context.hpp>

#include "exporter/tls_server_context.h"

namespace orbenix::exporter {

std::variant<std::shared_ptr<const WebState>, ConfigErrors> LoadWebState(const std::string& path,
                                                                         std::shared_ptr<PasswordPool> pool) {
    auto state = std::make_shared<WebState>();
    if (!path.empty()) {
        auto read = ReadWebConfigFile(path);
        if (auto* errors = std::get_if<ConfigErrors>(&read)) return std::move(*errors);
        state->config = std::move(std::get<WebConfig>(read));
    }
    if (state->config.tls) {
        auto made = BuildTlsServerContext(*state->config.tls, path);
        if (auto* errors = std::get_if<ConfigErrors>(&made)) return std::move(*errors);
        // Asio's context takes the OpenSSL context over and frees it.
        state->tls = std::make_shared<boost::asio::ssl::context>(std::get<SslContextPtr>(made).release());
    }
    state->auth = std::make_shared<const BasicAuth>(state->config.users, std::move(pool));
    return std::shared_ptr<const WebState>(std::move(state));
}

}  // namespace orbenix::exporter
