// The relay proxy's own answers to absolute-form requests. A forwarded answer
// carries the proxy's "Via"; one the proxy wrote itself does not.
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http {

void CheckRelayAnswer(const ProxySettings& proxy, const Target& target, int status, const std::string& reason,
                      bool has_via) {
    if (!UsesAbsoluteForm(proxy, target)) return;
    const proxy::Handshake handshake = proxy::DescribeHandshake(proxy, target);
    const std::string code = "HTTP " + std::to_string(status);
    if (status == 407 || (status == 401 && proxy.authenticate && !has_via)) {
        handshake.Fail(error_numbers::ProxyAuthFailed, proxy.authenticate
                                                           ? "refused the credentials (" + code + ")"
                                                           : "requires authentication, and none is set (" + code + ")");
    }
    if (status >= 500 && status <= 599 && !has_via) {
        const std::string shown = proxy::CleanReason(reason);
        handshake.Fail(error_numbers::ProxyFailed,
                       "could not reach " + handshake.target + ": " + code + (shown.empty() ? "" : " " + shown));
    }
}

}  // namespace orbenix::http
