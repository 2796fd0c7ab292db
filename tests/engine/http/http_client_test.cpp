// The component against our scripted server on 127.0.0.1: what goes on the
// wire, every response framing end to end, redirects, failures and the deadline.
#include <gtest/gtest.h>

#include <chrono>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/recording_events.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_socket.h"

namespace orbenix::http {
namespace {

using test::HttpTestServer;
using test::RecordedRequest;
using test::Reply;
using testing::RecordingEvents;

std::u16string U(const std::string& s) { return TextFromUtf8(s); }

// The component configured the way a check configures it.
std::unique_ptr<HttpComponent> CheckLikeComponent(HttpEvents& events, const std::string& url) {
    auto c = CreateHttpComponent(events);
    c->SetLogin(u"");
    c->SetBlocking(true);
    c->SetFollowRedirects(true);
    c->AddHeader(u"Pragma", Variant(u"no-cache"));
    c->AddHeader(u"User-Agent", Variant(u"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"));
    c->SetHttpVersion(u"HTTP/1.1");
    c->SetProxyKind(0);
    c->SetUrl(U(url));
    c->ClearFormFields();
    c->AddFormField(u"key", Variant(u"k e&y=1"));
    c->AddFormField(u"hash", Variant(u"h\u00e4sh"));
    c->AddFormField(u"action", Variant(u"info"));
    c->AddFormField(u"status", Variant(u"true"));
    return c;
}

// Plain HTTP, and HTTPS where the scripted server offers TLS.
std::vector<bool> TlsModes() {
    if (HttpTestServer::TlsAvailable()) return {false, true};
    return {false};
}

// Runs Send and returns the error it raised (number 0 when none).
Error SendError(HttpComponent& c) {
    try {
        c.Send();
    } catch (const Error& e) {
        return e;
    }
    return Error(0, u"");
}

TEST(HttpClient, SendsTheCheckRequestAsFormPost) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "<vmstat>online</vmstat>"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, server.Url("/api/client/command.php?x=1"));
    c->Send();
    EXPECT_EQ(c->StatusCode(), 200);
    EXPECT_EQ(c->StatusText(), u"OK");
    EXPECT_EQ(c->Body(), u"<vmstat>online</vmstat>");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/api/client/command.php?x=1");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.Header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(r.Header("Pragma"), "no-cache");
    EXPECT_EQ(r.Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Connection"), "close");
    EXPECT_FALSE(r.HasHeader("Authorization"));
    EXPECT_EQ(r.body, "key=k+e%26y%3D1&hash=h%C3%A4sh&action=info&status=true");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(r.body.size()));

    ASSERT_EQ(events.done.size(), 1u);
    EXPECT_EQ(events.done[0].code, 0);
    ASSERT_EQ(events.disconnected.size(), 1u);
    EXPECT_EQ(events.disconnected[0].code, 0);
}

