#include "engine/http/schannel_credential_choice.h"

namespace orbenix::http {

std::vector<CredentialAttempt> CredentialAttempts(std::uint32_t build) {
    constexpr CredentialAttempt tls12_only{CredentialForm::SchannelCred, false};
    if (build >= kFirstBuildWithTls13) {
        return {{CredentialForm::SchCredentials, true}, tls12_only};
    }
    return {tls12_only};
}

bool OffersTls13(std::uint32_t build) { return CredentialAttempts(build).front().offers_tls13; }

}  // namespace orbenix::http
