// URL parsing and the resolution of redirect targets.
#include <gtest/gtest.h>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/url.h"

namespace orbenix::http {
namespace {

TEST(Url, ParsesSchemesHostsPortsAndTargets) {
    struct Case {
        const char16_t* text;
        bool https;
        const char* host;
        int port;
        const char* target;
        const char* host_header;
    } cases[] = {
        {u"http://panel.example/api/client/command.php", false, "panel.example", 80, "/api/client/command.php", "panel.example"},
        {u"HTTPS://Panel.Example:5656", true, "panel.example", 5656, "/", "panel.example:5656"},
        {u"https://panel.example:443/x?a=1&b=2#frag", true, "panel.example", 443, "/x?a=1&b=2", "panel.example"},
        {u"http://127.0.0.1:8080?q", false, "127.0.0.1", 8080, "/?q", "127.0.0.1:8080"},
        {u"http://[::1]:8443/p", false, "::1", 8443, "/p", "[::1]:8443"},
        {u"https://[2001:db8::1]/", true, "2001:db8::1", 443, "/", "[2001:db8::1]"},
        {u"http://host:/", false, "host", 80, "/", "host"},
        {u"http://host//api/client/command.php", false, "host", 80, "//api/client/command.php", "host"},
        {u"http://host/a/./b/../c", false, "host", 80, "/a/c", "host"},
        {u"http://host/gr\u00fc\u00df", false, "host", 80, "/gr%C3%BC%C3%9F", "host"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(Utf8FromText(test.text));
        const Url url = ParseUrl(test.text);
        EXPECT_EQ(url.https, test.https);
        EXPECT_EQ(url.host, test.host);
        EXPECT_EQ(url.port, test.port);
        EXPECT_EQ(url.target, test.target);
        EXPECT_EQ(url.HostHeader(), test.host_header);
    }
}

TEST(Url, RefusesBadUrlsWithTheReason) {
    struct Case {
        const char16_t* text;
        const char* reason;
    } cases[] = {
        {u"", "no scheme"},
        {u"/api/client/command.php", "no scheme"},
        {u"panel.example/api", "no scheme"},
        {u"ftp://panel.example/", "unknown scheme"},
        {u"http:panel.example", "the host is empty"},
        {u"http:///path", "the host is empty"},
        {u"http://:80/", "the host is empty"},
        {u"http://host:0/", "bad port"},
        {u"http://host:65536/", "bad port"},
        {u"http://host:99999999999999999999/", "bad port"},
        {u"http://host:-1/", "bad port"},
        {u"http://host:8a/", "bad port"},
        {u"http://ho st/", "space or a control character"},
        {u"http://host/a b", "space or a control character"},
        {u"http://host/a\tb", "space or a control character"},
        {u"http://host/\r\nX: y", "space or a control character"},
        {u"http://user:pw@host/", "credentials"},
        {u"http://[::1/", "unclosed"},
        {u"http://[zz::1]/", "bad IPv6"},
        {u"http://[::1]x/", "after the IPv6"},
        {u"http://h\u00f6st/", "international"},
        {u"http://host;x/", "bad character"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(Utf8FromText(test.text));
        try {
            ParseUrl(test.text);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::BadUrl);
            EXPECT_NE(Utf8FromText(e.description()).find(test.reason), std::string::npos) << e.what();
        }
    }
}

TEST(Url, ResolvesLocationsAgainstTheBase) {
    const Url base = ParseUrl(u"https://panel.example:5656/a/b/c?q=1");
    struct Case {
        const char* location;
        const char* expected;
    } cases[] = {
        {"http://other.example/x", "http://other.example/x"},
        {"//other.example:81/y", "https://other.example:81/y"},
        {"/root?z", "https://panel.example:5656/root?z"},
        {"d", "https://panel.example:5656/a/b/d"},
        {"./d/", "https://panel.example:5656/a/b/d/"},
        {"../d", "https://panel.example:5656/a/d"},
        {"../../../../d", "https://panel.example:5656/d"},
        {"?r=2", "https://panel.example:5656/a/b/c?r=2"},
        {"#frag", "https://panel.example:5656/a/b/c?q=1"},
        {"..", "https://panel.example:5656/a/"},
        {"HTTPS://PANEL.example/", "https://panel.example/"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.location);
        EXPECT_EQ(ResolveLocation(base, test.location).Text(), test.expected);
    }
    for (const char* bad : {"", "mailto:x@y", "http://", "/a b", "http://h:0/"}) {
        SCOPED_TRACE(bad);
        try {
            ResolveLocation(base, bad);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::BadRedirect);
        }
    }
}

}  // namespace
}  // namespace orbenix::http
