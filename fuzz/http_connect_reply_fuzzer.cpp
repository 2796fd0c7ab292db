// libFuzzer target: an HTTP proxy's answer to CONNECT (interim 1xx answers,
// refusals, 407). An opened tunnel has consumed the answer up to its blank
// line and not a byte of the tunnel.
#include "fuzz/proxy_reply.h"
#include "engine/http/http_component.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbenix;
    const long used = fuzz::PlayHandshake(data, size, http::ProxyWebStandard, fuzz::Credentials::Chosen,
                                          {"panel.example", 443, true}, http::proxy::OpenHttpTunnel);
    if (used == -1) return 0;
    const std::string_view head = fuzz::ReadControl(data, size).bytes.substr(0, static_cast<std::size_t>(used));
    if (!head.ends_with("\n\n") && !head.ends_with("\n\r\n")) std::abort();
    return 0;
}
