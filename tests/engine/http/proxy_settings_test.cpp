// Proxy settings that cannot work fail before anything is sent; address
// literals are told from names.
#include <gtest/gtest.h>

// The cross compiler's -O3 misreads the case tables of strings (GCC 12).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy_address.h"
#include "tests/engine/http/proxy_test_support.h"

namespace orbenix::test {
namespace {

using namespace http;
namespace codes = http::error_numbers;

TEST(ProxySettings, BadSettingsFailBeforeTheProxyIsContacted) {
    ScriptedServer listening(StepScript({{1, "", true}}));
    const std::int32_t port = listening.port();
    const std::string long_text(256, 'x');
    struct Case {
        const char* what;
        ProxySettings proxy;
        std::int32_t number;
        std::string text;
    } cases[] = {
        {"port 0", {ProxySocks5, "127.0.0.1", 0, false, "", ""}, codes::ProxyConfig,
         "SOCKS5 proxy 127.0.0.1: the proxy port 0 is not between 1 and 65535"},
        {"negative port", {ProxyWebStandard, "127.0.0.1", -1, false, "", ""}, codes::ProxyConfig,
         "Proxy 127.0.0.1: the proxy port -1 is not between 1 and 65535"},
        {"port over 65535", {ProxySocks4, "127.0.0.1", 65536, false, "", ""}, codes::ProxyConfig,
         "SOCKS4 proxy 127.0.0.1: the proxy port 65536 is not between 1 and 65535"},
        {"empty host", {ProxySocks4a, "", port, false, "", ""}, codes::ProxyConfig,
         "SOCKS4a proxy: no proxy host is set"},
        {"empty brackets", {ProxyRelay, "[]", port, false, "", ""}, codes::ProxyConfig, "Proxy: no proxy host is set"},
        {"long user name", {ProxySocks5, "127.0.0.1", port, true, long_text, "pw"}, codes::ProxyConfig,
         "SOCKS5 proxy 127.0.0.1:" + std::to_string(port) + ": the proxy user name is longer than 255 bytes"},
        {"long password", {ProxyWebStandard, "127.0.0.1", port, true, "user", long_text}, codes::ProxyConfig,
         "Proxy 127.0.0.1:" + std::to_string(port) + ": the proxy password is longer than 255 bytes"},
        {"colon in a Basic user name", {ProxyRelay, "127.0.0.1", port, true, "us:er", "pw"}, codes::ProxyConfig,
         "Proxy 127.0.0.1:" + std::to_string(port) +
             ": the proxy user name contains \":\", which Basic authentication cannot carry"},
        {"NUL in a SOCKS4 user id", {ProxySocks4, "127.0.0.1", port, true, std::string("us\0er", 5), ""},
         codes::ProxyConfig,
         "SOCKS4 proxy 127.0.0.1:" + std::to_string(port) + ": the proxy user name contains a NUL character"},
        {"SOCKS5 authentication without a user name", {ProxySocks5, "127.0.0.1", port, true, "", "pw"},
         codes::ProxyConfig,
         "SOCKS5 proxy 127.0.0.1:" + std::to_string(port) + ": SOCKS5 authentication needs a user name"},
        {"unknown kind", {9, "127.0.0.1", port, false, "", ""}, codes::ProxyNotSupported,
         "Proxy kind 9 is not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto raised = RaisedBy([&] { ConnectThrough(c.proxy, {"127.0.0.1", 80, false}, Seconds(5)); });
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->number, c.number);
        EXPECT_EQ(raised->description, c.text);
    }
    listening.Stop();
    EXPECT_EQ(listening.Accepted(), 0);
}

TEST(ProxySettings, CredentialsAreCheckedOnlyWhenAuthenticationIsOn) {
    const std::string long_text(300, 'x');
    EXPECT_NO_THROW(ValidateProxy({ProxySocks5, "127.0.0.1", 1080, false, long_text, long_text}));
    EXPECT_NO_THROW(ValidateProxy({ProxyWebStandard, "[::1]", 3128, false, "a:b", ""}));
    EXPECT_NO_THROW(ValidateProxy({ProxySocks5, "127.0.0.1", 65535, true, std::string(255, 'u'), std::string(255, 'p')}));
    EXPECT_NO_THROW(ValidateProxy({ProxyNone, "", 0, true, long_text, long_text})) << "no proxy: fields ignored";
}

TEST(ProxyAddress, TellsLiteralsFromNames) {
    struct Case {
        const char* text;
        bool v4, v6;
    } cases[] = {
        {"127.0.0.1", true, false},   {"255.255.255.255", true, false}, {"256.0.0.1", false, false},
        {"1.2.3", false, false},      {"1.2.3.4.5", false, false},      {"1..2.3", false, false},
        {"localhost", false, false},  {"1234.1.1.1", false, false},     {"::1", false, true},
        {"::", false, true},          {"fe80::1:2", false, true},       {"1:2:3:4:5:6:7:8", false, true},
        {"1:2:3:4:5:6:7:8:9", false, false}, {"1::2::3", false, false}, {"::ffff:127.0.0.1", false, true},
        {"12345::", false, false},    {"g::1", false, false},           {"1:2:3:4:5:6:7::", false, true},
        {":1", false, false},         {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(proxy::ParseIpv4(c.text).has_value(), c.v4);
        EXPECT_EQ(proxy::ParseIpv6(c.text).has_value(), c.v6);
    }
    const auto mapped = proxy::ParseIpv6("::ffff:127.0.0.1");
    ASSERT_TRUE(mapped);
    EXPECT_EQ((*mapped)[10], 0xff);
    EXPECT_EQ((*mapped)[12], 127);
    EXPECT_EQ((*mapped)[15], 1);
}

}  // namespace
}  // namespace orbenix::test
