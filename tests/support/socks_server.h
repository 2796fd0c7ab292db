#pragma once
// Test servers on 127.0.0.1 as threads inside the test program: a scripted
// server (every accepted connection runs a script), a SOCKS4/4a/5 proxy of
// our own that really relays to loopback targets, and a plain HTTP answerer.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/socks_socket.h"

namespace orbenix::test {

class ScriptedServer {
public:
    using Script = std::function<void(TestSocket& client, ScriptedServer& server)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    // Ends the accept loop and joins every connection's script.
    void Stop();
    // What each finished connection received, in the order they were accepted
    // (complete after Stop).
    std::vector<std::string> Received() const;
    int Accepted() const { return accepted_.load(); }
    // For stalling scripts: returns after `ms` or as soon as Stop is called.
    void WaitForStop(int ms);

private:
    void AcceptLoop();

    Script script_;
    TestListener listener_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::condition_variable stop_signal_;
    std::vector<std::string> received_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

struct SocksOptions {
    bool socks5_require_auth = false;  // SOCKS5: insist on user name and password
    std::string user;
    std::string password;
};

// A SOCKS4, SOCKS4a and SOCKS5 proxy that connects to 127.0.0.1 / ::1 /
// "localhost" only, and relays.
ScriptedServer::Script SocksRelayScript(SocksOptions options);

// Answers one HTTP request with 200 and `body`, then closes.
ScriptedServer::Script HttpAnswerScript(std::string body);

}  // namespace orbenix::test
