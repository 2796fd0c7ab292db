#include "tests/support/http_test_server.h"

#include <array>
#include <chrono>
#include <stdexcept>

namespace orbenix::test {
namespace {

constexpr int kReadTimeoutMs = 10000;
constexpr std::size_t kMaxRequestBytes = 4 << 20;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Parses what arrived; false until the header and Content-Length body are in.
bool ParseRequest(const std::string& raw, RecordedRequest& out) {
    const auto end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    out = RecordedRequest{};
    out.raw = raw;
    std::size_t line_end = raw.find("\r\n");
    const std::string first = raw.substr(0, line_end);
    const auto sp1 = first.find(' '), sp2 = first.rfind(' ');
    if (sp1 != std::string::npos && sp2 != sp1) {
        out.method = first.substr(0, sp1);
        out.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
        out.version = first.substr(sp2 + 1);
    }
    std::size_t pos = line_end + 2;
    while (pos < end) {
        line_end = raw.find("\r\n", pos);
        const std::string line = raw.substr(pos, line_end - pos);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            out.headers.emplace_back(line.substr(0, colon), value);
        }
        pos = line_end + 2;
    }
    const std::size_t length = out.HasHeader("Content-Length") ? std::stoul(out.Header("Content-Length")) : 0;
    if (raw.size() < end + 4 + length) return false;
    out.body = raw.substr(end + 4, length);
    return true;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (SameName(key, name)) return value;
    }
    return {};
}

bool RecordedRequest::HasHeader(const std::string& name) const {
    for (const auto& header : headers) {
        if (SameName(header.first, name)) return true;
    }
    return false;
}

std::string ReasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

Reply& Reply::Send(std::string bytes, int pause_ms) {
    steps.push_back({std::move(bytes), pause_ms});
    return *this;
}

Reply& Reply::Stall() { return Send("", -1); }

Reply Reply::Status(int status, const std::string& body,
                    const std::vector<std::pair<std::string, std::string>>& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    return Raw(head + body);
}

Reply Reply::Chunked(const std::vector<std::string>& chunks) {
    static const char hex[] = "0123456789abcdef";
    std::string text = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const std::string& chunk : chunks) {
        std::string size;
        for (std::size_t n = chunk.size(); n > 0; n /= 16) size.insert(size.begin(), hex[n % 16]);
        text += size + "\r\n" + chunk + "\r\n";
    }
    return Raw(text + "0\r\n\r\n");
}

Reply Reply::UntilClose(const std::string& body) { return Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body); }

Reply Reply::Redirect(int status, const std::string& location) {
    return Status(status, "moved", {{"Location", location}});
}

bool HttpTestServer::TlsAvailable() { return MakeTestTlsContext() != nullptr; }

HttpTestServer::HttpTestServer(Handler handler, Options options) : handler_(std::move(handler)) {
    if (options.tls) {
        tls_ = MakeTestTlsContext();
        if (!tls_) throw std::runtime_error("the scripted server offers no TLS on this platform");
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() { Stop(); }

std::string HttpTestServer::Url(const std::string& path) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port()) + path;
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::Stop() {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_.exchange(true)) return;
    }
    stop_signal_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& t : connections_) t.join();
    connections_.clear();
}

bool HttpTestServer::Pause(int ms) {
    std::unique_lock lock(mutex_);
    // A stall is bounded too: no test waits for it longer than a minute.
    const auto limit = std::chrono::milliseconds(ms < 0 ? 60000 : ms);
    return !stop_signal_.wait_for(lock, limit, [this] { return stopping_.load(); });
}

void HttpTestServer::AcceptLoop() {
    while (!stopping_) {
        auto connection = listener_.Accept(50);
        if (!connection) continue;
        const std::lock_guard lock(mutex_);
        connections_.emplace_back([this, c = std::move(*connection)]() mutable { Serve(std::move(c)); });
    }
}

void HttpTestServer::Serve(LoopbackConnection connection) {
    std::unique_ptr<TestTlsSession> tls;
    if (tls_) {
        tls = tls_->Accept(connection, kReadTimeoutMs);
        if (!tls) return;
    }
    auto read = [&](void* buffer, std::size_t size, int timeout_ms) {
        return tls ? tls->Read(buffer, size, timeout_ms) : connection.Read(buffer, size, timeout_ms);
    };
    auto write = [&](std::string_view bytes) { return tls ? tls->Write(bytes) : connection.Write(bytes); };
    std::string raw;
    RecordedRequest request;
    std::array<char, 16384> buffer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    while (!ParseRequest(raw, request)) {
        if (stopping_ || raw.size() > kMaxRequestBytes || std::chrono::steady_clock::now() > until) return;
        const std::size_t n = read(buffer.data(), buffer.size(), 50);
        raw.append(buffer.data(), n);
    }
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const Reply reply = handler_(request);
    for (const auto& step : reply.steps) {
        if (!step.bytes.empty() && !write(step.bytes)) return;
        if (step.pause_ms != 0 && !Pause(step.pause_ms)) return;
    }
    if (reply.reset) {
        connection.Reset();
    } else if (tls && reply.close_notify) {
        tls->Close();
    }
}

}  // namespace orbenix::test
