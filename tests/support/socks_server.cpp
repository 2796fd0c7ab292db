// The test servers' threads and the relaying SOCKS script.
#include "tests/support/socks_server.h"

#include <chrono>
#include <optional>


namespace orbenix::test {

constexpr int kStepMs = 5000;  // the longest any scripted read waits

ScriptedServer::ScriptedServer(Script script) : script_(std::move(script)) {
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() { Stop(); }

void ScriptedServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stop_signal_.notify_all();
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& t : connections_) {
        if (t.joinable()) t.join();
    }
}

std::vector<std::string> ScriptedServer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void ScriptedServer::WaitForStop(int ms) {
    std::unique_lock lock(mutex_);
    stop_signal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void ScriptedServer::AcceptLoop() {
    while (true) {
        // Once stopping, connections already waiting are still served.
        auto client = listener_.Accept(stopping_ ? 0 : 50);
        if (!client) {
            if (stopping_) return;
            continue;
        }
        std::size_t slot = 0;
        {
            std::lock_guard lock(mutex_);
            slot = received_.size();
            received_.emplace_back();
        }
        ++accepted_;
        connections_.emplace_back([this, slot, socket = std::move(*client)]() mutable {
            script_(socket, *this);
            std::lock_guard lock(mutex_);
            received_[slot] = socket.received();
        });
    }
}

namespace {

// Loopback targets only: test traffic never leaves the machine.
std::string LoopbackAddress(const std::string& host) {
    if (host == "localhost" || host == "127.0.0.1") return "127.0.0.1";
    if (host == "::1") return "::1";
    return {};
}

std::uint16_t PortOf(const std::string& two) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(two[0]) << 8 | static_cast<std::uint8_t>(two[1]));
}

std::string ReadNulTerminated(TestSocket& client) {
    std::string text = client.ReadUntil(std::string_view("\0", 1), 1024, kStepMs);
    if (!text.empty()) text.pop_back();
    return text;
}

void ServeSocks4(TestSocket& client, const SocksOptions& options) {
    std::string head;
    if (!client.ReadExact(head, 7, kStepMs)) return;  // CD, DSTPORT, DSTIP
    const std::string user = ReadNulTerminated(client);
    const auto ip = [&](int i) { return static_cast<unsigned>(static_cast<std::uint8_t>(head[3 + i])); };
    std::string host = std::to_string(ip(0)) + "." + std::to_string(ip(1)) + "." + std::to_string(ip(2)) + "." +
                       std::to_string(ip(3));
    if (ip(0) == 0 && ip(1) == 0 && ip(2) == 0 && ip(3) != 0) host = ReadNulTerminated(client);  // SOCKS4a
    const bool user_ok = options.user.empty() || user == options.user;
    const std::string address = LoopbackAddress(host);
    std::optional<TestSocket> target;
    if (head[0] == 1 && user_ok && !address.empty()) target = ConnectLoopback(address, PortOf(head.substr(1, 2)));
    const char code = target ? 90 : 91;
    if (!client.Write(std::string{0, code} + head.substr(1, 6)) || !target) return;
    Relay(client, *target, kStepMs);
}

void ServeSocks5(TestSocket& client, const SocksOptions& options) {
    std::string count, methods;
    if (!client.ReadExact(count, 1, kStepMs) || !client.ReadExact(methods, static_cast<std::uint8_t>(count[0]), kStepMs)) {
        return;
    }
    const char wanted = options.socks5_require_auth ? 2 : 0;
    const bool offered = methods.find(wanted) != std::string::npos;
    if (!client.Write(std::string{5, offered ? wanted : '\xff'}) || !offered) return;
    if (wanted == 2) {
        std::string version, length, user, password;
        if (!client.ReadExact(version, 1, kStepMs) || !client.ReadExact(length, 1, kStepMs) ||
            !client.ReadExact(user, static_cast<std::uint8_t>(length[0]), kStepMs) ||
            !client.ReadExact(length, 1, kStepMs) ||
            !client.ReadExact(password, static_cast<std::uint8_t>(length[0]), kStepMs)) {
            return;
        }
        const bool ok = user == options.user && password == options.password;
        if (!client.Write(std::string{1, ok ? '\0' : '\1'}) || !ok) return;
    }
    std::string request, address_bytes, port;
    if (!client.ReadExact(request, 4, kStepMs)) return;
    std::string host;
    switch (request[3]) {
    case 1:
        if (!client.ReadExact(address_bytes, 4, kStepMs)) return;
        for (int i = 0; i < 4; ++i) {
            if (i > 0) host += '.';
            host += std::to_string(static_cast<unsigned>(static_cast<std::uint8_t>(address_bytes[i])));
        }
        break;
    case 3: {
        std::string length;
        if (!client.ReadExact(length, 1, kStepMs) ||
            !client.ReadExact(host, static_cast<std::uint8_t>(length[0]), kStepMs)) {
            return;
        }
        break;
    }
    case 4: {
        if (!client.ReadExact(address_bytes, 16, kStepMs)) return;
        static const std::string loopback6(15, '\0');
        host = address_bytes == loopback6 + '\1' ? "::1" : "other";
        break;
    }
    default: return;
    }
    if (!client.ReadExact(port, 2, kStepMs)) return;
    const std::string address = LoopbackAddress(host);
    std::optional<TestSocket> target;
    if (request[1] == 1 && !address.empty()) target = ConnectLoopback(address, PortOf(port));
    const char reply = target ? 0 : (address.empty() ? 2 : 5);
    if (!client.Write(std::string{5, reply, 0, 1, 0, 0, 0, 0, 0, 0}) || !target) return;
    Relay(client, *target, kStepMs);
}

}  // namespace

ScriptedServer::Script SocksRelayScript(SocksOptions options) {
    return [options](TestSocket& client, ScriptedServer&) {
        std::string version;
        if (!client.ReadExact(version, 1, kStepMs)) return;
        if (version[0] == 4) ServeSocks4(client, options);
        if (version[0] == 5) ServeSocks5(client, options);
    };
}

ScriptedServer::Script HttpAnswerScript(std::string body) {
    return [body](TestSocket& client, ScriptedServer&) {
        const std::string head = client.ReadUntil("\r\n\r\n", 64 * 1024, kStepMs);
        if (head.empty()) return;
        std::size_t length = 0;
        for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
            const auto at = head.find(name);
            if (at != std::string::npos) length = std::stoul(head.substr(at + std::string(name).size()));
        }
        std::string content;
        if (length > 0 && !client.ReadExact(content, length, kStepMs)) return;
        client.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\nConnection: close\r\n\r\n" + body);
    };
}

}  // namespace orbenix::test
