// Redirects against our scripted servers: each hop offered to the Redirect
// event, relative targets, the hop limit, Allow = False, and where the form
// fields may go.
#include <gtest/gtest.h>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/recording_events.h"
#include "tests/support/http_test_server.h"

namespace orbenix::http {
namespace {

using test::HttpTestServer;
using test::RecordedRequest;
using test::Reply;
using testing::RecordingEvents;

std::u16string U(const std::string& s) { return TextFromUtf8(s); }

// Text joined by appending (GCC 12 warns falsely on "literal" + std::string in the mingw32 build).
std::string Join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const auto part : parts) out.append(part);
    return out;
}

std::unique_ptr<HttpComponent> FormPost(HttpEvents& events, const std::string& url) {
    auto c = CreateHttpComponent(events);
    c->SetUrl(U(url));
    c->AddFormField(u"key", Variant(u"secret"));
    c->AddFormField(u"action", Variant(u"info"));
    return c;
}

TEST(HttpRedirect, FollowsEachStatusWithTheConventionalMethod) {
    struct Case {
        int status;
        const char* method_after;
        bool body_after;
    } cases[] = {{301, "GET", false}, {302, "GET", false}, {303, "GET", false}, {307, "POST", true}, {308, "POST", true}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.status);
        HttpTestServer server([&](const RecordedRequest& r) {
            return r.target == "/start" ? Reply::Redirect(test.status, "/end") : Reply::Status(200, "arrived");
        });
        RecordingEvents events;
        auto c = FormPost(events, server.Url("/start"));
        c->Send();
        EXPECT_EQ(c->StatusCode(), 200);
        EXPECT_EQ(c->Body(), u"arrived");
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].target, "/end");
        EXPECT_EQ(requests[1].method, test.method_after);
        EXPECT_EQ(requests[1].body, test.body_after ? "key=secret&action=info" : "");
        ASSERT_EQ(events.redirects.size(), 1u);
        EXPECT_EQ(events.redirects[0], U(server.Url("/end")));
        EXPECT_EQ(events.disconnected.size(), 2u);
    }
}

TEST(HttpRedirect, ResolvesRelativeTargetsAndOffersEachHop) {
    HttpTestServer server([](const RecordedRequest& r) {
        if (r.target == "/a/b/start?q=1") return Reply::Redirect(302, "next?x=2");
        if (r.target == "/a/b/next?x=2") return Reply::Redirect(302, "../c/./d");
        if (r.target == "/a/c/d") return Reply::Redirect(307, "?only=query");
        if (r.target == "/a/c/d?only=query") return Reply::Redirect(308, "/final#fragment");
        return Reply::Status(200, Join({"at ", r.target}));
    });
    const std::string base = Join({"http://127.0.0.1:", std::to_string(server.port())});
    RecordingEvents events;
    auto c = FormPost(events, base + "/a/b/start?q=1");
    c->Send();
    EXPECT_EQ(c->Body(), u"at /final");
    const std::vector<std::u16string> expected = {U(base + "/a/b/next?x=2"), U(base + "/a/c/d"),
                                                  U(base + "/a/c/d?only=query"), U(base + "/final")};
    EXPECT_EQ(events.redirects, expected);
}

TEST(HttpRedirect, TenHopsAreFollowedAndTheEleventhIsAnError) {
    for (const int hops : {10, 11}) {
        SCOPED_TRACE(hops);
        HttpTestServer server([hops](const RecordedRequest& r) {
            const int n = std::stoi(r.target.substr(1));
            return n < hops ? Reply::Redirect(302, Join({"/", std::to_string(n + 1)})) : Reply::Status(200, "done");
        });
        RecordingEvents events;
        auto c = FormPost(events, server.Url("/0"));
        if (hops == 10) {
            c->Send();
            EXPECT_EQ(c->Body(), u"done");
            EXPECT_EQ(events.redirects.size(), 10u);
        } else {
            try {
                c->Send();
                ADD_FAILURE() << "no error after 11 redirects";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), error_numbers::TooManyRedirects);
                EXPECT_NE(Utf8FromText(e.description()).find("More than 10 redirects"), std::string::npos);
            }
            EXPECT_EQ(events.redirects.size(), 10u);
            EXPECT_EQ(server.Requests().size(), 11u);
        }
    }
}

