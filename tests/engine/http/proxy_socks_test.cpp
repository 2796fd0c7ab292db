// SOCKS4, SOCKS4a and SOCKS5 handshakes against our scripted proxy: the bytes
// on the wire, and every way a proxy can refuse or break the handshake.
#include <gtest/gtest.h>

#include <atomic>

// The cross compiler's -O3 misreads the case tables of strings (GCC 12).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/proxy_test_support.h"
#include "tests/engine/http/recording_events.h"

namespace orbenix::test {
namespace {

using namespace http;
namespace codes = http::error_numbers;

ProxySettings Socks(std::int32_t kind, std::uint16_t port, bool auth = false) {
    ProxySettings p;
    p.kind = kind;
    p.host = "127.0.0.1";
    p.port = port;
    p.authenticate = auth;
    if (auth) {
        p.username = "pxuser";
        p.password = "secret";
    }
    return p;
}

const std::string kOk5 = Bytes({5, 0, 0, 1, 0, 0, 0, 0, 0, 0});

TEST(Socks5Handshake, SendsTheExactRequestForEachAddressKind) {
    struct Case {
        const char* what;
        Target target;
        bool auth;
        std::string greeting, auth_request, request;
    } cases[] = {
        {"IPv4 literal", {"127.0.0.1", 8080, false}, false, Bytes({5, 1, 0}), "",
         Bytes({5, 1, 0, 1, 127, 0, 0, 1, 0x1f, 0x90})},
        {"name sent as name", {"panel.example", 5656, false}, false, Bytes({5, 1, 0}), "",
         Bytes({5, 1, 0, 3, 13}) + "panel.example" + Bytes({0x16, 0x18})},
        {"IPv6 literal", {"::1", 443, true}, false, Bytes({5, 1, 0}), "",
         Bytes({5, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xbb})},
        {"user name and password", {"panel.example", 80, false}, true, Bytes({5, 2, 0, 2}),
         Bytes({1, 6}) + "pxuser" + Bytes({6}) + "secret", Bytes({5, 1, 0, 3, 13}) + "panel.example" + Bytes({0, 80})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Step> steps{{c.greeting.size(), Bytes({5, c.auth ? 2 : 0})}};
        if (c.auth) steps.push_back({c.auth_request.size(), Bytes({1, 0})});
        // A bound address given as a name: the reply's variable length must be read exactly.
        steps.push_back({c.request.size(), Bytes({5, 0, 0, 3, 4}) + "host" + Bytes({0, 7})});
        ScriptedServer server(StepScript(steps));
        const Deadline deadline = Seconds(10);
        auto stream = ConnectThrough(Socks(ProxySocks5, server.port(), c.auth), c.target, deadline);
        stream->Write("ping", 4, deadline);
        char echo[4] = {};
        std::size_t got = 0;
        while (got < 4) {
            const std::size_t n = stream->Read(echo + got, 4 - got, deadline);
            ASSERT_GT(n, 0u);
            got += n;
        }
        EXPECT_EQ(std::string(echo, 4), "ping") << "the tunnel did not start right after the reply";
        server.Stop();
        ASSERT_EQ(server.Received().size(), 1u);
        EXPECT_EQ(server.Received()[0], c.greeting + c.auth_request + c.request + "ping");
    }
}

TEST(Socks5Handshake, DescribesEveryRefusalAndBrokenReply) {
    const std::string request_size_probe = Bytes({5, 1, 0, 3, 13}) + "panel.example" + Bytes({0x16, 0x18});
    const std::size_t request = request_size_probe.size();
    struct Case {
        const char* what;
        bool auth;
        std::vector<Step> steps;
        std::int32_t number;
        std::string text;  // after "SOCKS5 proxy 127.0.0.1:<port> "
    } cases[] = {
        {"no acceptable method without credentials", false, {{3, Bytes({5, 0xff}), true}}, codes::ProxyAuthFailed,
         "requires authentication, and none is set"},
        {"no acceptable method with credentials", true, {{4, Bytes({5, 0xff}), true}}, codes::ProxyAuthFailed,
         "accepted neither no authentication nor user name and password"},
        {"method that was not offered", false, {{3, Bytes({5, 2}), true}}, codes::ProxyFailed,
         "chose authentication method 2, which was not offered (connecting to panel.example:5656)"},
        {"wrong version in the method choice", false, {{3, Bytes({4, 0}), true}}, codes::ProxyFailed,
         "answered with version 4 instead of 5 (connecting to panel.example:5656)"},
        {"credentials refused", true, {{4, Bytes({5, 2})}, {15, Bytes({1, 1}), true}}, codes::ProxyAuthFailed,
         "refused the credentials (status 1)"},
        {"wrong version in the reply", false, {{3, Bytes({5, 0})}, {request, Bytes({4, 0, 0, 1}), true}},
         codes::ProxyFailed, "answered with version 4 instead of 5 (connecting to panel.example:5656)"},
        {"unknown address type", false, {{3, Bytes({5, 0})}, {request, Bytes({5, 0, 0, 9, 0, 0}), true}},
         codes::ProxyFailed, "answered with unknown address type 9 (connecting to panel.example:5656)"},
        {"short method choice", false, {{3, Bytes({5}), true}}, codes::ProxyFailed,
         "closed the connection after 1 of 2 bytes of its method choice (connecting to panel.example:5656)"},
        {"short reply", false, {{3, Bytes({5, 0})}, {request, Bytes({5, 0, 0, 1, 127, 0}), true}},
         codes::ProxyFailed, "closed the connection after 2 of 6 bytes of its reply (connecting to panel.example:5656)"},
        {"no reply at all", false, {{3, Bytes({5, 0})}, {request, "", true}}, codes::ProxyFailed,
         "closed the connection after 0 of 2 bytes of its reply (connecting to panel.example:5656)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(StepScript(c.steps));
        const auto raised = RaisedBy([&] {
            ConnectThrough(Socks(ProxySocks5, server.port(), c.auth), {"panel.example", 5656, false}, Seconds(10));
        });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, c.number);
        EXPECT_EQ(raised->description, "SOCKS5 proxy 127.0.0.1:" + std::to_string(server.port()) + " " + c.text);
        EXPECT_EQ(raised->description.find("secret"), std::string::npos);
        EXPECT_EQ(raised->description.find("pxuser"), std::string::npos);
    }
}

TEST(Socks5Handshake, NamesEveryReplyCode) {
    const std::pair<int, std::string> codes_and_reasons[] = {
        {1, "general SOCKS server failure"}, {2, "connection not allowed by ruleset"}, {3, "network unreachable"},
        {4, "host unreachable"},             {5, "connection refused"},               {6, "TTL expired"},
        {7, "command not supported"},        {8, "address type not supported"},       {9, "unassigned reply code"},
    };
    const std::size_t request = Bytes({5, 1, 0, 3, 13}).size() + 13 + 2;
    for (const auto& [code, reason] : codes_and_reasons) {
        // The proxy answers only the first two bytes and closes: enough to tell why.
        ScriptedServer server(StepScript({{3, Bytes({5, 0})}, {request, Bytes({5, code}), true}}));
        const auto raised = RaisedBy([&] {
            ConnectThrough(Socks(ProxySocks5, server.port()), {"panel.example", 5656, false}, Seconds(10));
        });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, codes::ProxyFailed);
        EXPECT_EQ(raised->description, "SOCKS5 proxy 127.0.0.1:" + std::to_string(server.port()) +
                                           " could not reach panel.example:5656: " + reason + " (reply " +
                                           std::to_string(code) + ")");
    }
}

TEST(Socks4Handshake, SendsTheExactRequest) {
    struct Case {
        const char* what;
        std::int32_t kind;
        bool auth;
        Target target;
        std::string request;
    } cases[] = {
        {"SOCKS4, IPv4 literal, no user", ProxySocks4, false, {"127.0.0.1", 8080, false},
         Bytes({4, 1, 0x1f, 0x90, 127, 0, 0, 1, 0})},
        {"SOCKS4, user name only (never the password)", ProxySocks4, true, {"127.0.0.1", 80, false},
         Bytes({4, 1, 0, 80, 127, 0, 0, 1}) + "pxuser" + Bytes({0})},
        {"SOCKS4, name resolved here", ProxySocks4, false, {"localhost", 443, true},
         Bytes({4, 1, 1, 0xbb, 127, 0, 0, 1, 0})},
        {"SOCKS4a, name resolved by the proxy", ProxySocks4a, true, {"panel.example", 5656, false},
         Bytes({4, 1, 0x16, 0x18, 0, 0, 0, 1}) + "pxuser" + Bytes({0}) + "panel.example" + Bytes({0})},
        {"SOCKS4a, IPv4 literal sent as address", ProxySocks4a, false, {"127.0.0.1", 80, false},
         Bytes({4, 1, 0, 80, 127, 0, 0, 1, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(StepScript({{c.request.size(), Bytes({0, 90, 0, 0, 0, 0, 0, 0})}}));
        const Deadline deadline = Seconds(10);
        auto stream = ConnectThrough(Socks(c.kind, server.port(), c.auth), c.target, deadline);
        stream->Write("ping", 4, deadline);
        char echo[4] = {};
        std::size_t got = 0;
        while (got < 4) {
            const std::size_t n = stream->Read(echo + got, 4 - got, deadline);
            ASSERT_GT(n, 0u);
            got += n;
        }
        EXPECT_EQ(std::string(echo, 4), "ping");
        server.Stop();
        ASSERT_EQ(server.Received().size(), 1u);
        EXPECT_EQ(server.Received()[0], c.request + "ping");
        EXPECT_EQ(server.Received()[0].find("secret"), std::string::npos);
    }
}

TEST(Socks4Handshake, DescribesEveryRefusalAndBrokenReply) {
    const std::size_t request = 9;  // 127.0.0.1, no user
    struct Case {
        const char* what;
        std::int32_t kind;
        std::vector<Step> steps;
        std::string text;
    } cases[] = {
        {"reply 91", ProxySocks4, {{request, Bytes({0, 91, 0, 0, 0, 0, 0, 0}), true}},
         "could not reach 127.0.0.1:5656: request rejected or failed (reply 91)"},
        {"reply 92", ProxySocks4, {{request, Bytes({0, 92}), true}},
         "could not reach 127.0.0.1:5656: request rejected because the proxy cannot reach the identd on the client "
         "(reply 92)"},
        {"reply 93", ProxySocks4a, {{request, Bytes({0, 93, 0, 0, 0, 0, 0, 0}), true}},
         "could not reach 127.0.0.1:5656: request rejected because identd reported a different user id (reply 93)"},
        {"wrong reply version", ProxySocks4, {{request, Bytes({4, 90, 0, 0, 0, 0, 0, 0}), true}},
         "answered with reply version 4 instead of 0 (connecting to 127.0.0.1:5656)"},
        {"short reply", ProxySocks4, {{request, Bytes({0, 90, 0, 0}), true}},
         "closed the connection after 2 of 6 bytes of its reply (connecting to 127.0.0.1:5656)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(StepScript(c.steps));
        const auto raised =
            RaisedBy([&] { ConnectThrough(Socks(c.kind, server.port()), {"127.0.0.1", 5656, false}, Seconds(10)); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, codes::ProxyFailed);
        EXPECT_EQ(raised->description, (c.kind == ProxySocks4 ? "SOCKS4 proxy 127.0.0.1:" : "SOCKS4a proxy 127.0.0.1:") +
                                           std::to_string(server.port()) + " " + c.text);
    }
}

TEST(SocksHandshake, AStalledProxyEndsAtTheSendsDeadline) {
    for (const std::int32_t kind : {ProxySocks4, ProxySocks4a, ProxySocks5}) {
        SCOPED_TRACE(kind);
        ScriptedServer server(StepScript({{3, "", false, true}}));
        const auto start = std::chrono::steady_clock::now();
        const auto raised = RaisedBy([&] {
            ConnectThrough(Socks(kind, server.port()), {"127.0.0.1", 5656, false},
                           Deadline(std::chrono::milliseconds(300)));
        });
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, codes::TimedOut);
        EXPECT_NE(raised->description.find("proxy 127.0.0.1:" + std::to_string(server.port())), std::string::npos)
            << raised->description;
        EXPECT_NE(raised->description.find("127.0.0.1:5656"), std::string::npos) << raised->description;
        EXPECT_LT(took, std::chrono::seconds(3));
        server.Stop();
    }
}

TEST(SocksHandshake, RefusesBeforeSendingWhatTheProtocolCannotCarry) {
    struct Case {
        const char* what;
        std::int32_t kind;
        Target target;
        std::string text;
    } cases[] = {
        {"SOCKS5 name over 255 bytes", ProxySocks5, {std::string(256, 'a') + ".example", 80, false},
         "cannot take the host name of "},
        {"SOCKS4a name over 255 bytes", ProxySocks4a, {std::string(300, 'b'), 80, false}, "cannot take the host name of "},
        {"SOCKS4 and an IPv6 target", ProxySocks4, {"::1", 80, false},
         "cannot reach [::1]:80: SOCKS4 carries IPv4 addresses only"},
        {"control character in the name", ProxySocks5, {"bad\r\nname", 80, false}, "cannot take the host name of "},
        {"control character in a CONNECT authority", ProxyWebStandard, {"bad\r\nname", 80, false},
         "cannot take the host name of "},
        {"space in an absolute-form target", ProxyRelay, {"bad name", 80, false}, "cannot take the host name of "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(StepScript({{1, "", true}}));
        const auto raised = RaisedBy([&] { ConnectThrough(Socks(c.kind, server.port()), c.target, Seconds(10)); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, codes::ProxyConfig);
        EXPECT_NE(raised->description.find(c.text), std::string::npos) << raised->description;
        server.Stop();
        EXPECT_EQ(server.Accepted(), 0) << "the proxy was contacted";
    }
}

TEST(Socks4Handshake, ANameWithoutAnIpv4AddressFailsWithinTheDeadline) {
    ScriptedServer server(StepScript({{1, "", true}}));
    const auto start = std::chrono::steady_clock::now();
    const auto raised = RaisedBy([&] {
        ConnectThrough(Socks(ProxySocks4, server.port()), {"no-such-host.invalid", 80, false},
                       Deadline(std::chrono::milliseconds(3000)));
    });
    ASSERT_TRUE(raised);
    EXPECT_TRUE(raised->number == codes::ResolveFailed || raised->number == codes::TimedOut) << raised->number;
    EXPECT_EQ(raised->description.rfind("SOCKS4 proxy 127.0.0.1:" + std::to_string(server.port()) + " ", 0), 0u)
        << raised->description;
    EXPECT_NE(raised->description.find("no-such-host.invalid:80"), std::string::npos) << raised->description;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    server.Stop();
    ASSERT_LE(server.Received().size(), 1u);
    if (!server.Received().empty()) {
        EXPECT_EQ(server.Received()[0], "") << "a request went out without an address";
    }
}

TEST(SocksHandshake, AClosedProxyPortNamesProxyAndTarget) {
    std::uint16_t closed = 0;
    {
        TestListener probe;
        closed = probe.port();
    }
    const auto raised = RaisedBy(
        [&] { ConnectThrough(Socks(ProxySocks5, closed), {"panel.example", 5656, false}, Seconds(10)); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->number, codes::ConnectionRefused);
    EXPECT_EQ(raised->description.rfind("Could not connect to SOCKS5 proxy 127.0.0.1:" + std::to_string(closed) +
                                            " (for panel.example:5656): ",
                                        0),
              0u)
        << raised->description;
}

TEST(SocksHandshake, OurRelayingServerCarriesAnExchange) {
    ScriptedServer target(HttpAnswerScript("hello"));
    struct Case {
        std::int32_t kind;
        SocksOptions options;
        bool auth;
        std::string host;
    } cases[] = {
        {ProxySocks4, {}, false, "127.0.0.1"},
        {ProxySocks4a, {}, false, "localhost"},
        {ProxySocks5, {}, false, "localhost"},
        {ProxySocks5, {true, "pxuser", "secret"}, true, "127.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ScriptedServer proxy(SocksRelayScript(c.options));
        const Deadline deadline = Seconds(10);
        auto stream = ConnectThrough(Socks(c.kind, proxy.port(), c.auth), {c.host, target.port(), false}, deadline);
        const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
        stream->Write(request.data(), request.size(), deadline);
        const std::string answer = ReadAll(*stream, deadline);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK")) << answer;
        EXPECT_TRUE(answer.ends_with("hello")) << answer;
        proxy.Stop();
        ASSERT_EQ(proxy.Received().size(), 1u);
        EXPECT_TRUE(proxy.Received()[0].ends_with(request)) << "the proxy did not carry the request";
    }
}

}  // namespace
}  // namespace orbenix::test

namespace orbenix::test {
namespace {

TEST(ProxiedSend, RedirectsGoThroughTheSameProxy) {
    // The panel sends the first request elsewhere on itself; both hops must
    // travel through the proxy.
    std::atomic<int> served{0};
    ScriptedServer panel([&served](TestSocket& client, ScriptedServer&) {
        if (client.ReadUntil("\r\n\r\n", 65536, 5000).empty()) return;
        const std::string answer = served++ == 0
                                       ? "HTTP/1.1 302 Found\r\nLocation: /second\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                                       : "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\ndone";
        client.Write(answer);
    });
    for (const std::int32_t kind : {http::ProxySocks4, http::ProxySocks4a, http::ProxySocks5}) {
        SCOPED_TRACE(kind);
        served = 0;
        ScriptedServer proxy(SocksRelayScript({}));
        http::testing::RecordingEvents events;
        auto web = http::CreateHttpComponent(events);
        web->SetProxyKind(kind);
        web->SetProxyHost(u"127.0.0.1");
        web->SetProxyPort(proxy.port());
        web->SetUrl(u"http://127.0.0.1:" + TextFromUtf8(std::to_string(panel.port())) + u"/first");
        web->SetTimeoutSeconds(10);
        web->Send();
        EXPECT_EQ(web->StatusCode(), 200);
        EXPECT_EQ(Utf8FromText(web->Body()), "done");
        EXPECT_EQ(events.redirects.size(), 1u);
        proxy.Stop();
        EXPECT_EQ(proxy.Accepted(), 2) << "a hop went around the proxy";
    }
}

}  // namespace
}  // namespace orbenix::test
