// TLS session resumption against nginx (fixture http_nginx), as nginx saw
// it ($ssl_session_reused in its log): which sends resume, which must not,
// and what the certificate handler is offered on a resumed handshake.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_component.h"
#include "engine/http/http_errors.h"
#include "engine/http/tls_session_cache.h"
#include "tests/engine/http/recording_events.h"
#include "tests/support/nginx_peer.h"

namespace orbenix::http {
namespace {

using testing::RecordingEvents;

enum class Ca { None, File, Copy };
// AcceptAll: verification off. Verify: leave Accept as offered. Refuse: a
// verifying caller's handler that says False to any certificate.
enum class Handler { AcceptAll, Verify, Refuse };

struct Send {
    std::uint16_t test::NginxPeer::*port;
    std::string host;
    Handler handler;
    Ca ca;
    bool resume = true;
};

struct Seen {
    bool sent = false;        // Send returned
    std::string reused;       // nginx's "r" or "."; "" when no request reached it
    std::string protocol;     // "TLSv1.2", "TLSv1.3"
    RecordingEvents events;
};

class HttpTlsResume : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = test::FindNginxPeer();
        if (!found) GTEST_SKIP() << "nginx fixture (http_nginx) is not running";
        peer = *found;
        ProcessTlsSessions().Clear();
        copy = std::filesystem::temp_directory_path() / ("orbenix-ca-copy-" + std::to_string(getpid()) + ".pem");
        std::filesystem::copy_file(peer.ca_file, copy, std::filesystem::copy_options::overwrite_existing);
    }
    void TearDown() override {
        ProcessTlsSessions().Clear();
        std::error_code ignored;
        std::filesystem::remove(copy, ignored);
    }

