#include "engine/http/schannel_certificate.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/system_error_win32.h"

namespace orbenix::http {
namespace {

std::u16string Ascii(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

// "CN=host,O=Maker": most specific part first, RFC 2253 escapes, the way the
// other TLS backend prints names.
std::u16string NameText(const CERT_NAME_BLOB& name) {
    auto* blob = const_cast<CERT_NAME_BLOB*>(&name);
    const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG |
                        CERT_NAME_STR_CRLF_FLAG | CERT_NAME_STR_NO_QUOTING_FLAG;
    const DWORD size = CertNameToStrW(X509_ASN_ENCODING, blob, flags, nullptr, 0);
    if (size <= 1) return {};
    std::u16string parts(size, u'\0');
    CertNameToStrW(X509_ASN_ENCODING, blob, flags, reinterpret_cast<wchar_t*>(parts.data()), size);
    parts.resize(size - 1);
    // Each line is "KEY=value"; Wine quotes values despite NO_QUOTING.
    std::u16string text;
    std::size_t start = 0;
    while (start < parts.size()) {
        std::size_t end = parts.find(u"\r\n", start);
        if (end == std::u16string::npos) end = parts.size();
        const std::u16string_view line(parts.data() + start, end - start);
        const std::size_t equals = line.find(u'=');
        std::u16string_view value =
            equals == std::u16string_view::npos ? std::u16string_view() : line.substr(equals + 1);
        const bool quoted = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
        if (quoted) value = value.substr(1, value.size() - 2);
        if (!text.empty()) text += u',';
        text += line.substr(0, equals == std::u16string_view::npos ? line.size() : equals + 1);
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (quoted && value[i] == u'"' && i + 1 < value.size() && value[i + 1] == u'"') ++i;
            if (std::u16string_view(u",+\"\\<>;").find(value[i]) != std::u16string_view::npos) {
                text += u'\\';
            }
            text += value[i];
        }
        start = end + 2;
    }
    return text;
}

// "Jan  1 00:00:00 2026 GMT", the way the other TLS backend prints times.
std::u16string TimeText(const FILETIME& time) {
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return {};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s %2u %02u:%02u:%02u %u GMT",
                  months[(utc.wMonth + 11) % 12], utc.wDay, utc.wHour, utc.wMinute, utc.wSecond,
                  utc.wYear);
    return Ascii(text);
}

Certificate Fields(const CERT_CONTEXT& cert) {
    Certificate fields;
    fields.subject = NameText(cert.pCertInfo->Subject);
    fields.issuer = NameText(cert.pCertInfo->Issuer);
    fields.not_before = TimeText(cert.pCertInfo->NotBefore);
    fields.not_after = TimeText(cert.pCertInfo->NotAfter);
    fields.der.assign(reinterpret_cast<const char*>(cert.pbCertEncoded), cert.cbCertEncoded);
    return fields;
}

// The address bytes of an IP literal (4 or 16), empty for a name.
std::vector<unsigned char> AddressBytes(const std::string& host) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v4);
        return {bytes, bytes + sizeof v4};
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&v6);
        return {bytes, bytes + sizeof v6};
    }
    return {};
}

// The SSL policy of the chain engine matches DNS names; an address literal is
// matched here against the certificate's IP address entries.
bool CertificateNamesAddress(const CERT_CONTEXT& cert, const std::vector<unsigned char>& address) {
    const CERT_EXTENSION* extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert.pCertInfo->cExtension,
                          cert.pCertInfo->rgExtension);
    if (extension == nullptr) return false;
    CERT_ALT_NAME_INFO* raw = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &raw,
                             &size)) {
        return false;
    }
    const LocalMemory<CERT_ALT_NAME_INFO> names(raw);
    for (DWORD i = 0; i < names->cAltEntry; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0) {
            return true;
        }
    }
    return false;
}

