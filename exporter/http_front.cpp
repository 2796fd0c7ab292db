#include "exporter/http_front.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <atomic>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "exporter/counters.h"

namespace orbenix::exporter {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// How long an accept waits after the process ran out of file descriptors.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(50);
// How long a TLS close_notify may take before the socket just closes.
constexpr auto kTlsShutdownTime = std::chrono::seconds(1);

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string_view> HttpRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (SameLetters(key, name)) return std::string_view(value);
    }
    return std::nullopt;
}

// What every session shares with the front: the handler, the counters,
// whether the front is stopping, and the sessions open now (so Stop can close
// the idle ones).
class SessionBase {
public:
    virtual ~SessionBase() = default;
    // Closes the connection if it waits for a request; a busy one closes after its answer.
    virtual void StopWhenIdle() = 0;
};

struct HttpFront::Impl : std::enable_shared_from_this<HttpFront::Impl> {
    Impl(FrontHandler& front_handler, Counters& front_counters, int threads)
        : handler(front_handler), counters(front_counters), io(threads), io_threads(threads), acceptor(io),
          backoff(io) {}

    void Accept();
    void OnAccept(beast::error_code error, tcp::socket socket);

    void Register(SessionBase* session, std::weak_ptr<SessionBase> weak) {
        std::lock_guard lock(sessions_mutex);
        sessions.emplace(session, std::move(weak));
    }
    void Unregister(SessionBase* session) {
        {
            std::lock_guard lock(sessions_mutex);
            sessions.erase(session);
        }
        counters.ConnectionClosed();
    }

    FrontHandler& handler;
    Counters& counters;
    net::io_context io;
    int io_threads;
    tcp::acceptor acceptor;
    net::steady_timer backoff;
    std::atomic<bool> stopping{false};
    std::mutex sessions_mutex;
    std::unordered_map<SessionBase*, std::weak_ptr<SessionBase>> sessions;
};

namespace {

// One connection: read a request, let the handler answer, write the answer,
// then wait for the next one, each step within its limit. `Derived` gives
// stream() and the TLS or plain start and close (Beast's flex-server shape).
template <class Derived>
class Session : public SessionBase {
public:
    Session(std::shared_ptr<HttpFront::Impl> front, ConnectionLimits limits)
        : front_(std::move(front)), limits_(limits), head_start_(Clock::now()) {}

    ~Session() override { front_->Unregister(this); }

    void StopWhenIdle() override {
        net::post(Self().stream().get_executor(), [self = Self().shared_from_this()] {
            if (!self->busy_) self->Self().Abort();
        });
    }

protected:
    Derived& Self() { return static_cast<Derived&>(*this); }
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(Self().stream()); }

    // The first request: the head deadline counts from the connection's start.
    void ReadRequest() {
        if (front_->stopping) return Self().Close();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(limits_.max_head_bytes));
        parser_->body_limit(limits_.max_body_bytes);
        Lowest().expires_at(head_start_ + limits_.request_head);
        http::async_read(Self().stream(), buffer_, *parser_,
                         beast::bind_front_handler(&Session::OnRead, Self().shared_from_this()));
    }

