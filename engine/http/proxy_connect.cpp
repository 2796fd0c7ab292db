// The way to the target. Only direct connections so far; the proxy
// protocols come next.
#include "component/error.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy.h"
#include "params/utf8.h"

namespace orbenix::http {

void ValidateProxy(const ProxySettings& proxy) {
    if (proxy.kind != 0) {
        throw Error(error_numbers::ProxyNotSupported,
                    u"Proxy kind " + TextFromUtf8(std::to_string(proxy.kind)) + u" is not supported");
    }
}

std::unique_ptr<Stream> ConnectThrough(const ProxySettings& proxy, const Target& target,
                                       const Deadline& deadline) {
    ValidateProxy(proxy);
    return ConnectTcp(target.host, target.port, deadline);
}

bool UsesAbsoluteForm(const ProxySettings&, const Target&) { return false; }

std::string ProxyAuthorization(const ProxySettings&) { return {}; }

}  // namespace orbenix::http
