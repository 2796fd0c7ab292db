// libFuzzer target: a SOCKS5 proxy's replies when only "no authentication"
// is offered. A granted exchange consumes exactly its bytes, so the tunnel
// starts clean.
#include "fuzz/proxy_reply.h"
#include "fuzz/socks5_reply.h"
#include "engine/http/http_component.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orbenix;
    const long used = fuzz::PlayHandshake(data, size, http::ProxySocks5, fuzz::Credentials::Never,
                                          {"panel.example", 5656, false}, http::proxy::OpenSocks5);
    if (used != -1 && used != fuzz::GrantedSocks5Length(fuzz::ReadControl(data, size).bytes)) std::abort();
    return 0;
}
