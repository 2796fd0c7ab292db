// The Winsock transport against real sockets on the loopback interface.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/stream.h"
#include "engine/http/winsock_use_win32.h"

namespace orbenix::http {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WinsockUser {
public:
    WinsockUser() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};

class Sock {
public:
    explicit Sock(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~Sock() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    Sock(const Sock&) = delete;
    Sock& operator=(const Sock&) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

// A listening socket on a free loopback port; `family` AF_INET or AF_INET6.
class Listener {
public:
    explicit Listener(int family, int backlog = 8) : socket_(::socket(family, SOCK_STREAM, 0)) {
        if (socket_.get() == INVALID_SOCKET) return;
        sockaddr_storage address{};
        int length = 0;
        if (family == AF_INET) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        } else {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        }
        if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return;
        if (listen(socket_.get(), backlog) != 0) return;
        getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                        : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    }
    bool ok() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }
    SOCKET get() const { return socket_.get(); }

    // Accepts one connection within two seconds.
    SOCKET Accept() const {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_.get(), &ready);
        timeval timeout{2, 0};
        if (select(0, &ready, nullptr, nullptr, &timeout) != 1) return INVALID_SOCKET;
        return accept(socket_.get(), nullptr, nullptr);
    }

private:
    Sock socket_;
    std::uint16_t port_ = 0;
};

// Runs `action`, expects a numbered Error; returns it.
template <typename Action>
Error Failure(Action action) {
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error raised";
    return Error(0, u"");
}

std::string Text(const std::u16string& text) { return Utf8FromText(text); }

TEST(TransportWin32, ExchangesBytesWithIpv4AndIpv6Peers) {
    WinsockUser winsock;
    struct Case {
        int family;
        const char* host;
    };
    const Case cases[] = {{AF_INET, "127.0.0.1"}, {AF_INET6, "::1"}, {AF_INET, "localhost"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        Listener listener(c.family);
        if (!listener.ok()) {
            ASSERT_EQ(c.family, AF_INET6) << "no IPv4 loopback listener";
            continue;  // no IPv6 loopback here
        }
        std::thread peer([&] {
            Sock conn(listener.Accept());
            char buffer[64];
            const int got = recv(conn.get(), buffer, sizeof buffer, 0);
            if (got > 0) send(conn.get(), buffer, got, 0);
        });
        const Deadline deadline(5s);
        auto stream = ConnectTcp(c.host, listener.port(), deadline);
        stream->Write("ping", 4, deadline);
        std::string echoed;
        char buffer[16];
        for (int i = 0; i < 10 && echoed.size() < 4; ++i) {
            const std::size_t got = stream->Read(buffer, sizeof buffer, deadline);
            if (got == 0) break;
            echoed.append(buffer, got);
        }
        peer.join();
        EXPECT_EQ(echoed, "ping");
        char rest[4];
        EXPECT_EQ(stream->Read(rest, sizeof rest, deadline), 0u) << "peer closed: end of stream";
        const std::string expected_peer =
            std::string(c.family == AF_INET6 ? "[::1]" : c.host) + ":" +
            std::to_string(listener.port());
        EXPECT_EQ(stream->PeerName(), expected_peer);
    }
}

// A stream connected to a listener on 127.0.0.1, and the listener's end.
struct ConnectedPair {
    explicit ConnectedPair(const Deadline& deadline)
        : stream(ConnectTcp("127.0.0.1", listener.port(), deadline)), peer(listener.Accept()) {}
    WinsockUser winsock;
    Listener listener{AF_INET};
    std::unique_ptr<Stream> stream;
    Sock peer;
};

// A socket that a child process of the host inherits keeps the connection
// open after the check has closed it.
TEST(TransportWin32, SocketsAreNotInheritedByChildProcesses) {
    const ConnectedPair pair(Deadline(5s));
    sockaddr_in client{};
    int length = sizeof client;
    ASSERT_EQ(getpeername(pair.peer.get(), reinterpret_cast<sockaddr*>(&client), &length), 0);
    // The stream keeps its socket to itself: find it among the process's
    // handles by its local port.
    SOCKET found = INVALID_SOCKET;
    for (UINT_PTR value = 4; value < 65536 && found == INVALID_SOCKET; value += 4) {
        sockaddr_in local{};
        int size = sizeof local;
        if (getsockname(static_cast<SOCKET>(value), reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
            local.sin_family == AF_INET && local.sin_port == client.sin_port) {
            found = static_cast<SOCKET>(value);
        }
    }
    ASSERT_NE(found, INVALID_SOCKET);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(found), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

// How many uses Winsock counts now: ends them one by one, then starts as
// many again (bounded, in case it never says it is stopped). Ending the
// last closes every socket of the process.
int WinsockUsesCounted() {
    int uses = 0;
    while (uses < 100000 && WSACleanup() == 0) ++uses;
    WSADATA data{};
    for (int i = 0; i < uses; ++i) WSAStartup(MAKEWORD(2, 2), &data);
    return uses;
}

// Checks on several threads start and stop Winsock at once; the count of
// uses must come out right, or the last WSACleanup comes early and closes
// every socket of the process, another check's too.
TEST(TransportWin32, UsesStartedAndEndedOnManyThreadsKeepTheCount) {
    WinsockUse held;
    ASSERT_TRUE(held.started());
    // Counting ends Winsock for a moment, which closes every socket: it runs
    // before the socket is made and after it was checked.
    const int before = WinsockUsesCounted();
    Listener listener(AF_INET);
    ASSERT_NE(listener.port(), 0);
    std::atomic<int> waiting{4};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&waiting] {
            // All start together, so that the uses overlap.
            for (--waiting; waiting > 0;) std::this_thread::yield();
            for (int i = 0; i < 100000; ++i) WinsockUse use;
        });
    }
    for (std::thread& thread : threads) thread.join();
    int type = 0;
    int length = sizeof type;
    EXPECT_EQ(getsockopt(listener.get(), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length), 0)
        << "error " << WSAGetLastError();
    EXPECT_EQ(WinsockUsesCounted(), before);
}

