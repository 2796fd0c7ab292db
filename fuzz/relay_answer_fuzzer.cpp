// libFuzzer target: the answer to an absolute-form request through a relay
// proxy, read as the exchange reads it (the relay's connection, the response
// parser, the check for the proxy's own refusals). Whatever the proxy
// answers ends in a response or a numbered error; a 407 is never a response.
#include <memory>

#include "fuzz/proxy_reply.h"
#include "engine/http/http_component.h"
#include "engine/http/response_parser.h"

namespace {

using namespace orbenix;

bool IsReadingError(std::int32_t n) {
    switch (n) {
    case fuzz::codes::ProxyFailed:
    case fuzz::codes::ProxyAuthFailed:
    case fuzz::codes::ConnectionClosed:
    case fuzz::codes::BadResponse:
    case fuzz::codes::HeaderTooLarge:
    case fuzz::codes::TooManyHeaders:
    case fuzz::codes::BodyTooLarge:
    case fuzz::codes::BadChunk:
    case fuzz::codes::BadContentLength: return true;
    default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Replay replay = fuzz::ReadControl(data, size);
    const http::ProxySettings proxy = fuzz::Proxy(http::ProxyRelay, replay.credentials);
    const http::Target target{"panel.example", 80, false};
    const auto handshake = http::proxy::DescribeHandshake(proxy, target);
    const http::Deadline deadline = fuzz::FuzzDeadline();
    auto stream = http::proxy::RelayConnection(
        std::make_unique<fuzz::ReplayStream>(replay.bytes, replay.piece, replay.reset), proxy, target, handshake);
    try {
        const std::string request = "POST http://panel.example:80/api/client/command.php HTTP/1.1\r\n\r\n";
        stream->Write(request.data(), request.size(), deadline);
        const http::Response response = http::ReadResponse(*stream, target.host + ":80", deadline);
        http::CheckRelayAnswer(proxy, target, response.status, response.reason, response.Header("Via") != nullptr);
        if (response.status == 407) std::abort();  // the proxy's refusal told as the panel's answer
    } catch (const Error& e) {
        if (!IsReadingError(e.number())) std::abort();
        const std::string text = Utf8FromText(e.description());
        if (fuzz::TellsCredentials(text, replay.bytes) || fuzz::HasControl(text)) std::abort();
    }
    return 0;
}
