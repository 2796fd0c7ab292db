// The relay proxy for http targets: the connection the requests travel on,
// and the proxy's own answers to them. A forwarded answer carries the
// proxy's "Via"; one the proxy wrote itself does not.
#include <algorithm>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http {
namespace {

// The connection to a relay proxy for an http target. A failure while the
// request and answer travel names the proxy and the target. A proxy that
// refuses often closes over the unread request body, and the reset can cut
// its answer short: the status line already read still tells what happened.
class RelayStream final : public Stream {
public:
    RelayStream(std::unique_ptr<Stream> inner, ProxySettings proxy, Target target, proxy::Handshake parties)
        : inner_(std::move(inner)), proxy_(std::move(proxy)), target_(std::move(target)),
          parties_(std::move(parties)) {}
    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        try {
            const std::size_t got = inner_->Read(buffer, size, deadline);
            if (seen_.size() < kKept) seen_.append(static_cast<const char*>(buffer), std::min(got, kKept - seen_.size()));
            return got;
        } catch (const Error& e) {
            Retell(e);
        }
    }
    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        try {
            inner_->Write(data, size, deadline);
        } catch (const Error& e) {
            Retell(e);
        }
    }
    const std::string& PeerName() const override { return inner_->PeerName(); }

private:
    static constexpr std::size_t kKept = 4096;

    [[noreturn]] void Retell(const Error& e) const {
        if (e.number() != error_numbers::SocketFailed && e.number() != error_numbers::ConnectionClosed) throw e;
        int status = 0;
        std::string reason;
        if (proxy::ParseStatusLine(seen_, status, reason)) {
            const std::string head = seen_.substr(0, seen_.find("\r\n\r\n"));
            CheckRelayAnswer(proxy_, target_, status, reason, HasVia(head));
        }
        parties_.Fail(error_numbers::ProxyFailed, "broke the connection for " + parties_.target + ": " +
                                                      Utf8FromText(e.description()));
    }

    static bool HasVia(const std::string& head) {
        for (std::size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1)) {
            const std::string name = head.substr(at + 1, 4);
            if (name.size() == 4 && (name[0] | 0x20) == 'v' && (name[1] | 0x20) == 'i' && (name[2] | 0x20) == 'a' &&
                name[3] == ':') {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<Stream> inner_;
    ProxySettings proxy_;
    Target target_;
    proxy::Handshake parties_;
    std::string seen_;  // the first bytes of the answer
};

}  // namespace

std::unique_ptr<Stream> proxy::RelayConnection(std::unique_ptr<Stream> stream, const ProxySettings& proxy,
                                               const Target& target, const Handshake& handshake) {
    return std::make_unique<RelayStream>(std::move(stream), proxy, target, handshake);
}

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
