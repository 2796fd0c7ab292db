#pragma once
// The exporter's HTTP/1.1 front, event-driven over Boost.Asio: it accepts
// connections, reads each request within the connection limits, hands it to
// a handler, and writes the answer the handler gives, which may come later
// from another thread. No connection holds a thread while it is read or
// written, so a slow or idle client costs a socket and a little memory only.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace boost::asio::ssl {
class context;
}

namespace orbenix::exporter {

class Counters;

struct ConnectionLimits {
    // The whole request head must arrive within this, counted from the
    // connection's start (TLS handshake included) or from the last answer.
    std::chrono::milliseconds request_head{std::chrono::seconds(10)};
    // After an answer, the next request's first byte must come within this.
    std::chrono::milliseconds idle{std::chrono::seconds(5)};
    // An answer must be written within this, or the connection closes.
    std::chrono::milliseconds write{std::chrono::seconds(10)};
    std::size_t max_head_bytes = 8192;  // more answers 431
    std::size_t max_body_bytes = 4096;  // more answers 413
    int max_connections = 10000;        // past it, new connections close at once
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string target;
    HeaderList headers;
    std::string body;

    // The first header so named (case-insensitive), nullopt when none is.
    std::optional<std::string_view> Header(std::string_view name) const;
};

struct HttpAnswer {
    int status = 200;
    std::string content_type;
    std::string body;
    HeaderList headers;
};

// Called once, from any thread, with the request's answer.
using Reply = std::function<void(HttpAnswer)>;

class FrontHandler {
public:
    virtual ~FrontHandler() = default;
    virtual void Handle(HttpRequest request, Reply reply) = 0;
    // The answer to a request the front refuses itself (400, 413, 431).
    virtual HttpAnswer Refused(int status) = 0;
    // Read for every new connection, so a reload takes effect for the next ones.
    virtual ConnectionLimits Limits() = 0;
    // The TLS context for a new connection; null serves plain HTTP.
    virtual std::shared_ptr<boost::asio::ssl::context> Tls() = 0;
};

class HttpFront {
public:
    HttpFront(FrontHandler& handler, Counters& counters, int io_threads);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Binds HOST:PORT: the port (the one chosen for port 0), or what failed.
    std::variant<int, std::string> Bind(const std::string& host, int port);
    // Answers until Stop(); returns once every answer in flight is written.
    void Run();
    // Stops taking connections and closes the idle ones; any thread.
    void Stop();

    struct Impl;  // shared with the connections, which may outlive a Stop()

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace orbenix::exporter