TEST(HttpClient, ReadsEveryResponseFraming) {
    const std::string big(300000, 'x');
    struct Case {
        const char* name;
        Reply reply;
        int status;
        std::u16string reason;
        std::u16string body;
    } cases[] = {
        {"content-length", Reply::Status(200, "hello"), 200, u"OK", u"hello"},
        {"empty content-length", Reply::Status(500), 500, u"Internal Server Error", u""},
        {"chunked", Reply::Chunked({"he", "llo", " world"}), 200, u"OK", u"hello world"},
        {"chunked with extension and trailer",
         Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=v\r\nhello\r\n0\r\nX-T: 1\r\n\r\n"),
         200, u"OK", u"hello"},
        {"until close", Reply::UntilClose("closing body"), 200, u"OK", u"closing body"},
        {"HTTP/1.0 until close", Reply::Raw("HTTP/1.0 200 OK\r\n\r\nold"), 200, u"OK", u"old"},
        {"missing reason", Reply::Raw("HTTP/1.1 404\r\nContent-Length: 2\r\n\r\nno"), 404, u"", u"no"},
        {"1xx skipped",
         Reply::Raw("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: y\r\n\r\nHTTP/1.1 200 OK\r\n"
                    "Content-Length: 2\r\n\r\nok"),
         200, u"OK", u"ok"},
        {"bare LF line ends", Reply::Raw("HTTP/1.1 200 OK\nContent-Length: 3\n\nabc"), 200, u"OK", u"abc"},
        {"204 without body", Reply::Raw("HTTP/1.1 204 No Content\r\n\r\n"), 204, u"No Content", u""},
        {"body sent in slow pieces",
         Reply().Send("HTTP/1.1 200 OK\r\nContent-Le", 20).Send("ngth: 6\r\n\r\nab", 20).Send("cdef"), 200, u"OK",
         u"abcdef"},
        {"bytes after the body ignored", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA"), 200,
         u"OK", u"ok"},
        {"UTF-8 body", Reply::Status(200, "gr\xC3\xBC\xC3\x9F"), 200, u"OK", u"gr\u00fc\u00df"},
        {"ANSI body", Reply::Status(200, "gr\xFC\xDF \x80"), 200, u"OK", u"gr\u00fc\u00df \u20ac"},
        {"large body", Reply::Status(200, big), 200, u"OK", U(big)},
        // Complete answers end the read; the server's open connection does not matter.
        {"length, connection held open", Reply::Status(200, "held").Stall(), 200, u"OK", u"held"},
        {"chunked, connection held open", Reply::Chunked({"held"}).Stall(), 200, u"OK", u"held"},
    };
    for (const bool tls : TlsModes()) {
    for (auto& test : cases) {
        SCOPED_TRACE(std::string(test.name) + (tls ? " over TLS" : ""));
        HttpTestServer server([&](const RecordedRequest&) { return test.reply; }, {tls});
        RecordingEvents events;
        auto c = CheckLikeComponent(events, server.Url("/"));
        ASSERT_NO_THROW(c->Send());
        EXPECT_EQ(c->StatusCode(), test.status);
        EXPECT_EQ(c->StatusText(), test.reason);
        EXPECT_EQ(c->Body(), test.body);
        EXPECT_EQ(events.certificates.size(), tls ? 1u : 0u);
    }
    }
}

