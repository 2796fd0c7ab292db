// libFuzzer target: URL parsing and redirect resolution. A parsed URL has a
// host, a port and a target that starts with "/" and holds no blank or
// control character; its text parses back to the same URL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/url.h"

namespace {

void CheckSound(const orbenix::http::Url& url) {
    if (url.host.empty() || url.port == 0 || url.target.empty() || url.target[0] != '/') std::abort();
    for (const unsigned char c : url.target) {
        if (c <= 0x20 || c >= 0x7f) std::abort();
    }
    const auto again = orbenix::http::ParseUrl(orbenix::TextFromUtf8(url.Text()));
    if (again.Text() != url.Text()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto split = text.find('\n');
    try {
        const auto base = orbenix::http::ParseUrl(orbenix::TextFromUtf8(text.substr(0, split)));
        CheckSound(base);
        if (split != std::string::npos) CheckSound(orbenix::http::ResolveLocation(base, text.substr(split + 1)));
    } catch (const orbenix::Error&) {
    }
    return 0;
}
