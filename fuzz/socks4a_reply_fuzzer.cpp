// libFuzzer target: a SOCKS4a proxy's reply (the name goes to the proxy). A
// granted reply is exactly 8 bytes; nothing of the tunnel is read.
#include "fuzz/proxy_reply.h"
#include "engine/http/http_component.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbenix;
    const long used = fuzz::PlayHandshake(data, size, http::ProxySocks4a, fuzz::Credentials::Chosen,
                                          {"panel.example", 5656, false},
                                          http::proxy::OpenSocks4);
    if (used != -1 && used != 8) std::abort();
    return 0;
}