TEST(HttpClient, RejectsHostileResponsesWithANumberedError) {
    const std::string many_headers = [] {
        std::string s = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 101; ++i) s += "X-" + std::to_string(i) + ": v\r\n";
        return s + "Content-Length: 0\r\n\r\n";
    }();
    struct Case {
        const char* name;
        Reply reply;
        std::int32_t number;
        std::string text_part;
    } cases[] = {
        {"header section too large", Reply::Raw("HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'a') + "\r\n\r\n"),
         error_numbers::HeaderTooLarge, "Response header section is larger than 65536 bytes"},
        {"too many headers", Reply::Raw(many_headers), error_numbers::TooManyHeaders, "more than 100 header lines"},
        {"body too large by Content-Length", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n"),
         error_numbers::BodyTooLarge, "larger than 1048576 bytes"},
        {"body too large until close", Reply::UntilClose(std::string(1048577, 'b')), error_numbers::BodyTooLarge,
         "larger than 1048576 bytes"},
        {"body too large chunked", Reply::Chunked({std::string(1048576, 'c'), "d"}), error_numbers::BodyTooLarge,
         "larger than 1048576 bytes"},
        {"truncated body", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"),
         error_numbers::ConnectionClosed, "after 3 of 10 body bytes"},
        {"truncated chunked", Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab"),
         error_numbers::ConnectionClosed, "inside the chunked body"},
        {"closed before answering", Reply(), error_numbers::ConnectionClosed, "before any response"},
        {"truncated header", Reply::Raw("HTTP/1.1 200 OK\r\nContent-"), error_numbers::ConnectionClosed,
         "header was complete"},
        {"bad chunk size", Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-5\r\nhello\r\n0\r\n\r\n"),
         error_numbers::BadChunk, "not a hex number"},
        {"bad content length", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n"),
         error_numbers::BadContentLength, "Bad Content-Length"},
        {"conflicting content length",
         Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab"),
         error_numbers::BadContentLength, "Conflicting"},
        {"not HTTP", Reply::Raw("SSH-2.0-OpenSSH\r\n\r\n"), error_numbers::BadResponse, "Bad status line"},
        {"reset mid-body", [] { Reply r = Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"); r.steps[0].pause_ms = 50; r.reset = true; return r; }(),
         0, "body"},
    };
    for (const bool tls : TlsModes()) {
    for (auto& test : cases) {
        SCOPED_TRACE(std::string(test.name) + (tls ? " over TLS" : ""));
        HttpTestServer server([&](const RecordedRequest&) { return test.reply; }, {tls});
        RecordingEvents events;
        auto c = CheckLikeComponent(events, server.Url("/"));
        const Error e = SendError(*c);
        if (test.number != 0) {
            EXPECT_EQ(e.number(), test.number);
        } else {
            EXPECT_TRUE(e.number() == error_numbers::ConnectionClosed || e.number() == error_numbers::SocketFailed)
                << e.what();
        }
        const std::string text = Utf8FromText(e.description());
        if (test.number != 0) {
            EXPECT_NE(text.find(test.text_part), std::string::npos) << text;
        }
        EXPECT_NE(text.find("127.0.0.1:" + std::to_string(server.port())), std::string::npos) << text;
        EXPECT_EQ(c->StatusCode(), 0);
        ASSERT_EQ(events.done.size(), 1u);
        EXPECT_EQ(events.done[0].code, e.number());
        ASSERT_EQ(events.disconnected.size(), 1u);
        EXPECT_EQ(events.disconnected[0].code, e.number());
    }
    }
}

TEST(HttpClient, StalledServerFailsAtTheDeadline) {
    struct Case {
        const char* name;
        Reply reply;
    } cases[] = {
        {"no answer", Reply().Stall()},
        {"half a header", Reply().Send("HTTP/1.1 200 OK\r\n").Stall()},
        {"half a body", Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab").Stall()},
        {"trickle", [] {
             Reply r = Reply().Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
             for (int i = 0; i < 100; ++i) r.Send("x", 100);
             return r;
         }()},
    };
    for (const bool tls : TlsModes()) {
    for (auto& test : cases) {
        SCOPED_TRACE(std::string(test.name) + (tls ? " over TLS" : ""));
        HttpTestServer server([&](const RecordedRequest&) { return test.reply; }, {tls});
        RecordingEvents events;
        auto c = CheckLikeComponent(events, server.Url("/"));
        c->SetTimeoutSeconds(1);
        const auto start = std::chrono::steady_clock::now();
        const Error e = SendError(*c);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(e.number(), error_numbers::TimedOut);
        EXPECT_EQ(Utf8FromText(e.description()),
                  "Timed out after 1 s waiting for the response from 127.0.0.1:" + std::to_string(server.port()));
        EXPECT_GE(took, std::chrono::milliseconds(900));
        EXPECT_LT(took, std::chrono::seconds(5));
        server.Stop();
    }
    }
}

TEST(HttpClient, TlsEndWithoutCloseNotify) {
    if (!HttpTestServer::TlsAvailable()) GTEST_SKIP() << "the scripted server offers no TLS here (nginx covers HTTPS)";
    // A body that runs until close ends at the socket's close as well.
    Reply until_close = Reply::UntilClose("no notify");
    until_close.close_notify = false;
    HttpTestServer server([&](const RecordedRequest& r) {
        if (r.target == "/close") return until_close;
        Reply truncated = Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        truncated.close_notify = false;
        return truncated;
    }, {true});
    RecordingEvents events;
    auto c = CheckLikeComponent(events, server.Url("/close"));
    c->Send();
    EXPECT_EQ(c->Body(), u"no notify");
    c = CheckLikeComponent(events, server.Url("/truncated"));
    EXPECT_EQ(SendError(*c).number(), error_numbers::ConnectionClosed);
}

TEST(HttpClient, StalledTlsHandshakeFailsAtTheDeadline) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "never"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, "https://127.0.0.1:" + std::to_string(server.port()) + "/");
    c->SetTimeoutSeconds(1);
    const Error e = SendError(*c);
    EXPECT_EQ(e.number(), error_numbers::TimedOut);
    EXPECT_EQ(Utf8FromText(e.description()),
              "Timed out after 1 s in the TLS handshake with 127.0.0.1:" + std::to_string(server.port()));
    server.Stop();
}

TEST(HttpClient, NameWithSeveralAddressesReachesTheOneThatListens) {
    // "localhost" may give ::1 first; the server listens on 127.0.0.1 only.
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "found"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, "http://localhost:" + std::to_string(server.port()) + "/");
    c->Send();
    EXPECT_EQ(c->Body(), u"found");
    EXPECT_EQ(server.Requests().at(0).Header("Host"), "localhost:" + std::to_string(server.port()));
}

