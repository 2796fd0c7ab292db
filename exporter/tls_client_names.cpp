#include "exporter/tls_client_names.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>

#include "exporter/openssl_handles.h"

namespace orbenix::exporter {
namespace {

// The whole string, embedded zero bytes included, so that "a.example\0.evil"
// never equals "a.example".
std::string Text(const ASN1_STRING* text) {
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                       static_cast<std::size_t>(ASN1_STRING_length(text)));
}

std::string AddressText(const ASN1_OCTET_STRING* address) {
    const unsigned char* bytes = ASN1_STRING_get0_data(address);
    const int length = ASN1_STRING_length(address);
    std::array<char, INET6_ADDRSTRLEN> text{};
    // An IPv4 address mapped into IPv6 reads as the IPv4 address.
    static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (length == 16 && std::equal(kMapped, kMapped + 12, bytes)) {
        return inet_ntop(AF_INET, bytes + 12, text.data(), text.size()) ? text.data() : "";
    }
    if (length == 4) return inet_ntop(AF_INET, bytes, text.data(), text.size()) ? text.data() : "";
    if (length == 16) return inet_ntop(AF_INET6, bytes, text.data(), text.size()) ? text.data() : "";
    return "";
}

}  // namespace

std::vector<std::string> SubjectAltNames(const x509_st* certificate) {
    std::vector<std::string> texts;
    GeneralNamesPtr names(
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr)));
    if (!names) return texts;
    for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
        switch (name->type) {
        case GEN_DNS: texts.push_back(Text(name->d.dNSName)); break;
        case GEN_EMAIL: texts.push_back(Text(name->d.rfc822Name)); break;
        case GEN_URI: texts.push_back(Text(name->d.uniformResourceIdentifier)); break;
        case GEN_IPADD:
            if (std::string address = AddressText(name->d.iPAddress); !address.empty()) texts.push_back(address);
            break;
        default: break;
        }
    }
    return texts;
}

bool HasAllowedName(const x509_st* certificate, const std::vector<std::string>& allowed) {
    for (const std::string& name : SubjectAltNames(certificate)) {
        if (std::find(allowed.begin(), allowed.end(), name) != allowed.end()) return true;
    }
    return false;
}

}  // namespace orbenix::exporter