TEST(HttpRedirect, LoopEndsWithAnErrorAfterTenHops) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Redirect(301, "/loop"); });
    RecordingEvents events;
    auto c = FormPost(events, server.Url("/loop"));
    try {
        c->Send();
        ADD_FAILURE() << "redirect loop accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), error_numbers::TooManyRedirects);
        EXPECT_NE(Utf8FromText(e.description()).find(server.Url("/loop")), std::string::npos) << e.what();
    }
    ASSERT_EQ(events.done.size(), 1u);
    EXPECT_EQ(events.done[0].code, error_numbers::TooManyRedirects);
}

TEST(HttpRedirect, AllowFalseStopsAndTheRedirectResponseStands) {
    HttpTestServer server([](const RecordedRequest& r) {
        return r.target == "/1" ? Reply::Redirect(302, "/2") : r.target == "/2" ? Reply::Redirect(303, "/3")
                                                                                 : Reply::Status(200, "end");
    });
    RecordingEvents events;
    events.allow_redirects_after = 1;
    auto c = FormPost(events, server.Url("/1"));
    c->Send();
    EXPECT_EQ(c->StatusCode(), 303);
    EXPECT_EQ(c->StatusText(), u"See Other");
    EXPECT_EQ(c->Body(), u"moved");
    EXPECT_EQ(events.redirects.size(), 2u);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpRedirect, FollowRedirectsOffReturnsTheFirstAnswer) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Redirect(302, "/elsewhere"); });
    RecordingEvents events;
    auto c = FormPost(events, server.Url("/"));
    c->SetFollowRedirects(false);
    c->Send();
    EXPECT_EQ(c->StatusCode(), 302);
    EXPECT_TRUE(events.redirects.empty());
}

TEST(HttpRedirect, HandlerMayChangeTheTarget) {
    HttpTestServer server([](const RecordedRequest& r) {
        return r.target == "/" ? Reply::Redirect(302, "/offered") : Reply::Status(200, r.target);
    });
    RecordingEvents events;
    events.rewrite_redirect = u"/chosen";
    auto c = FormPost(events, server.Url("/"));
    c->Send();
    EXPECT_EQ(c->Body(), u"/chosen");
}

TEST(HttpRedirect, FormFieldsGoOnlyToTheConfiguredHost) {
    // 127.0.0.1 is configured; "localhost" is another host name for the same server.
    HttpTestServer other([](const RecordedRequest&) { return Reply::Status(200, "other"); });
    HttpTestServer server([&](const RecordedRequest& r) {
        if (r.target == "/away") return Reply::Redirect(307, Join({"http://localhost:", std::to_string(other.port()), "/x"}));
        if (r.target == "/same-host-other-port") return Reply::Redirect(307, other.Url("/y"));
        return Reply::Status(200, "x");
    });
    RecordingEvents events;
    auto c = FormPost(events, server.Url("/away"));
    c->SetLogin(u"user");
    c->Send();
    auto seen = other.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(seen[0].Header("Content-Length"), "0");
    EXPECT_FALSE(seen[0].HasHeader("Authorization"));

    c = FormPost(events, server.Url("/same-host-other-port"));
    c->Send();
    seen = other.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].body, "key=secret&action=info");
}

TEST(HttpRedirect, FormFieldsNeverGoFromHttpsDownToHttp) {
    if (!HttpTestServer::TlsAvailable()) GTEST_SKIP() << "the scripted server offers no TLS here";
    HttpTestServer plain([](const RecordedRequest&) { return Reply::Status(200, "plain"); });
    HttpTestServer secure([&](const RecordedRequest&) { return Reply::Redirect(307, plain.Url("/down")); }, {true});
    RecordingEvents events;
    auto c = FormPost(events, secure.Url("/"));
    c->Send();
    EXPECT_EQ(c->Body(), u"plain");
    const auto seen = plain.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "");
    EXPECT_EQ(secure.Requests().at(0).body, "key=secret&action=info");
}

TEST(HttpRedirect, BadTargetsAreErrors) {
    for (const char* location : {"ftp://127.0.0.1/", "http://", "http://127.0.0.1:0/", "/a b"}) {
        SCOPED_TRACE(location);
        HttpTestServer server([&](const RecordedRequest&) { return Reply::Redirect(302, location); });
        RecordingEvents events;
        auto c = FormPost(events, server.Url("/"));
        try {
            c->Send();
            ADD_FAILURE() << "followed " << location;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::BadRedirect) << e.what();
        }
    }
}

}  // namespace
}  // namespace orbenix::http
