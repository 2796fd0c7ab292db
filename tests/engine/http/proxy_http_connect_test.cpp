// The CONNECT tunnel against a scripted HTTP proxy stand-in, and the relay's
// absolute form and Proxy-Authorization.
#include <gtest/gtest.h>

// The cross compiler's -O3 misreads the case tables of strings (GCC 12).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/proxy_test_support.h"

namespace orbenix::test {
namespace {

using namespace http;
namespace codes = http::error_numbers;

ProxySettings WebProxy(std::uint16_t port, bool auth = false, std::int32_t kind = ProxyWebStandard) {
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

// "pxuser:secret"
const std::string kBasic = "Basic cHh1c2VyOnNlY3JldA==";

TEST(HttpTunnel, SendsTheExactConnectRequest) {
    struct Case {
        const char* what;
        std::int32_t kind;
        bool auth;
        Target target;
        std::string request;
    } cases[] = {
        {"web standard, http target", ProxyWebStandard, false, {"panel.example", 5656, false},
         "CONNECT panel.example:5656 HTTP/1.1\r\nHost: panel.example:5656\r\n\r\n"},
        {"IPv6 target in brackets", ProxyWebStandard, false, {"::1", 443, true},
         "CONNECT [::1]:443 HTTP/1.1\r\nHost: [::1]:443\r\n\r\n"},
        {"credentials on the CONNECT", ProxyWebStandard, true, {"127.0.0.1", 443, true},
         "CONNECT 127.0.0.1:443 HTTP/1.1\r\nHost: 127.0.0.1:443\r\nProxy-Authorization: " + kBasic + "\r\n\r\n"},
        {"relay, https target", ProxyRelay, true, {"panel.example", 443, true},
         "CONNECT panel.example:443 HTTP/1.1\r\nHost: panel.example:443\r\nProxy-Authorization: " + kBasic +
             "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server(ConnectScript("HTTP/1.1 200 Connection established\r\n\r\n"));
        const Deadline deadline = Seconds(10);
        auto stream = ConnectThrough(WebProxy(server.port(), c.auth, c.kind), c.target, deadline);
        stream->Write("ping", 4, deadline);
        EXPECT_EQ(ReadAll(*stream, deadline), "ping");
        server.Stop();
        ASSERT_EQ(server.Received().size(), 1u);
        EXPECT_EQ(server.Received()[0], c.request + "ping") << "credentials must not travel inside the tunnel";
    }
}

TEST(HttpTunnel, AnyTwoHundredOpensTheTunnelAndItsFramingIsIgnored) {
    const std::string answers[] = {
        "HTTP/1.0 200 Connection established\r\n\r\n",
        "HTTP/1.1 200\r\n\r\n",
        "HTTP/1.1 204 No Content\r\nVia: 1.1 proxy\r\n\r\n",
        "HTTP/1.1 299 Whatever\n\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n",
        "\r\nHTTP/1.1 200 OK\r\n\r\n",
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n",
    };
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer);
        ScriptedServer server(ConnectScript(answer));
        const Deadline deadline = Seconds(10);
        auto stream = ConnectThrough(WebProxy(server.port()), {"127.0.0.1", 80, false}, deadline);
        stream->Write("hello", 5, deadline);
        EXPECT_EQ(ReadAll(*stream, deadline), "hello") << "the tunnel's first bytes were taken as a body";
    }
}

TEST(HttpTunnel, DescribesRefusalsAndBrokenAnswers) {
    std::string eleven_interim;
    for (int i = 0; i < 11; ++i) eleven_interim += "HTTP/1.1 100 Continue\r\n\r\n";
    struct Case {
        const char* what;
        bool auth;
        std::string answer;
        bool stall;
        std::int32_t number;
        std::string text;  // after "Proxy 127.0.0.1:<port> "
    } cases[] = {
        {"407 with credentials", true, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", false,
         codes::ProxyAuthFailed, "refused the credentials (HTTP 407)"},
        {"401 as some proxies send it", true, "HTTP/1.0 401 Unauthorized\r\nContent-Length: 3\r\n\r\nxyz", false,
         codes::ProxyAuthFailed, "refused the credentials (HTTP 401)"},
        {"407 without credentials", false, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", false,
         codes::ProxyAuthFailed, "requires authentication, and none is set (HTTP 407)"},
        {"403", false, "HTTP/1.1 403 Forbidden\r\n\r\n", false, codes::ProxyFailed,
         "could not open a tunnel to panel.example:5656: HTTP 403 Forbidden"},
        {"502 with a control byte in the reason", false, "HTTP/1.1 502 Bad\x01Gateway\r\n\r\n", false,
         codes::ProxyFailed, "could not open a tunnel to panel.example:5656: HTTP 502 Bad?Gateway"},
        {"not HTTP", false, "SSH-2.0-OpenSSH\r\n\r\n", false, codes::ProxyFailed,
         "answered the CONNECT to panel.example:5656 with something other than an HTTP status line"},
        {"closed without an answer", false, "", false, codes::ProxyFailed,
         "closed the connection without answering the CONNECT to panel.example:5656"},
        {"closed inside the headers", false, "HTTP/1.1 200 OK\r\nVia: x", false, codes::ProxyFailed,
         "closed the connection in the middle of its answer to the CONNECT to panel.example:5656"},
        {"stalled", false, "", true, codes::TimedOut, ""},
        {"only interim answers", false, eleven_interim, false, codes::ProxyFailed, "could not open a tunnel to panel.example:5656: HTTP 100 Continue"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer server([&c](TestSocket& client, ScriptedServer& s) {
            if (client.ReadUntil("\r\n\r\n", 65536, 5000).empty()) return;
            if (c.stall) s.WaitForStop(10000);
            client.Write(c.answer);
        });
        const auto raised = RaisedBy([&] {
            ConnectThrough(WebProxy(server.port(), c.auth), {"panel.example", 5656, false},
                           Deadline(std::chrono::milliseconds(c.stall ? 300 : 10000)));
        });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, c.number);
        const std::string proxy = "Proxy 127.0.0.1:" + std::to_string(server.port());
        if (c.stall) {
            EXPECT_EQ(raised->description, "Timed out in the handshake with " + proxy + " for panel.example:5656");
        } else {
            EXPECT_EQ(raised->description, proxy + " " + c.text);
        }
        EXPECT_EQ(raised->description.find("secret"), std::string::npos);
        EXPECT_EQ(raised->description.find("pxuser"), std::string::npos);
        server.Stop();
    }
}

TEST(HttpTunnel, AnOverlongAnswerIsAnErrorNotAHang) {
    ScriptedServer server([](TestSocket& client, ScriptedServer&) {
        if (client.ReadUntil("\r\n\r\n", 65536, 5000).empty()) return;
        std::string flood = "HTTP/1.1 200 OK\r\n";
        while (flood.size() < 70 * 1024) flood += "X-Filler: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
        client.Write(flood);
    });
    const auto raised =
        RaisedBy([&] { ConnectThrough(WebProxy(server.port()), {"panel.example", 5656, false}, Seconds(10)); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->number, codes::ProxyFailed);
    EXPECT_NE(raised->description.find("more than 64 KiB of headers"), std::string::npos);
}

TEST(RelayProxy, HttpTargetsUseAbsoluteFormWithCredentialsOnEveryRequest) {
    ScriptedServer server([](TestSocket& client, ScriptedServer&) {
        client.WaitReadable(5000);  // nothing must arrive before the request itself
    });
    const ProxySettings relay = WebProxy(server.port(), true, ProxyRelay);
    const Target http_target{"panel.example", 80, false};
    const Target https_target{"panel.example", 443, true};
    EXPECT_TRUE(UsesAbsoluteForm(relay, http_target));
    EXPECT_FALSE(UsesAbsoluteForm(relay, https_target));
    EXPECT_FALSE(UsesAbsoluteForm(WebProxy(1), http_target));
    EXPECT_EQ(ProxyAuthorization(relay), kBasic);
    EXPECT_EQ(ProxyAuthorization(WebProxy(1, false, ProxyRelay)), "");
    EXPECT_EQ(ProxyAuthorization(WebProxy(1, true, ProxyWebStandard)), "") << "web standard: CONNECT only";

    auto stream = ConnectThrough(relay, http_target, Seconds(10));
    ASSERT_TRUE(stream);
    stream.reset();
    server.Stop();
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(server.Received()[0], "") << "an http target through a relay needs no handshake";
}

TEST(RelayProxy, TellsTheProxysOwnRefusalFromTheTargetsAnswer) {
    const Target target{"panel.example", 5656, false};
    struct Case {
        const char* what;
        bool auth;
        int status;
        bool via;
        std::int32_t number;  // 0: the answer is the target's
        std::string text;
    } cases[] = {
        {"407", true, 407, false, codes::ProxyAuthFailed, "refused the credentials (HTTP 407)"},
        {"407 without credentials", false, 407, true, codes::ProxyAuthFailed,
         "requires authentication, and none is set (HTTP 407)"},
        {"401 from the proxy itself", true, 401, false, codes::ProxyAuthFailed, "refused the credentials (HTTP 401)"},
        {"401 forwarded from the target", true, 401, true, 0, ""},
        {"401 without proxy credentials", false, 401, false, 0, ""},
        {"500 from the proxy itself", false, 500, false, codes::ProxyFailed,
         "could not reach panel.example:5656: HTTP 500 Unable to connect"},
        {"502 forwarded from the target", false, 502, true, 0, ""},
        {"200", true, 200, false, 0, ""},
        {"404 from the proxy", true, 404, false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProxySettings relay = WebProxy(8888, c.auth, ProxyRelay);
        const auto raised = RaisedBy([&] { CheckRelayAnswer(relay, target, c.status, "Unable to connect", c.via); });
        if (c.number == 0) {
            EXPECT_FALSE(raised) << raised->description;
            continue;
        }
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, c.number);
        EXPECT_EQ(raised->description, "Proxy 127.0.0.1:8888 " + c.text);
    }
    // Only absolute-form requests are the relay's to judge.
    EXPECT_FALSE(RaisedBy([&] { CheckRelayAnswer(WebProxy(8888, true, ProxyRelay), {"p", 443, true}, 407, "", false); }));
    EXPECT_FALSE(RaisedBy([&] { CheckRelayAnswer(WebProxy(8888, true), target, 407, "", false); }));
}

TEST(RelayProxy, BasicCredentialsAreUtf8) {
    ProxySettings relay = WebProxy(1, true, ProxyRelay);
    relay.username = "J\xc3\xbcrgen";  // Jürgen
    relay.password = "p\xc3\xa4ss";
    EXPECT_EQ(ProxyAuthorization(relay), "Basic SsO8cmdlbjpww6Rzcw==");
}

}  // namespace
}  // namespace orbenix::test