TEST(HttpClient, ConnectionFailuresNameTheTarget) {
    RecordingEvents events;
    const auto port = std::to_string(test::UnusedLoopbackPort());
    auto c = CheckLikeComponent(events, "http://127.0.0.1:" + port + "/");
    Error e = SendError(*c);
    EXPECT_EQ(e.number(), error_numbers::ConnectionRefused);
    EXPECT_EQ(Utf8FromText(e.description()), "Connection refused by 127.0.0.1:" + port);
    EXPECT_TRUE(events.disconnected.empty());
    ASSERT_EQ(events.done.size(), 1u);
    EXPECT_EQ(events.done[0].code, error_numbers::ConnectionRefused);

    c = CheckLikeComponent(events, "http://no-such-host.invalid/");
    e = SendError(*c);
    EXPECT_EQ(e.number(), error_numbers::ResolveFailed);
    EXPECT_NE(Utf8FromText(e.description()).find("no-such-host.invalid"), std::string::npos) << e.what();
}

TEST(HttpClient, BadRequestsFailBeforeAnythingIsSent) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "x"); });
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    RecordingEvents events;
    for (const char* url : {"127.0.0.1/", "ftp://127.0.0.1/", "http:///x", "http://127.0.0.1:0/", "http://127.0.0.1:99999/",
                            "http://127.0.0.1:8a/", "http://127.0.0.1/a b", "http://127.0.0.1/\x01", ""}) {
        SCOPED_TRACE(url);
        auto c = CheckLikeComponent(events, url);
        const Error e = SendError(*c);
        EXPECT_EQ(e.number(), error_numbers::BadUrl);
    }
    auto c = CreateHttpComponent(events);
    const std::pair<std::u16string, std::u16string> headers[] = {
        {u"X-A", u"a\r\nInjected: 1"}, {u"X-B", u"a\nb"},           {u"X\rC", u"v"},
        {std::u16string(u"X-D\0", 4), u"v"}, {u"X-E", std::u16string(u"nul\0x", 5)}, {u"Bad Name", u"v"},
        {u"", u"v"},                      {u"Host", u"evil"},             {u"content-length", u"5"},
    };
    for (const auto& [name, value] : headers) {
        try {
            c->AddHeader(name, Variant(value));
            ADD_FAILURE() << "accepted header " << Utf8FromText(name);
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::BadHeader);
        }
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClient, OptionsThatCannotWorkAreRefused) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "x"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, server.Url("/"));
    EXPECT_THROW(c->SetHttpVersion(u"HTTP/2"), Error);
    EXPECT_THROW(c->SetTimeoutSeconds(0), Error);
    c->SetBlocking(false);
    EXPECT_EQ(SendError(*c).number(), error_numbers::BadOption);
    c->SetBlocking(true);
    c->SetProxyKind(2);
    c->SetProxyHost(u"");
    c->SetProxyPort(0);
    const Error e = SendError(*c);
    EXPECT_TRUE(e.number() == error_numbers::ProxyNotSupported || e.number() == error_numbers::ProxyConfig) << e.what();
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpClient, LoginSendsBasicCredentialsAndHttp10IsSpoken) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "x"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, server.Url("/"));
    c->SetLogin(u"panel");
    c->SetHttpVersion(u"HTTP/1.0");
    c->Send();
    const auto r = server.Requests().at(0);
    EXPECT_EQ(r.Header("Authorization"), "Basic cGFuZWw6");
    EXPECT_EQ(r.version, "HTTP/1.0");
}

TEST(HttpClient, WithoutFormFieldsTheRequestIsAGet) {
    HttpTestServer server([](const RecordedRequest&) { return Reply::Status(200, "x"); });
    RecordingEvents events;
    auto c = CheckLikeComponent(events, server.Url("/"));
    c->ClearFormFields();
    c->Send();
    const auto r = server.Requests().at(0);
    EXPECT_EQ(r.method, "GET");
    EXPECT_FALSE(r.HasHeader("Content-Length"));
    EXPECT_TRUE(r.body.empty());
}

}  // namespace
}  // namespace orbenix::http
