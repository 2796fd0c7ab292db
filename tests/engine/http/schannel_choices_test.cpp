// The decisions of the Schannel backend that only real Windows systems
// tell apart (Wine shows one of each): the credentials by build number, and
// the language of the system's error texts.
#include <gtest/gtest.h>

#include <vector>

#include "engine/http/schannel_credential_choice.h"
#include "engine/http/system_error_text.h"
#include "params/utf8.h"

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