private:
    // After an answer: the next request's first byte within the idle time,
    // its whole head within the head deadline, both counted from the answer.
    void AwaitNextRequest() {
        head_start_ = Clock::now();
        if (front_->stopping) return Self().Close();
        if (buffer_.size() > 0) return ReadRequest();  // the client sent it already (pipelining)
        Lowest().expires_at(head_start_ + std::min(limits_.idle, limits_.request_head));
        Self().stream().async_read_some(
            buffer_.prepare(1024), [self = Self().shared_from_this()](beast::error_code error, std::size_t got) {
                if (error) return self->Self().Abort();
                self->buffer_.commit(got);
                self->ReadRequest();
            });
    }

    void OnRead(beast::error_code error, std::size_t) {
        if (error == http::error::header_limit) return Refuse(431);
        if (error == http::error::body_limit) return Refuse(413);
        if (error && error.category() == http::make_error_code(http::error::bad_target).category() &&
            error != http::error::end_of_stream && error != http::error::partial_message) {
            return Refuse(400);  // a head that is no HTTP/1.x
        }
        if (error) return Self().Abort();  // closed, reset or past its deadline

        busy_ = true;
        Lowest().expires_never();  // the handler may take a probe's time
        http::request<http::string_body> message = parser_->release();
        keep_alive_ = message.keep_alive();
        head_only_ = message.method() == http::verb::head;
        version_ = message.version();
        HttpRequest request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        for (const auto& field : message) {
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        }
        request.body = std::move(message.body());

        // The answer may come from a probe's thread: hold the front's work
        // until it is back on this connection's strand.
        auto work = net::make_work_guard(front_->io);
        front_->handler.Handle(std::move(request), [self = Self().shared_from_this(),
                                                    work = std::move(work)](HttpAnswer answer) {
            net::post(self->Self().stream().get_executor(),
                      [self, answer = std::move(answer)]() mutable { self->Write(std::move(answer)); });
        });
    }

    void Refuse(int status) {
        busy_ = true;
        keep_alive_ = false;
        head_only_ = false;
        version_ = 11;
        Write(front_->handler.Refused(status));
    }

    void Write(HttpAnswer answer) {
        response_.emplace(static_cast<http::status>(answer.status), version_);
        if (!answer.content_type.empty()) response_->set(http::field::content_type, answer.content_type);
        for (const auto& [name, value] : answer.headers) response_->set(name, value);
        response_->body() = std::move(answer.body);
        response_->keep_alive(keep_alive_ && !front_->stopping);
        response_->prepare_payload();
        if (head_only_) response_->body().clear();  // Content-Length stays that of GET
        Lowest().expires_after(limits_.write);
        http::async_write(Self().stream(), *response_,
                          beast::bind_front_handler(&Session::OnWrite, Self().shared_from_this()));
    }

    void OnWrite(beast::error_code error, std::size_t) {
        busy_ = false;
        const bool again = response_->keep_alive();
        response_.reset();
        if (error) return Self().Abort();
        if (!again) return Self().Close();
        AwaitNextRequest();
    }

    std::shared_ptr<HttpFront::Impl> front_;
    ConnectionLimits limits_;
    Clock::time_point head_start_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    bool busy_ = false;  // between a read request and its written answer
    bool keep_alive_ = true;
    bool head_only_ = false;
    unsigned version_ = 11;

protected:
    const ConnectionLimits& limits() const { return limits_; }
    Clock::time_point started() const { return head_start_; }
};

class PlainSession : public Session<PlainSession>, public std::enable_shared_from_this<PlainSession> {
public:
    PlainSession(tcp::socket&& socket, std::shared_ptr<HttpFront::Impl> front, ConnectionLimits limits)
        : Session(std::move(front), limits), stream_(std::move(socket)) {}

    void Start() { ReadRequest(); }
    beast::tcp_stream& stream() { return stream_; }

    // After the last answer: the client reads it all, then sees the end.
    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.close();
    }
    void Abort() { stream_.close(); }

private:
    beast::tcp_stream stream_;
};

class TlsSession : public Session<TlsSession>, public std::enable_shared_from_this<TlsSession> {
public:
    TlsSession(tcp::socket&& socket, std::shared_ptr<net::ssl::context> context,
               std::shared_ptr<HttpFront::Impl> front, ConnectionLimits limits)
        : Session(std::move(front), limits), context_(std::move(context)), stream_(std::move(socket), *context_) {}

    // The handshake is part of the first request's head deadline.
    void Start() {
        Lowest().expires_at(started() + limits().request_head);
        stream_.async_handshake(net::ssl::stream_base::server,
                                [self = shared_from_this()](beast::error_code error) {
                                    if (error) return self->Abort();
                                    self->handshaken_ = true;
                                    self->ReadRequest();
                                });
    }
    beast::ssl_stream<beast::tcp_stream>& stream() { return stream_; }

