#pragma once
// Which Schannel credentials a Windows build gets, as a pure function of the
// build number (portable, so its table runs on every platform).
//
// Windows 11 and Server 2022 (build 20348 on) negotiate TLS 1.3 only through
// SCH_CREDENTIALS; given SCHANNEL_CRED naming TLS 1.2 and 1.3 they accept it
// and run TLS 1.2. Older builds have no supported TLS 1.3, so they get
// SCHANNEL_CRED with TLS 1.2 alone. A system that refuses the first form
// gets the next one in the list.
#include <cstdint>
#include <vector>

namespace orbenix::http {

constexpr std::uint32_t kFirstBuildWithTls13 = 20348;  // Windows Server 2022

enum class CredentialForm {
    SchCredentials,  // SCH_CREDENTIALS, the protocols below TLS 1.2 disabled
    SchannelCred,    // SCHANNEL_CRED naming TLS 1.2
};

struct CredentialAttempt {
    CredentialForm form;
    bool offers_tls13;
};

// The attempts in order, the preferred one first; never empty.
std::vector<CredentialAttempt> CredentialAttempts(std::uint32_t build);

// True when the preferred credentials of `build` offer TLS 1.3.
bool OffersTls13(std::uint32_t build);

}  // namespace orbenix::http
