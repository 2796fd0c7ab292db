// The Schannel backend against nginx on the loopback interface (started by
// tls_peers_win32.sh with a private CA, good, self-signed, expired and
// wrong-name certificates, servers limited to one TLS version, and servers
// that ask for a client certificate).
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/schannel_credential_choice.h"
#include "engine/http/stream.h"
#include "engine/http/tls.h"
#include "engine/http/windows_build_win32.h"

namespace orbenix::http {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kUntrustedRoot = static_cast<std::int32_t>(0x800B0109);
constexpr std::int32_t kExpired = static_cast<std::int32_t>(0x800B0101);
constexpr std::int32_t kNameMismatch = static_cast<std::int32_t>(0x800B010F);

std::string Text(const std::u16string& text) { return Utf8FromText(text); }

// The fixture's directory, its ports by name and its CA file.
class Peers {
public:
    Peers() {
        const char* dir = std::getenv("ORBENIX_TLS_PEERS");
        if (dir == nullptr) return;
        dir_ = dir;
        std::ifstream list(dir_ + "/ports");
        std::string name;
        int port = 0;
        while (list >> name >> port) ports_[name] = static_cast<std::uint16_t>(port);
    }
    bool ok() const { return ports_.size() >= 10; }
    std::uint16_t port(const std::string& name) const { return ports_.at(name); }
    std::string ca_file() const { return file("ca.pem"); }
    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    std::string contents(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

private:
    std::string dir_;
    std::map<std::string, std::uint16_t> ports_;
};

struct Exchange {
    std::optional<CertificateCheck> check;  // what the handler saw
    std::string body;
};

// GET or POST over TLS; the response body (after the header section).
Exchange Fetch(const std::string& host, std::uint16_t port, const std::string& ca_file,
               bool accept = true, const std::string& path = "/", std::size_t post_size = 0) {
    Exchange result;
    const Deadline deadline(20s);
    TlsOptions options;
    options.ca_file = ca_file;
    auto stream = StartTls(ConnectTcp(host, port, deadline), host, options, deadline,
                           [&](const CertificateCheck& check) {
                               result.check = check;
                               return accept;
                           });
    const std::string host_field = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::string request = (post_size > 0 ? "POST " : "GET ") + path +
                          " HTTP/1.1\r\nHost: " + host_field + "\r\nConnection: close\r\n";
    if (post_size > 0) request += "Content-Length: " + std::to_string(post_size) + "\r\n";
    request += "\r\n" + std::string(post_size, 'p');
    stream->Write(request.data(), request.size(), deadline);
    std::string response;
    char buffer[4096];
    for (int i = 0; i < 100000; ++i) {
        const std::size_t got = stream->Read(buffer, sizeof buffer, deadline);
        if (got == 0) break;
        response.append(buffer, got);
    }
    char more[16];
    EXPECT_EQ(stream->Read(more, sizeof more, deadline), 0u) << "end of stream stays the end";
    const std::size_t split = response.find("\r\n\r\n");
    EXPECT_NE(split, std::string::npos) << response.substr(0, 200);
    if (split != std::string::npos) result.body = response.substr(split + 4);
    return result;
}

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

#define REQUIRE_PEERS(peers)                                                         \
    if (!(peers).ok()) GTEST_SKIP() << "ORBENIX_TLS_PEERS not set (ctest fixture)"

TEST(TlsSchannel, VerifiedServerShowsItsCertificateAndSniOnlyForNames) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    struct Case {
        const char* host;
        const char* expected_body;
    };
    const Case cases[] = {
        {"localhost", "sni=localhost proto=TLSv1."},
        {"127.0.0.1", "sni= proto=TLSv1."},  // no SNI for an address, name still checked
        {"::1", "sni= proto=TLSv1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        const Exchange exchange = Fetch(c.host, peers.port("good"), peers.ca_file());
        ASSERT_TRUE(exchange.check.has_value());
        EXPECT_EQ(exchange.check->error_code, 0) << Text(exchange.check->error_text);
        EXPECT_EQ(exchange.body.rfind(c.expected_body, 0), 0u) << exchange.body;
        const Certificate& cert = exchange.check->certificate;
        EXPECT_EQ(Text(cert.subject), "CN=localhost");
        EXPECT_EQ(Text(cert.issuer), "CN=orbenix test CA");
        EXPECT_EQ(cert.der, peers.contents("good.der"));
        EXPECT_EQ("notBefore=" + Text(cert.not_before) + "\nnotAfter=" + Text(cert.not_after) +
                      "\n",
                  peers.contents("good.dates"));
    }
}

TEST(TlsSchannel, CertificateFaultsAreReportedAndTheHandlerDecides) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    constexpr std::int32_t kAnyChainError = -1;
    struct Case {
        const char* server;
        const char* host;
        const char* anchors;  // PEM file of the fixture, "" for the system's store
        std::int32_t error;
    };
    const Case cases[] = {
        {"selfsigned", "localhost", "ca.pem", kUntrustedRoot},
        {"expired", "localhost", "ca.pem", kExpired},
        {"wrongname", "localhost", "ca.pem", kNameMismatch},
        {"wrongname", "127.0.0.1", "ca.pem", kNameMismatch},
        {"good", "localhost", "", kAnyChainError},  // private CA, system store
        // The CA file's certificates are the only anchors.
        {"good", "localhost", "selfsigned.pem", kAnyChainError},
        {"selfsigned", "localhost", "selfsigned.pem", 0},
        {"selfsigned", "127.0.0.1", "selfsigned.pem", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " as " + c.host + " trusting " + c.anchors);
        const std::uint16_t port = peers.port(c.server);
        const std::string ca_file = *c.anchors ? peers.file(c.anchors) : "";

        const Exchange accepted = Fetch(c.host, port, ca_file, true);
        ASSERT_TRUE(accepted.check.has_value());
        const CertificateCheck& check = *accepted.check;
        if (c.error == kAnyChainError) {
            EXPECT_NE(check.error_code, 0);
        } else {
            EXPECT_EQ(check.error_code, c.error) << Text(check.error_text);
        }
        EXPECT_EQ(check.error_text.empty(), check.error_code == 0) << Text(check.error_text);
        EXPECT_EQ(accepted.body.rfind("sni=", 0), 0u) << "accepted: the exchange goes on";

        const Error refused = Failure([&] { Fetch(c.host, port, ca_file, false); });
        EXPECT_EQ(refused.number(), error_numbers::CertificateRejected);
        const std::string peer = std::string(c.host) + ":" + std::to_string(port);
        EXPECT_NE(Text(refused.description()).find(peer), std::string::npos)
            << Text(refused.description());
    }
}

// Wine 8's Schannel client offers TLS 1.2 at most, whatever build it reports.
bool RunsUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// TLS 1.3 where the credentials for this system's build offer it.
bool ExpectsTls13() { return OffersTls13(WindowsBuildNumber()) && !RunsUnderWine(); }

void ExpectHandshakeFailure(const Peers& peers, const char* server) {
    const std::uint16_t port = peers.port(server);
    const Error error = Failure([&] { Fetch("localhost", port, peers.ca_file()); });
    EXPECT_EQ(error.number(), error_numbers::TlsHandshakeFailed);
    const std::string prefix = "TLS handshake with localhost:" + std::to_string(port) + " failed: ";
    EXPECT_EQ(Text(error.description()).rfind(prefix, 0), 0u) << Text(error.description());
}

TEST(TlsSchannel, NegotiatesTls12AndTls13AndRefusesOlderVersions) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    EXPECT_EQ(Fetch("localhost", peers.port("tls12"), peers.ca_file()).body,
              "sni=localhost proto=TLSv1.2");
    SCOPED_TRACE("build " + std::to_string(WindowsBuildNumber()));
    if (ExpectsTls13()) {
        EXPECT_EQ(Fetch("localhost", peers.port("tls13"), peers.ca_file()).body,
                  "sni=localhost proto=TLSv1.3");
        EXPECT_EQ(Fetch("localhost", peers.port("good"), peers.ca_file()).body,
                  "sni=localhost proto=TLSv1.3");
    } else {
        ExpectHandshakeFailure(peers, "tls13");
    }
    ExpectHandshakeFailure(peers, "tls11");
}

