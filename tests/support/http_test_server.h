#pragma once
// A scripted HTTP server on 127.0.0.1, running as threads inside the test
// program (so it also serves the Windows tests under Wine). For each
// connection it reads one request, records it, asks the handler what to do
// and plays that: any bytes, pauses, a stall until the server stops, then
// close (or reset).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/loopback_socket.h"
#include "tests/support/test_tls_server.h"

namespace orbenix::test {

struct RecordedRequest {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string raw;  // everything received, as received

    // First value of a header (case-insensitive), "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct Reply {
    struct Step {
        std::string bytes;
        int pause_ms = 0;  // after sending; -1 stalls until the server stops
    };
    std::vector<Step> steps;
    bool reset = false;         // end with a TCP reset instead of a close
    bool close_notify = true;   // TLS: end with close_notify (false: just close the socket)

    Reply& Send(std::string bytes, int pause_ms = 0);
    Reply& Stall();  // hold the connection open until the server stops

    // "HTTP/1.1 <status> <reason>" with Content-Length and `headers`.
    static Reply Status(int status, const std::string& body = "",
                        const std::vector<std::pair<std::string, std::string>>& headers = {});
    // A complete chunked response whose chunks are `chunks`.
    static Reply Chunked(const std::vector<std::string>& chunks);
    // A body delimited by closing the connection.
    static Reply UntilClose(const std::string& body);
    static Reply Redirect(int status, const std::string& location);
    static Reply Raw(std::string bytes) { return Reply().Send(std::move(bytes)); }
};

class HttpTestServer {
public:
    using Handler = std::function<Reply(const RecordedRequest&)>;
    struct Options {
        // HTTPS with a self-signed certificate for localhost and 127.0.0.1
        // (where TlsAvailable(); elsewhere use nginx).
        bool tls = false;
    };
    explicit HttpTestServer(Handler handler) : HttpTestServer(std::move(handler), Options{}) {}
    HttpTestServer(Handler handler, Options options);
    static bool TlsAvailable();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    // "http://127.0.0.1:port/path" ("https://" with TLS).
    std::string Url(const std::string& path = "/") const;
    // Requests received so far, in order of arrival.
    std::vector<RecordedRequest> Requests() const;
    // Ends stalls and the accept loop; joins every thread.
    void Stop();

private:
    void AcceptLoop();
    void Serve(LoopbackConnection connection);
    bool Pause(int ms);  // false when stopping

    Handler handler_;
    std::unique_ptr<TestTlsContext> tls_;
    LoopbackListener listener_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::condition_variable stop_signal_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// The reason phrase used by Reply::Status.
std::string ReasonPhrase(int status);

}  // namespace orbenix::test
