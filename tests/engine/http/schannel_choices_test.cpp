// The decisions of the Schannel backend that only real Windows systems
// tell apart (Wine shows one of each): the credentials by build number, the
// handshake's answer to a request for client credentials (Wine's Schannel
// never asks), the sighting of a server's CertificateRequest, and the
// language of the system's error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/utf8.h"
#include "engine/http/schannel_credential_choice.h"
#include "engine/http/schannel_handshake.h"
#include "engine/http/system_error_text.h"

namespace orbenix::http {
namespace {

TEST(SchannelChoices, CredentialsAndTls13ExpectationFollowTheBuildNumber) {
    constexpr auto kModern = CredentialForm::SchCredentials;
    constexpr auto kClassic = CredentialForm::SchannelCred;
    struct Case {
        std::uint32_t build;
        const char* system;
        std::vector<CredentialAttempt> attempts;
    } cases[] = {
        {0, "build unknown", {{kClassic, false}}},
        {7601, "Windows 7 SP1", {{kClassic, false}}},
        {9600, "Windows 8.1", {{kClassic, false}}},
        {17763, "Windows 10 1809, Server 2019", {{kClassic, false}}},
        {19045, "Windows 10 22H2", {{kClassic, false}}},
        {20347, "last build before Server 2022", {{kClassic, false}}},
        {20348, "Server 2022", {{kModern, true}, {kClassic, false}}},
        {22000, "Windows 11 21H2", {{kModern, true}, {kClassic, false}}},
        {26100, "Windows 11 24H2, Server 2025", {{kModern, true}, {kClassic, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        const std::vector<CredentialAttempt> attempts = CredentialAttempts(c.build);
        ASSERT_EQ(attempts.size(), c.attempts.size());
        for (std::size_t i = 0; i < attempts.size(); ++i) {
            EXPECT_EQ(attempts[i].form, c.attempts[i].form) << i;
            EXPECT_EQ(attempts[i].offers_tls13, c.attempts[i].offers_tls13) << i;
        }
        // The TLS 1.3 test expects a TLS 1.3 handshake exactly here.
        EXPECT_EQ(OffersTls13(c.build), c.attempts.front().offers_tls13);
    }
}

TEST(SchannelChoices, RequestForClientCredentialsIsAnsweredOnceWithTheSameInput) {
    using S = HandshakeStatus;
    using N = HandshakeNext;
    struct Case {
        HandshakeStatus status;
        bool asked_before;
        bool extra_left;
        HandshakeNext next;
        bool input_consumed;
    } cases[] = {
        // Asked for a certificate: nothing consumed, call again at once (a
        // read would wait for a server that waits for us).
        {S::IncompleteCredentials, false, false, N::CallAgain, false},
        {S::IncompleteCredentials, false, true, N::CallAgain, false},
        {S::IncompleteCredentials, true, false, N::FailNoCertificate, false},
        // The loop around it.
        {S::ContinueNeeded, true, false, N::ReadMore, true},
        {S::ContinueNeeded, false, true, N::CallAgain, true},
        {S::IncompleteMessage, false, true, N::ReadMore, false},
        {S::Ok, false, true, N::Done, true},
        {S::Failed, true, false, N::Fail, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status) * 100 + c.asked_before * 10 + c.extra_left);
        const HandshakeStep step = NextHandshakeStep(c.status, c.asked_before, c.extra_left);
        EXPECT_EQ(step.next, c.next);
        EXPECT_EQ(step.input_consumed, c.input_consumed);
    }
}

// Records of the server's flight: type, version 3.3, length, fragment.
std::string Record(unsigned char type, const std::string& fragment) {
    return std::string{static_cast<char>(type), 3, 3, static_cast<char>(fragment.size() >> 8),
                       static_cast<char>(fragment.size() & 0xFF)} +
           fragment;
}
std::string Message(unsigned char type, std::size_t size) {
    return std::string{static_cast<char>(type), 0, static_cast<char>(size >> 8),
                       static_cast<char>(size & 0xFF)} +
           std::string(size, '\x0d');  // bodies full of the request's type byte
}

TEST(SchannelChoices, CertificateRequestIsSeenInThePlaintextHandshakeOnly) {
    const std::string hello = Message(2, 70);
    const std::string certificate = Message(11, 900);
    const std::string request = Message(13, 40);
    const std::string done = Message(14, 0);
    const std::string flight = hello + certificate + request + done;
    struct Case {
        const char* what;
        std::string bytes;
        bool requested;
    } cases[] = {
        {"one record", Record(22, flight), true},
        {"a record per message", Record(22, hello) + Record(22, certificate) + Record(22, request) +
                                     Record(22, done),
         true},
        {"the request torn across records",
         Record(22, hello + certificate + request.substr(0, 2)) + Record(22, request.substr(2) + done),
         true},
        {"no request", Record(22, hello + certificate + done), false},
        {"after ChangeCipherSpec (encrypted)",
         Record(22, hello) + Record(20, std::string(1, '\x01')) + Record(22, request), false},
        {"after an alert", Record(21, std::string{2, 40}) + Record(22, request), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::size_t piece : {c.bytes.size(), std::size_t{1}, std::size_t{7}}) {
            CertificateRequestWatch watch;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
                const std::size_t size = std::min(piece, c.bytes.size() - at);
                watch.Feed(reinterpret_cast<const unsigned char*>(c.bytes.data()) + at, size);
            }
            EXPECT_EQ(watch.requested(), c.requested) << "in pieces of " << piece;
        }
    }
}

TEST(SchannelChoices, ErrorTextsFallBackFromEnglishToTheSystemsLanguage) {
    struct Case {
        const char* what;
        std::uint32_t code;
        const char16_t* english;  // nullptr: no English resources
        const char16_t* any;      // in the system's language
        const char16_t* fallback;
        const char* expected;
        std::vector<std::uint16_t> asked;
    } cases[] = {
        {"English", 5, u"Access is denied.\r\n", u"Zugriff verweigert\r\n", u"", "Access is denied (5)",
         {0x0409}},
        {"no English resources", 5, nullptr, u"Zugriff verweigert\r\n", u"", "Zugriff verweigert (5)",
         {0x0409, 0}},
        {"no message, a fallback", 0x80090327, nullptr, nullptr, u"The certificate is unknown",
         "The certificate is unknown (0x80090327)", {0x0409, 0}},
        {"nothing", 10060, nullptr, nullptr, u"", "error 10060", {0x0409, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint16_t> asked;
        const MessageLookup lookup = [&](std::uint32_t code, std::uint16_t language) {
            EXPECT_EQ(code, c.code);
            asked.push_back(language);
            const char16_t* text = language == kLanguageEnglishUs ? c.english : c.any;
            return std::u16string(text == nullptr ? u"" : text);
        };
        EXPECT_EQ(Utf8FromText(ComposeSystemErrorText(c.code, lookup, c.fallback)), c.expected);
        EXPECT_EQ(asked, c.asked);
    }
}

}  // namespace
}  // namespace orbenix::http