    // After the last answer: close_notify, briefly waited for.
    void Close() {
        if (!handshaken_ || closing_) return Abort();
        closing_ = true;
        Lowest().expires_after(kTlsShutdownTime);
        stream_.async_shutdown([self = shared_from_this()](beast::error_code) { self->Abort(); });
    }
    void Abort() { Lowest().close(); }

private:

    std::shared_ptr<net::ssl::context> context_;  // outlives the stream that uses it
    beast::ssl_stream<beast::tcp_stream> stream_;
    bool handshaken_ = false;
    bool closing_ = false;
};

template <class S, class... Args>
void StartSession(const std::shared_ptr<HttpFront::Impl>& front, Args&&... args) {
    auto session = std::make_shared<S>(std::forward<Args>(args)...);
    front->Register(session.get(), session);
    session->Start();
}

}  // namespace

void HttpFront::Impl::Accept() {
    acceptor.async_accept(net::make_strand(io), beast::bind_front_handler(&Impl::OnAccept, shared_from_this()));
}

void HttpFront::Impl::OnAccept(beast::error_code error, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (error) {
        // Out of file descriptors (or another passing failure): wait a moment
        // rather than spin, and take connections again.
        counters.ConnectionRejected("accept_failed");
        backoff.expires_after(kAcceptBackoff);
        backoff.async_wait([self = shared_from_this()](beast::error_code) {
            if (!self->stopping) self->Accept();
        });
        return;
    }
    const ConnectionLimits limits = handler.Limits();
    if (counters.ConnectionsOpen() >= limits.max_connections) {
        counters.ConnectionRejected("limit");
        beast::error_code ignored;
        socket.close(ignored);
    } else {
        counters.ConnectionOpened();
        auto self = shared_from_this();
        if (auto context = handler.Tls()) {
            StartSession<TlsSession>(self, std::move(socket), std::move(context), self, limits);
        } else {
            StartSession<PlainSession>(self, std::move(socket), self, limits);
        }
    }
    Accept();
}

HttpFront::HttpFront(FrontHandler& handler, Counters& counters, int io_threads)
    : impl_(std::make_shared<Impl>(handler, counters, io_threads < 1 ? 1 : io_threads)) {}

HttpFront::~HttpFront() = default;

std::variant<int, std::string> HttpFront::Bind(const std::string& host, int port) {
    const std::string where = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                              std::to_string(port);
    const std::string refused = "cannot listen on " + where + " (address in use, not this machine's, or not allowed)";
    beast::error_code error;
    tcp::resolver resolver(impl_->io);
    const auto endpoints = resolver.resolve(host, std::to_string(port),
                                            tcp::resolver::passive | tcp::resolver::numeric_service, error);
    if (error || endpoints.empty()) return refused;
    for (const auto& entry : endpoints) {
        tcp::acceptor& acceptor = impl_->acceptor;
        beast::error_code step;
        acceptor.open(entry.endpoint().protocol(), step);
        if (!step) acceptor.set_option(net::socket_base::reuse_address(true), step);
        if (!step) acceptor.bind(entry.endpoint(), step);
        if (!step) acceptor.listen(net::socket_base::max_listen_connections, step);
        if (!step) return static_cast<int>(acceptor.local_endpoint().port());
        beast::error_code ignored;
        acceptor.close(ignored);
    }
    return refused;
}

void HttpFront::Run() {
    impl_->Accept();
    std::vector<std::thread> others;
    for (int i = 1; i < impl_->io_threads; ++i) others.emplace_back([this] { impl_->io.run(); });
    impl_->io.run();
    for (std::thread& thread : others) thread.join();
}

void HttpFront::Stop() {
    net::post(impl_->io, [impl = impl_] {
        impl->stopping = true;
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        impl->backoff.cancel();
        std::vector<std::shared_ptr<SessionBase>> open;
        {
            std::lock_guard lock(impl->sessions_mutex);
            for (auto& [raw, weak] : impl->sessions) {
                if (auto session = weak.lock()) open.push_back(std::move(session));
            }
        }
        for (const auto& session : open) session->StopWhenIdle();
    });
}

}  // namespace orbenix::exporter