    // The log line of `uri`, once nginx has written it (waits at most 2 s).
    std::string LogLine(const std::string& uri) const {
        for (int attempt = 0; attempt < 200; ++attempt) {
            std::ifstream log(peer.tls_log);
            for (std::string line; std::getline(log, line);) {
                if (line.size() > uri.size() && line.ends_with(" " + uri)) return line;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    void Run(const Send& send, Seen& seen) {
        const std::string uri = "/resume/" + std::to_string(getpid()) + "/" + std::to_string(++sends);
        seen.events.accept_certificates = send.handler == Handler::AcceptAll ? std::optional<bool>(true)
                                          : send.handler == Handler::Refuse  ? std::optional<bool>(false)
                                                                             : std::nullopt;
        auto c = CreateHttpComponent(seen.events);
        c->SetUrl(TextFromUtf8("https://" + send.host + ":" + std::to_string(peer.*send.port) + uri));
        c->AddFormField(u"key", Variant(u"k"));
        c->SetTimeoutSeconds(20);
        if (send.ca == Ca::File) c->SetCaFile(peer.ca_file);
        if (send.ca == Ca::Copy) c->SetCaFile(copy.string());
        if (send.resume) c->SetTlsSessionResumption(true, send.handler != Handler::AcceptAll);
        try {
            c->Send();
            seen.sent = true;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::CertificateRejected) << e.what();
        }
        if (!seen.sent) return;  // refused before the request: nginx logs nothing
        std::istringstream fields(LogLine(uri));
        std::string port;
        fields >> port >> seen.protocol >> seen.reused;
    }

    test::NginxPeer peer;
    std::filesystem::path copy;
    static inline int sends = 0;  // URIs unique in the log over the whole program
};

TEST_F(HttpTlsResume, SessionsResumeOnlyUnderTheSameKey) {
    using P = test::NginxPeer;
    const Send verified{&P::good, "localhost", Handler::Verify, Ca::File};
    const Send verified_ip{&P::good, "127.0.0.1", Handler::Verify, Ca::File};
    const Send unverified_ip{&P::good, "127.0.0.1", Handler::AcceptAll, Ca::File};
    const Send selfsigned_off{&P::selfsigned, "127.0.0.1", Handler::AcceptAll, Ca::None};
    const Send selfsigned_on{&P::selfsigned, "127.0.0.1", Handler::Verify, Ca::None};
    Send copy_ca = verified;
    copy_ca.ca = Ca::Copy;
    Send no_resume = verified;
    no_resume.resume = false;
    Send refuse = verified;
    refuse.handler = Handler::Refuse;

    struct Step {
        Send send;
        const char* reused;  // nginx's view; "" = refused before any request
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"TLS 1.3 tickets, again and again", {{verified, "."}, {verified, "r"}, {verified, "r"}}},
        {"TLS 1.2 session IDs", {{{&P::tls12, "localhost", Handler::Verify, Ca::File}, "."},
                                 {{&P::tls12, "localhost", Handler::Verify, Ca::File}, "r"}}},
        {"TLS 1.3 only", {{{&P::tls13, "127.0.0.1", Handler::Verify, Ca::File}, "."},
                          {{&P::tls13, "127.0.0.1", Handler::Verify, Ca::File}, "r"}}},
        {"verification off, then on", {{unverified_ip, "."}, {verified_ip, "."}, {verified_ip, "r"}}},
        {"verification on, then off", {{verified_ip, "."}, {unverified_ip, "."}}},
        {"another CA file (same certificates)", {{verified, "."}, {copy_ca, "."}, {verified, "r"}}},
        {"another SNI name", {{verified, "."}, {verified_ip, "."}, {verified, "r"}}},
        {"another port", {{verified, "."}, {{&P::tls13, "localhost", Handler::Verify, Ca::File}, "."}}},
        {"unverified, accepted with verification off", {{selfsigned_off, "."}, {selfsigned_off, "r"}}},
        {"failed verification keeps nothing", {{selfsigned_on, ""}, {selfsigned_off, "."}, {selfsigned_on, ""}}},
        {"a refused certificate keeps nothing", {{refuse, ""}, {verified, "."}}},
        // TLS 1.2 gives its session in the handshake, before the handler decides.
        {"TLS 1.2: a refused certificate keeps nothing",
         {{{&P::tls12, "localhost", Handler::Refuse, Ca::File}, ""},
          {{&P::tls12, "localhost", Handler::Verify, Ca::File}, "."}}},
        {"refusal drops the resumed session", {{verified, "."}, {refuse, ""}, {verified, "."}}},
        {"not asked for: always full", {{no_resume, "."}, {no_resume, "."}}},
        {"not asked for: stores nothing", {{no_resume, "."}, {verified, "."}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessTlsSessions().Clear();
        std::vector<Seen> seen(c.steps.size());
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE("send " + std::to_string(i + 1));
            const std::size_t kept_before = ProcessTlsSessions().Size();
            Run(c.steps[i].send, seen[i]);
            if (!seen[i].sent) {
                EXPECT_LE(ProcessTlsSessions().Size(), kept_before) << "kept after a refusal";
            }
            EXPECT_EQ(seen[i].sent, *c.steps[i].reused != '\0');
            EXPECT_EQ(seen[i].reused, c.steps[i].reused);
            ASSERT_EQ(seen[i].events.certificates.size(), 1u);
        }
    }
}

// The handler gets the same certificate and verification result on a resumed
// handshake as on the full one: a verified one verified, a faulty one with
// its error, for TLS 1.2 sessions and TLS 1.3 tickets.
TEST_F(HttpTlsResume, ResumedHandshakeOffersTheSessionsCertificateAndResult) {
    using P = test::NginxPeer;
    const struct Case {
        const char* name;
        Send send;
        const char* protocol;
        bool verified;
    } cases[] = {
        {"TLS 1.2, verified", {&P::tls12, "localhost", Handler::Verify, Ca::File}, "TLSv1.2", true},
        {"TLS 1.3, verified", {&P::tls13, "localhost", Handler::Verify, Ca::File}, "TLSv1.3", true},
        {"TLS 1.3, self-signed", {&P::selfsigned, "127.0.0.1", Handler::AcceptAll, Ca::None}, "TLSv1.3", false},
        {"TLS 1.3, wrong name", {&P::wrongname, "127.0.0.1", Handler::AcceptAll, Ca::File}, "TLSv1.3", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessTlsSessions().Clear();
        Seen full, resumed;
        Run(c.send, full);
        Run(c.send, resumed);
        ASSERT_TRUE(full.sent && resumed.sent);
        EXPECT_EQ(full.reused, ".");
        EXPECT_EQ(resumed.reused, "r");
        EXPECT_EQ(resumed.protocol, c.protocol);
        ASSERT_EQ(full.events.certificates.size(), 1u);
        ASSERT_EQ(resumed.events.certificates.size(), 1u);
        const auto& first = full.events.certificates[0];
        const auto& again = resumed.events.certificates[0];
        EXPECT_EQ(first.code == 0, c.verified) << Utf8FromText(first.text);
        EXPECT_EQ(again.code, first.code);
        EXPECT_EQ(again.text, first.text);
        EXPECT_EQ(again.accept_offered, c.verified);
        EXPECT_EQ(again.cert.der, first.cert.der);
        EXPECT_EQ(again.cert.subject, first.cert.subject);
        EXPECT_FALSE(again.cert.der.empty());
    }
}

}  // namespace
}  // namespace orbenix::http
