// TLS against nginx (started by the fixture http_nginx): certificates that
// verify, and self-signed, expired and wrong-name ones, accepted by the
// check's handler and refused when the handler says so.
#include <gtest/gtest.h>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "tests/engine/http/recording_events.h"
#include "tests/support/nginx_peer.h"

namespace orbenix::http {
namespace {

using testing::RecordingEvents;

const char16_t* const kAnswer = u"<status>success</status><statusmsg>online</statusmsg><vmstat>online</vmstat>";

std::unique_ptr<HttpComponent> Post(HttpEvents& events, const std::string& url) {
    auto c = CreateHttpComponent(events);
    c->SetUrl(TextFromUtf8(url));
    c->AddFormField(u"key", Variant(u"k"));
    c->SetTimeoutSeconds(20);
    return c;
}

class HttpTls : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = test::FindNginxPeer();
        if (!found) GTEST_SKIP() << "nginx fixture (http_nginx) is not running";
        peer = *found;
    }
    std::string Https(std::uint16_t port, const std::string& host = "127.0.0.1") const {
        return "https://" + host + ":" + std::to_string(port) + "/api/client/command.php";
    }
    test::NginxPeer peer;
};

TEST_F(HttpTls, VerifiedCertificateIsOfferedWithoutError) {
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        SCOPED_TRACE(host);
        RecordingEvents events;
        auto c = Post(events, Https(peer.good, host));
        c->SetCaFile(peer.ca_file);
        c->Send();
        EXPECT_EQ(c->StatusCode(), 200);
        EXPECT_EQ(c->Body(), kAnswer);
        ASSERT_EQ(events.certificates.size(), 1u);
        const auto& seen = events.certificates[0];
        EXPECT_EQ(seen.code, 0) << Utf8FromText(seen.text);
        EXPECT_TRUE(seen.accept_offered);
        EXPECT_NE(Utf8FromText(seen.cert.subject).find("CN=good"), std::string::npos) << Utf8FromText(seen.cert.subject);
        EXPECT_NE(Utf8FromText(seen.cert.issuer).find("orbenix test CA"), std::string::npos);
        EXPECT_FALSE(seen.cert.der.empty());
        EXPECT_FALSE(seen.cert.not_after.empty());
    }
}

TEST_F(HttpTls, FaultyCertificatesAreAcceptedByTheHandlerAndRefusedOnRequest) {
    struct Case {
        const char* name;
        std::uint16_t port;
        bool with_ca;
    } cases[] = {
        {"self-signed", peer.selfsigned, false},
        {"unknown issuer", peer.good, false},
        {"expired", peer.expired, true},
        {"wrong name", peer.wrongname, true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        RecordingEvents events;
        auto c = Post(events, Https(test.port));
        if (test.with_ca) c->SetCaFile(peer.ca_file);
        c->Send();  // the check's handler accepts every certificate
        EXPECT_EQ(c->StatusCode(), 200);
        EXPECT_EQ(c->Body(), kAnswer);
        ASSERT_EQ(events.certificates.size(), 1u);
        EXPECT_NE(events.certificates[0].code, 0);
        EXPECT_FALSE(events.certificates[0].text.empty());
        EXPECT_FALSE(events.certificates[0].accept_offered);

        RecordingEvents refusing;
        refusing.accept_certificates = std::nullopt;  // leave Accept as offered: False
        c = Post(refusing, Https(test.port));
        if (test.with_ca) c->SetCaFile(peer.ca_file);
        try {
            c->Send();
            ADD_FAILURE() << "faulty certificate not refused";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::CertificateRejected);
            EXPECT_NE(Utf8FromText(e.description()).find("127.0.0.1:" + std::to_string(test.port)), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(c->StatusCode(), 0);
    }
}

TEST_F(HttpTls, HandlerCanRefuseAVerifiedCertificate) {
    RecordingEvents events;
    events.accept_certificates = false;
    auto c = Post(events, Https(peer.good));
    c->SetCaFile(peer.ca_file);
    try {
        c->Send();
        ADD_FAILURE() << "refusal ignored";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), error_numbers::CertificateRejected);
    }
}

TEST_F(HttpTls, RedirectOverTlsAndPlainHttp) {
    RecordingEvents events;
    auto c = Post(events, "https://127.0.0.1:" + std::to_string(peer.selfsigned) + "/redirect");
    c->Send();
    EXPECT_EQ(c->StatusCode(), 200);
    ASSERT_EQ(events.redirects.size(), 1u);
    EXPECT_EQ(Utf8FromText(events.redirects[0]),
              "https://127.0.0.1:" + std::to_string(peer.selfsigned) + "/api/client/command.php");
    EXPECT_EQ(events.certificates.size(), 2u);  // one per connection

    RecordingEvents plain;
    c = Post(plain, "http://127.0.0.1:" + std::to_string(peer.http) + "/api/client/command.php");
    c->Send();
    EXPECT_EQ(c->Body(), kAnswer);
    EXPECT_TRUE(plain.certificates.empty());
}

TEST_F(HttpTls, PlainHttpServerIsATlsHandshakeFailure) {
    RecordingEvents events;
    auto c = Post(events, Https(peer.http));
    try {
        c->Send();
        ADD_FAILURE() << "TLS to a plain HTTP port succeeded";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), error_numbers::TlsHandshakeFailed) << e.what();
        EXPECT_NE(Utf8FromText(e.description()).find("TLS handshake with 127.0.0.1:" + std::to_string(peer.http)),
                  std::string::npos)
            << e.what();
    }
}

}  // namespace
}  // namespace orbenix::http