// A server's CertificateRequest is answered without a certificate; the
// server decides, and no answer waits for the deadline.
TEST(TlsSchannel, ServerAskingForAClientCertificateIsAnsweredWithoutOne) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    EXPECT_EQ(Fetch("localhost", peers.port("clientcert_optional"), peers.ca_file()).body,
              "sni=localhost proto=TLSv1.2");

    auto start = Clock::now();
    const std::string refusal =
        Fetch("localhost", peers.port("clientcert_required"), peers.ca_file()).body;
    EXPECT_NE(refusal.find("No required SSL certificate was sent"), std::string::npos) << refusal;
    EXPECT_LT(Clock::now() - start, 1s);

    start = Clock::now();
    const std::uint16_t port = peers.port("clientcert_refused");
    const Error error = Failure([&] { Fetch("localhost", port, peers.ca_file()); });
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(error.number(), error_numbers::TlsHandshakeFailed);
    EXPECT_EQ(Text(error.description()).rfind("TLS handshake with localhost:" + std::to_string(port) +
                                                  " failed: the server requires a client certificate",
                                              0),
              0u)
        << Text(error.description());
}

TEST(TlsSchannel, LargeBodiesCrossManyRecordsBothWays) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    for (const char* server : {"tls12", "good"}) {
        SCOPED_TRACE(server);
        const std::string body = Fetch("localhost", peers.port(server), peers.ca_file(), true,
                                       "/big").body;
        ASSERT_EQ(body.size(), 1024u * 1024u);
        std::string line;
        for (int i = 0; i < 63; ++i) line += static_cast<char>('0' + i % 10);
        line += '\n';
        for (std::size_t at = 0; at < body.size(); at += line.size()) {
            ASSERT_EQ(body.compare(at, line.size(), line), 0) << "at " << at;
        }
        EXPECT_EQ(Fetch("localhost", peers.port(server), peers.ca_file(), true, "/post",
                        1024 * 1024 + 17)
                      .body,
                  "posted");
    }
}