// The first fault the chain engine found, as the SSL policy would name it.
std::uint32_t ChainError(DWORD status, bool anchored_in_ca_file) {
    if (anchored_in_ca_file) status &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
    const struct {
        DWORD bits;
        HRESULT code;
    } faults[] = {
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE},
        {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
        {CERT_TRUST_IS_PARTIAL_CHAIN, CERT_E_CHAINING},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
        {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
        {CERT_TRUST_IS_CYCLIC, CERT_E_CHAINING},
    };
    for (const auto& fault : faults) {
        if ((status & fault.bits) != 0) return static_cast<std::uint32_t>(fault.code);
    }
    return 0;
}

std::u16string PolicyErrorText(std::uint32_t code, const std::string& host) {
    std::u16string reason;
    switch (static_cast<HRESULT>(code)) {
        case CERT_E_UNTRUSTEDROOT: reason = u"the certificate chain ends in an untrusted root"; break;
        case CERT_E_CHAINING: reason = u"the certificate chain does not reach a trusted root"; break;
        case CERT_E_EXPIRED: reason = u"the certificate has expired or is not yet valid"; break;
        case CERT_E_CN_NO_MATCH:
            reason = u"the certificate is not valid for " + TextFromUtf8(host);
            break;
        case CERT_E_WRONG_USAGE: reason = u"the certificate is not for server authentication"; break;
        case CRYPT_E_REVOKED: reason = u"the certificate has been revoked"; break;
        case TRUST_E_CERT_SIGNATURE: reason = u"the certificate's signature is invalid"; break;
        default: return SystemErrorText(code);
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    return reason + u" (" + Ascii(number) + u")";
}

// With a CA file, an engine whose only roots are the file's certificates
// (exclusive trust, Windows 7 on): a server's cross-signed certificate cannot
// lead the chain to one of the system's roots instead. Null, the default
// engine, when the system cannot make one; the anchor is then still checked
// against the file below.
ChainEngine ExclusiveEngine(HCERTSTORE ca_store) {
    if (ca_store == nullptr) return nullptr;
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof config;
    config.hExclusiveRoot = ca_store;
    HCERTCHAINENGINE raw = nullptr;
    if (!CertCreateCertificateChainEngine(&config, &raw)) return nullptr;
    return ChainEngine(raw);
}

}  // namespace

bool IsAddressLiteral(const std::string& host) { return !AddressBytes(host).empty(); }

CertStore LoadCaFile(const std::string& path) {
    const std::u16string wide_path = TextFromUtf8(path);
    const auto fail = [&](const char* reason) {
        return Error(error_numbers::TlsHandshakeFailed,
                     u"Cannot load the trust anchors \"" + wide_path + u"\": " + Ascii(reason));
    };
    std::string pem;
    {
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
            _wfopen(reinterpret_cast<const wchar_t*>(wide_path.c_str()), L"rb"), &std::fclose);
        if (!file) throw fail("the file cannot be read");
        char block[4096];
        std::size_t got = 0;
        // A trust store of a few MiB at most; the bound keeps a wrong path cheap.
        while ((got = std::fread(block, 1, sizeof block, file.get())) > 0 &&
               pem.size() < (8u << 20)) {
            pem.append(block, got);
        }
    }
    CertStore store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    if (!store) throw fail("no certificate store");
    static const char begin[] = "-----BEGIN CERTIFICATE-----";
    static const char end[] = "-----END CERTIFICATE-----";
    int added = 0;
    for (std::size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
        const std::size_t stop = pem.find(end, at);
        if (stop == std::string::npos) break;
        const std::size_t length = stop + sizeof end - 1 - at;
        DWORD size = 0;
        if (CryptStringToBinaryA(pem.data() + at, static_cast<DWORD>(length),
                                 CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
            std::vector<BYTE> der(size);
            if (CryptStringToBinaryA(pem.data() + at, static_cast<DWORD>(length),
                                     CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr,
                                     nullptr) &&
                CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size,
                                                 CERT_STORE_ADD_USE_EXISTING, nullptr)) {
                ++added;
            }
        }
        at = stop + sizeof end - 1;
    }
    if (added == 0) throw fail("no PEM certificate in the file");
    return store;
}

CertificateCheck VerifyServerCertificate(const CERT_CONTEXT& server, const std::string& host,
                                         HCERTSTORE ca_store, const Deadline& deadline) {
    CertificateCheck check;
    check.certificate = Fields(server);
    const auto fail = [&](std::uint32_t code) {
        check.error_code = static_cast<std::int32_t>(code);
        check.error_text = PolicyErrorText(code, host);
        return check;
    };

    // The intermediates the server sent, plus the CA file's certificates.
    CertStore extra(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    if (!extra) return fail(GetLastError());
    if (server.hCertStore != nullptr) CertAddStoreToCollection(extra.get(), server.hCertStore, 0, 0);
    if (ca_store != nullptr) CertAddStoreToCollection(extra.get(), ca_store, 0, 0);

    LPSTR server_auth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA chain_para{};
    chain_para.cbSize = sizeof chain_para;
    chain_para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chain_para.RequestedUsage.Usage.cUsageIdentifier = 1;
    chain_para.RequestedUsage.Usage.rgpszUsageIdentifier = &server_auth;
    chain_para.dwUrlRetrievalTimeout =
        static_cast<DWORD>(std::clamp<std::int64_t>(deadline.RemainingMs(), 1, 60 * 60 * 1000));
    const ChainEngine engine = ExclusiveEngine(ca_store);
    const CERT_CHAIN_CONTEXT* raw_chain = nullptr;
    if (!CertGetCertificateChain(static_cast<HCERTCHAINENGINE>(engine.get()), &server, nullptr, extra.get(), &chain_para, 0, nullptr,
                                 &raw_chain)) {
        return fail(GetLastError());
    }
    const CertChain chain(raw_chain);

    // With a CA file, its certificates are the only anchors.
    bool anchored_in_ca_file = false;
    if (ca_store != nullptr && chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
        const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
        const CERT_CONTEXT* top = simple.rgpElement[simple.cElement - 1]->pCertContext;
        const CertContext found(CertFindCertificateInStore(ca_store, X509_ASN_ENCODING, 0,
                                                           CERT_FIND_EXISTING, top, nullptr));
        anchored_in_ca_file = found != nullptr;
    }

    const std::vector<unsigned char> address = AddressBytes(host);
    std::u16string server_name = TextFromUtf8(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = (address.empty() ? 0 : SECURITY_FLAG_IGNORE_CERT_CN_INVALID) |
                    (anchored_in_ca_file ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0);
    ssl.pwszServerName = reinterpret_cast<wchar_t*>(server_name.data());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = anchored_in_ca_file ? CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG : 0;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        return fail(GetLastError());
    }
    if (status.dwError != 0) return fail(status.dwError);
    // The chain's own findings as well: Wine's SSL policy passes a chain that
    // stops short of any root.
    if (const std::uint32_t code = ChainError(chain->TrustStatus.dwErrorStatus, anchored_in_ca_file)) {
        return fail(code);
    }
    if (ca_store != nullptr && !anchored_in_ca_file) {
        return fail(static_cast<std::uint32_t>(CERT_E_UNTRUSTEDROOT));
    }
    if (!address.empty() && !CertificateNamesAddress(server, address)) {
        return fail(static_cast<std::uint32_t>(CERT_E_CN_NO_MATCH));
    }
    return check;
}

}  // namespace orbenix::http