TEST(TransportWin32, ClosedPortIsReportedAsRefused) {
    WinsockUser winsock;
    std::uint16_t port = 0;
    {
        Listener probe(AF_INET);
        ASSERT_TRUE(probe.ok());
        port = probe.port();
    }
    const Error error = Failure([&] { ConnectTcp("127.0.0.1", port, Deadline(5s)); });
    EXPECT_EQ(error.number(), error_numbers::ConnectionRefused);
    EXPECT_EQ(Text(error.description()), "Connection refused by 127.0.0.1:" + std::to_string(port));
}

TEST(TransportWin32, UnknownHostFailsToResolve) {
    const Error error = Failure([&] { ConnectTcp("host.invalid", 80, Deadline(10s)); });
    EXPECT_EQ(error.number(), error_numbers::ResolveFailed);
    EXPECT_EQ(Text(error.description()).rfind("Cannot resolve host name host.invalid: ", 0), 0u)
        << Text(error.description());
}

TEST(TransportWin32, StalledPeerEndsAtTheDeadline) {
    const Deadline deadline(400ms);
    const ConnectedPair pair(deadline);  // accepted, never answered
    const auto start = Clock::now();
    char buffer[8];
    const Error error = Failure([&] { pair.stream->Read(buffer, sizeof buffer, deadline); });
    const auto waited = Clock::now() - start;
    EXPECT_EQ(error.number(), error_numbers::TimedOut);
    EXPECT_EQ(Text(error.description()),
              "Timed out after 1 s reading from 127.0.0.1:" + std::to_string(pair.listener.port()));
    EXPECT_LT(waited, 3s);
}

TEST(TransportWin32, WriteToAPeerThatNeverReadsEndsAtTheDeadline) {
    const Deadline deadline(700ms);
    const ConnectedPair pair(deadline);
    const std::vector<char> block(64 * 1024 * 1024, 'x');  // more than both socket buffers
    const auto start = Clock::now();
    const Error error = Failure([&] { pair.stream->Write(block.data(), block.size(), deadline); });
    EXPECT_EQ(error.number(), error_numbers::TimedOut);
    EXPECT_LT(Clock::now() - start, 5s);
}

}  // namespace
}  // namespace orbenix::http