TEST(TlsSchannel, UnusableCaFileFailsBeforeTheHandshake) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    const std::string cases[] = {peers.file("no-such-ca.pem"), peers.file("nginx.conf")};
    for (const std::string& ca_file : cases) {
        SCOPED_TRACE(ca_file);
        const Error error = Failure([&] { Fetch("localhost", peers.port("good"), ca_file); });
        EXPECT_EQ(error.number(), error_numbers::TlsHandshakeFailed);
        EXPECT_EQ(Text(error.description()).rfind("Cannot load the trust anchors \"" + ca_file, 0),
                  0u)
            << Text(error.description());
    }
}

// A plain TCP peer that misbehaves during the handshake.
class BadPeer {
public:
    enum Kind { Silent, ClosesAtOnce, SpeaksPlainHttp };

    explicit BadPeer(Kind kind) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, kind] { Serve(kind); });
    }
    ~BadPeer() {
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    std::uint16_t port() const { return port_; }

private:
    void Serve(Kind kind) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval timeout{5, 0};
        if (select(0, &ready, nullptr, nullptr, &timeout) != 1) return;
        const SOCKET conn = accept(listener_, nullptr, nullptr);
        if (conn == INVALID_SOCKET) return;
        if (kind == SpeaksPlainHttp) {
            const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            send(conn, answer, sizeof answer - 1, 0);
        }
        if (kind == Silent) std::this_thread::sleep_for(1500ms);
        closesocket(conn);
    }

    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

