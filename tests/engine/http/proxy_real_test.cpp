// Checks through real proxies (tinyproxy, microsocks, dante) and our own
// SOCKS4a server to the nginx panel stand-in, over HTTP and HTTPS: each must
// succeed and the proxy's log must show that it carried the exchange. Wrong
// credentials, a closed proxy port and a target the proxy cannot reach each
// fail the send with an error that names proxy, target and reason.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/proxy_test_support.h"
#include "tests/engine/http/recording_events.h"
#include "tests/support/nginx_peer.h"

// The cross compiler's -O3 misreads the case tables of strings (GCC 12).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#ifndef ORBENIX_PROXIES_STATE
#error "ORBENIX_PROXIES_STATE must name the proxy fixture's state directory"
#endif

namespace orbenix::test {
namespace {

using namespace http;
namespace codes = http::error_numbers;

std::string Slurp(const std::string& linux_path) {
    std::ifstream file(NativePath(linux_path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::map<std::string, std::string> ReadEnv(const std::string& linux_path) {
    std::map<std::string, std::string> values;
    std::istringstream lines(Slurp(linux_path));
    for (std::string line; std::getline(lines, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// True when `needle` shows up in the proxy's log within two seconds (dante
// writes its line when the session ends).
bool LogShows(const std::string& log, const std::string& needle) {
    for (int i = 0; i < 40; ++i) {
        if (Slurp(ORBENIX_PROXIES_STATE "/" + log + ".log").find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

struct Outcome {
    std::int16_t status = 0;
    std::string body;
    std::optional<Raised> error;
};

Outcome Check(std::int32_t kind, std::uint16_t proxy_port, bool auth, const std::string& user,
              const std::string& password, const std::string& url, const std::string& ca_file) {
    http::testing::RecordingEvents events;
    events.accept_certificates = std::nullopt;  // verification decides: the private CA is trusted
    auto web = CreateHttpComponent(events);
    web->SetLogin(u"");
    web->SetBlocking(true);
    web->SetFollowRedirects(true);
    web->AddHeader(u"Pragma", Variant(std::u16string(u"no-cache")));
    web->SetHttpVersion(u"HTTP/1.1");
    web->SetProxyKind(kind);
    web->SetProxyHost(u"127.0.0.1");
    web->SetProxyPort(proxy_port);
    web->SetProxyAuthentication(auth ? 1 : 0);
    if (auth) {
        web->SetProxyUsername(TextFromUtf8(user));
        web->SetProxyPassword(TextFromUtf8(password));
    }
    web->SetUrl(TextFromUtf8(url));
    web->SetCaFile(ca_file);
    web->SetTimeoutSeconds(15);
    web->ClearFormFields();
    web->AddFormField(u"key", Variant(std::u16string(u"k")));
    web->AddFormField(u"action", Variant(std::u16string(u"info")));
    Outcome outcome;
    outcome.error = RaisedBy([&] { web->Send(); });
    if (!outcome.error) {
        outcome.status = web->StatusCode();
        outcome.body = Utf8FromText(web->Body());
    }
    return outcome;
}

class RealProxies : public ::testing::Test {
protected:
    void SetUp() override {
        ports_ = ReadEnv(ORBENIX_PROXIES_STATE "/proxies.env");
        const auto nginx = ReadEnv(ORBENIX_PROXIES_STATE "/nginx/nginx.env");
        if (ports_.empty() || nginx.empty()) GTEST_SKIP() << "the proxy fixture is not running";
        nginx_.http = static_cast<std::uint16_t>(std::stoi(nginx.at("http")));
        nginx_.good = static_cast<std::uint16_t>(std::stoi(nginx.at("good")));
        nginx_.ca_file = NativePath(nginx.at("ca_file"));
    }
    std::uint16_t Port(const std::string& name) { return static_cast<std::uint16_t>(std::stoi(ports_.at(name))); }

    std::map<std::string, std::string> ports_;
    NginxPeer nginx_;  // the fixture's own nginx: plain HTTP and a certificate from its private CA
};

TEST_F(RealProxies, EveryKindCarriesAnHttpAndAnHttpsCheck) {
    ScriptedServer socks4a(SocksRelayScript({}));
    struct Case {
        const char* what;
        std::int32_t kind;
        std::string proxy;  // fixture name, or "ours"
        bool auth;
        std::string log;    // the log that must show the target ("" for ours)
    } cases[] = {
        {"web standard, tinyproxy", ProxyWebStandard, "web", false, "web"},
        {"web standard, tinyproxy with BasicAuth", ProxyWebStandard, "webauth", true, "webauth"},
        {"relay, tinyproxy", ProxyRelay, "web", false, "web"},
        {"relay, tinyproxy with BasicAuth", ProxyRelay, "webauth", true, "webauth"},
        {"SOCKS5, microsocks", ProxySocks5, "socks", false, "socks"},
        {"SOCKS5, microsocks with -u/-P", ProxySocks5, "socksauth", true, "socksauth"},
        {"SOCKS5, dante", ProxySocks5, "dante", false, "dante"},
        {"SOCKS4, dante", ProxySocks4, "dante", false, "dante"},
        {"SOCKS4 with a user id, dante", ProxySocks4, "dante", true, "dante"},
        {"SOCKS4a, ours", ProxySocks4a, "ours", false, ""},
    };
    for (const auto& c : cases) {
        for (const bool https : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (https ? ", https" : ", http"));
            const std::uint16_t target = https ? nginx_.good : nginx_.http;
            const std::string host = c.proxy == "ours" ? "localhost" : "127.0.0.1";
            const std::string url = (https ? "https://" : "http://") + host + ":" + std::to_string(target) +
                                    "/api/client/command.php";
            const std::uint16_t port = c.proxy == "ours" ? socks4a.port() : Port(c.proxy);
            const int accepted_before = socks4a.Accepted();
            const Outcome got = Check(c.kind, port, c.auth, ports_.at("user"), ports_.at("password"), url,
                                      nginx_.ca_file);
            ASSERT_FALSE(got.error) << got.error->number << " " << got.error->description;
            EXPECT_EQ(got.status, 200);
            EXPECT_NE(got.body.find("<vmstat>online</vmstat>"), std::string::npos) << got.body;
            if (c.log.empty()) {
                EXPECT_EQ(socks4a.Accepted(), accepted_before + 1) << "our SOCKS4a server did not carry it";
            } else {
                const std::string shown = c.log == "dante" ? "127.0.0.1." + std::to_string(target)
                                                           : "127.0.0.1:" + std::to_string(target);
                EXPECT_TRUE(LogShows(c.log, shown)) << c.log << ".log does not show " << shown;
            }
        }
    }
}

TEST_F(RealProxies, ProxyCredentialsNeverReachThePanel) {
    struct Case {
        const char* what;
        std::int32_t kind;
        std::string proxy;
    } cases[] = {
        {"web standard", ProxyWebStandard, "webauth"},
        {"relay", ProxyRelay, "webauth"},
        {"SOCKS5", ProxySocks5, "socksauth"},
        {"SOCKS4", ProxySocks4, "dante"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer panel(HttpAnswerScript("<vmstat>online</vmstat>"));
        const std::string url = "http://127.0.0.1:" + std::to_string(panel.port()) + "/api/client/command.php";
        const Outcome got = Check(c.kind, Port(c.proxy), true, ports_.at("user"), ports_.at("password"), url, "");
        ASSERT_FALSE(got.error) << got.error->description;
        EXPECT_EQ(got.status, 200);
        panel.Stop();
        ASSERT_EQ(panel.Received().size(), 1u);
        const std::string request = panel.Received()[0];
        EXPECT_NE(request.find("key=k"), std::string::npos) << request;
        EXPECT_EQ(request.find("Proxy-Authorization"), std::string::npos) << request;
        EXPECT_EQ(request.find("cHh1c2Vy"), std::string::npos) << request;  // Base64 of "pxuser..."
        EXPECT_EQ(request.find(ports_.at("password")), std::string::npos) << request;
    }
}

TEST_F(RealProxies, RefusalsFailTheSendWithProxyTargetAndReason) {
    std::uint16_t closed = 0;
    {
        TestListener probe;
        closed = probe.port();
    }
    const std::string panel = "127.0.0.1:" + std::to_string(nginx_.http);
    const std::string nowhere = "127.0.0.1:" + std::to_string(closed);
    struct Case {
        const char* what;
        std::int32_t kind;
        std::string proxy;
        bool auth;
        std::string password;
        std::uint16_t target;
        bool https;
        std::int32_t number;
        std::string text;  // after "<label> 127.0.0.1:<port> "
    } cases[] = {
        {"web standard, wrong password", ProxyWebStandard, "webauth", true, "wrong", nginx_.http, false,
         codes::ProxyAuthFailed, "refused the credentials (HTTP 401)"},
        {"web standard, no credentials", ProxyWebStandard, "webauth", false, "", nginx_.good, true,
         codes::ProxyAuthFailed, "requires authentication, and none is set (HTTP 407)"},
        {"relay, wrong password", ProxyRelay, "webauth", true, "wrong", nginx_.http, false, codes::ProxyAuthFailed,
         "refused the credentials (HTTP 401)"},
        {"relay, no credentials", ProxyRelay, "webauth", false, "", nginx_.http, false, codes::ProxyAuthFailed,
         "requires authentication, and none is set (HTTP 407)"},
        {"SOCKS5, wrong password", ProxySocks5, "socksauth", true, "wrong", nginx_.http, false,
         codes::ProxyAuthFailed, "refused the credentials (status "},
        {"SOCKS5, no credentials", ProxySocks5, "socksauth", false, "", nginx_.http, false, codes::ProxyAuthFailed,
         "requires authentication, and none is set"},
        {"web standard, closed target", ProxyWebStandard, "web", false, "", closed, true, codes::ProxyFailed,
         "could not open a tunnel to " + nowhere + ": HTTP 500 Unable to connect"},
        // tinyproxy answers 500 and resets the connection over the unread form
        // body: either may reach us first.
        {"relay, closed target", ProxyRelay, "web", false, "", closed, false, codes::ProxyFailed, ""},
        {"SOCKS5 microsocks, closed target", ProxySocks5, "socks", false, "", closed, false, codes::ProxyFailed,
         "could not reach " + nowhere + ": "},
        {"SOCKS5 dante, closed target", ProxySocks5, "dante", false, "", closed, false, codes::ProxyFailed,
         "could not reach " + nowhere + ": connection refused (reply 5)"},
        {"SOCKS4 dante, closed target", ProxySocks4, "dante", false, "", closed, false, codes::ProxyFailed,
         "could not reach " + nowhere + ": request rejected or failed (reply 91)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string url = (c.https ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(c.target) +
                                "/api/client/command.php";
        const Outcome got =
            Check(c.kind, Port(c.proxy), c.auth, ports_.at("user"), c.password, url, nginx_.ca_file);
        ASSERT_TRUE(got.error) << "the send succeeded with status " << got.status;
        EXPECT_EQ(got.error->number, c.number) << got.error->description;
        const std::string label = c.kind == ProxySocks4 ? "SOCKS4 proxy" : c.kind == ProxySocks5 ? "SOCKS5 proxy" : "Proxy";
        const std::string prefix = label + " 127.0.0.1:" + std::to_string(Port(c.proxy)) + " " + c.text;
        EXPECT_EQ(got.error->description.substr(0, prefix.size()), prefix) << got.error->description;
        if (c.number != codes::ProxyAuthFailed) {  // credentials concern the proxy alone
            EXPECT_NE(got.error->description.find(std::to_string(c.target)), std::string::npos)
                << got.error->description;
        }
        EXPECT_EQ(got.error->description.find("wrong"), std::string::npos) << "a password in the message";
        EXPECT_EQ(got.error->description.find("pxuser"), std::string::npos) << "a user name in the message";
    }
}

TEST_F(RealProxies, AClosedProxyPortFailsForEveryKind) {
    std::uint16_t closed = 0;
    {
        TestListener probe;
        closed = probe.port();
    }
    for (const std::int32_t kind : {ProxySocks4, ProxySocks5, ProxyWebStandard, ProxyRelay, ProxySocks4a}) {
        SCOPED_TRACE(kind);
        const Outcome got = Check(kind, closed, false, "", "", "http://127.0.0.1:" + std::to_string(nginx_.http) + "/",
                                  nginx_.ca_file);
        ASSERT_TRUE(got.error);
        EXPECT_EQ(got.error->number, codes::ConnectionRefused);
        EXPECT_NE(got.error->description.find("proxy 127.0.0.1:" + std::to_string(closed)), std::string::npos)
            << got.error->description;
        EXPECT_NE(got.error->description.find("127.0.0.1:" + std::to_string(nginx_.http)), std::string::npos)
            << got.error->description;
    }
}

}  // namespace
}  // namespace orbenix::test
