#include "engine/http/http_exchange.h"

#include "core/error.h"
#include "engine/http/http_errors.h"
#include "engine/http/response_parser.h"
#include "engine/http/transport_errors.h"

namespace orbenix::http {
namespace {

// Runs one stage; a TimedOut from below is retold with the stage and peer.
template <typename Step>
auto Stage(const Deadline& deadline, const char* what, const std::string& peer, Step&& step) {
    try {
        return step();
    } catch (const Error& e) {
        if (e.number() != error_numbers::TimedOut) throw;
        throw TimedOutError(deadline, what, peer);
    }
}

// Through a proxy the connection's peer is the proxy; TLS speaks with the
// target and names it in its messages.
class TargetNamedStream final : public Stream {
public:
    TargetNamedStream(std::unique_ptr<Stream> inner, std::string target)
        : inner_(std::move(inner)), target_(std::move(target)) {}
    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        return inner_->Read(buffer, size, deadline);
    }
    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        inner_->Write(data, size, deadline);
    }
    const std::string& PeerName() const override { return target_; }

private:
    std::unique_ptr<Stream> inner_;
    std::string target_;
};

// The TLS session key of this target (the TLS backend adds the SNI name).
TlsSessionKey SessionKey(const Exchange& exchange, const Url& url) {
    TlsSessionKey key;
    key.host = url.host;
    key.port = url.port;
    key.verify = exchange.verified_only;
    key.ca_file = exchange.tls.ca_file;
    key.route = ProxyRoute(exchange.proxy);
    return key;
}

// TLS, request and response on an open connection; closes it on return.
Response Converse(const Exchange& exchange, const Request& request, std::unique_ptr<Stream> stream,
                  const Deadline& deadline) {
    const Url& url = request.url;
    const std::string peer = url.Authority();
    const Target target{url.host, url.port, url.https};
    if (url.https) {
        if (stream->PeerName() != peer) stream = std::make_unique<TargetNamedStream>(std::move(stream), peer);
        TlsOptions tls = exchange.tls;
        if (exchange.resume_tls) tls.session_key = SessionKey(exchange, url);
        stream = Stage(deadline, "in the TLS handshake with", peer, [&] {
            return StartTls(std::move(stream), url.host, tls, deadline, exchange.accept_certificate);
        });
    }

    RequestLine line{request.method, url.target, request.version, url.HostHeader()};
    HeaderList headers = request.headers;
    if (UsesAbsoluteForm(exchange.proxy, target)) {
        line.target = url.Text();
        if (const std::string auth = ProxyAuthorization(exchange.proxy); !auth.empty()) {
            headers.emplace_back("Proxy-Authorization", auth);
        }
    }
    const std::string wire = WriteRequest(line, headers, request.body);
    Stage(deadline, "sending the request to", peer,
          [&] { stream->Write(wire.data(), wire.size(), deadline); });

    Response response = Stage(deadline, "waiting for the response from", peer,
                              [&] { return ReadResponse(*stream, peer, deadline); });
    CheckRelayAnswer(exchange.proxy, target, response.status, response.reason, response.Header("Via") != nullptr);
    return response;
}

}  // namespace

Response Perform(const Exchange& exchange, const Request& request, const Deadline& deadline) {
    const Url& url = request.url;
    const Target target{url.host, url.port, url.https};

    std::unique_ptr<Stream> stream = ConnectThrough(exchange.proxy, target, deadline);
    try {
        Response response = Converse(exchange, request, std::move(stream), deadline);
        if (exchange.connection_closed) exchange.connection_closed(0, u"");
        return response;
    } catch (const Error& e) {
        if (exchange.connection_closed) exchange.connection_closed(e.number(), e.description());
        throw;
    }
}

}  // namespace orbenix::http