// Relays one connection to a server, passing the server's bytes on in
// pieces of uneven sizes (1 byte to 9000): handshake messages and records
// arrive torn at ever other places.
class TricklingRelay {
public:
    // `cut_after`: bytes of the server's to pass on before closing both sides.
    explicit TricklingRelay(std::uint16_t server_port, std::size_t cut_after = SIZE_MAX)
        : server_port_(server_port), cut_after_(cut_after) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Relay(); });
    }
    ~TricklingRelay() {
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    std::uint16_t port() const { return port_; }
    std::size_t pieces() const { return pieces_; }

private:
    void Relay() {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval wait{5, 0};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1) return;
        const SOCKET client = accept(listener_, nullptr, nullptr);
        const SOCKET server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(server_port_);
        const BOOL no_delay = TRUE;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
                   sizeof no_delay);
        if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const auto end = Clock::now() + 15s;
            char buffer[16384];
            bool open = true;
            while (open && Clock::now() < end) {
                FD_ZERO(&ready);
                FD_SET(client, &ready);
                FD_SET(server, &ready);
                timeval tick{0, 100000};
                if (select(0, &ready, nullptr, nullptr, &tick) <= 0) continue;
                if (FD_ISSET(client, &ready)) {
                    const int got = recv(client, buffer, sizeof buffer, 0);
                    if (got <= 0 || send(server, buffer, got, 0) != got) open = false;
                }
                if (open && FD_ISSET(server, &ready)) {
                    const int got = recv(server, buffer, sizeof buffer, 0);
                    if (got <= 0) open = false;
                    static const int sizes[] = {1, 3, 7, 2, 1500, 5, 4099, 11, 9000};
                    for (int at = 0; open && at < got;) {
                        int size = std::min(sizes[pieces_ % std::size(sizes)], got - at);
                        if (passed_ + static_cast<std::size_t>(size) >= cut_after_) {
                            size = static_cast<int>(cut_after_ - passed_);
                            open = false;
                        }
                        passed_ += static_cast<std::size_t>(size);
                        if (send(client, buffer + at, size, 0) != size) open = false;
                        if (size == 0) break;
                        at += size;
                        ++pieces_;
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    }
                }
            }
        }
        closesocket(server);
        closesocket(client);
    }

    std::uint16_t server_port_;
    std::size_t cut_after_;
    std::size_t passed_ = 0;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::size_t pieces_ = 0;
};

TEST(TlsSchannel, TornHandshakeMessagesAndRecordsAreReassembled) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    for (const char* path : {"/", "/big"}) {
        SCOPED_TRACE(path);
        TricklingRelay relay(peers.port("good"));
        const Exchange exchange = Fetch("localhost", relay.port(), peers.ca_file(), true, path);
        ASSERT_TRUE(exchange.check.has_value());
        EXPECT_EQ(exchange.check->error_code, 0) << Text(exchange.check->error_text);
        if (std::string(path) == "/") {
            EXPECT_EQ(exchange.body.rfind("sni=localhost", 0), 0u) << exchange.body;
        } else {
            EXPECT_EQ(exchange.body.size(), 1024u * 1024u);
        }
        EXPECT_GT(relay.pieces(), 5u);
    }
}

TEST(TlsSchannel, ConnectionCutInsideARecordIsATlsFailure) {
    const Peers peers;
    REQUIRE_PEERS(peers);
    TricklingRelay relay(peers.port("good"), 100000);  // mid-body, inside a 16 KiB record
    const Error error =
        Failure([&] { Fetch("localhost", relay.port(), peers.ca_file(), true, "/big"); });
    EXPECT_EQ(error.number(), error_numbers::TlsFailed);
    EXPECT_EQ(Text(error.description()),
              "TLS read with localhost:" + std::to_string(relay.port()) +
                  " failed: the connection was closed in the middle of a record");
}

TEST(TlsSchannel, MisbehavingPeersFailTheHandshakeWithoutHanging) {
    struct Case {
        BadPeer::Kind kind;
        std::int32_t error;
        std::int32_t or_error;  // a close with our hello unread may come as a reset
        std::chrono::milliseconds budget;
    };
    const Case cases[] = {
        {BadPeer::Silent, error_numbers::TimedOut, error_numbers::TimedOut, 500ms},
        {BadPeer::ClosesAtOnce, error_numbers::TlsHandshakeFailed, error_numbers::SocketFailed,
         5000ms},
        {BadPeer::SpeaksPlainHttp, error_numbers::TlsHandshakeFailed, error_numbers::SocketFailed,
         5000ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        BadPeer peer(c.kind);
        const Deadline deadline(c.budget);
        const auto start = Clock::now();
        const Error error = Failure([&] {
            StartTls(ConnectTcp("127.0.0.1", peer.port(), deadline), "127.0.0.1", {}, deadline,
                     [](const CertificateCheck&) { return true; });
        });
        EXPECT_TRUE(error.number() == c.error || error.number() == c.or_error)
            << error.number() << " " << Text(error.description());
        EXPECT_NE(Text(error.description()).find("127.0.0.1:" + std::to_string(peer.port())),
                  std::string::npos)
            << Text(error.description());
        EXPECT_LT(Clock::now() - start, c.budget + 2s);
    }
}

}  // namespace
}  // namespace orbenix::http
