// The exporter's web configuration reader on any text: it either gives a
// configuration that holds together or errors that each name the file and a
// line, and never crashes. The files it names come from a small table.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exporter/web_config.h"

namespace {

using namespace orbenix::exporter;

FileContents FakeFile(const std::string& path) {
    FileContents file;
    if (path.find("missing") != std::string::npos) {
        file.error = "cannot open " + path + ": No such file or directory";
    } else {
        file.bytes = "-----BEGIN CERTIFICATE-----\n-----END CERTIFICATE-----\n";
    }
    file.others_can_read = path.find("open") != std::string::npos;
    return file;
}

bool GoodLine(const std::string& error) {
    constexpr std::string_view kPrefix = "fuzz.yml:";
    if (!error.starts_with(kPrefix)) return false;
    std::size_t at = kPrefix.size();
    const std::size_t digits = at;
    while (at < error.size() && error[at] >= '0' && error[at] <= '9') ++at;
    return at > digits && error[digits] != '0' && error.compare(at, 2, ": ") == 0;
}

void Check(const TlsServerConfig& tls) {
    if (tls.cert.path.empty() || tls.key.path.empty() || tls.cert.line < 1 || tls.key.line < 1) std::abort();
    if (tls.min_version > tls.max_version || tls.min_version < TlsVersion::Tls12) std::abort();
    const bool verifies = tls.client_auth == ClientAuth::VerifyClientCertIfGiven ||
                          tls.client_auth == ClientAuth::RequireAndVerifyClientCert;
    if (verifies != tls.client_ca.has_value() && tls.client_auth != ClientAuth::RequestClientCert &&
        tls.client_auth != ClientAuth::RequireAnyClientCert) {
        std::abort();
    }
    if (tls.client_auth == ClientAuth::NoClientCert && tls.client_ca) std::abort();
    if (!tls.client_allowed_sans.empty() && tls.client_auth != ClientAuth::RequireAndVerifyClientCert) std::abort();
    if (tls.key.path.find("open") != std::string::npos) std::abort();  // a key others can read is refused
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto read = ParseWebConfig(text, "fuzz.yml", FakeFile);
    if (const auto* errors = std::get_if<ConfigErrors>(&read)) {
        if (errors->empty()) std::abort();
        for (const std::string& error : *errors) {
            if (!GoodLine(error)) std::abort();
        }
        return 0;
    }
    const auto& config = std::get<WebConfig>(read);
    if (config.tls) Check(*config.tls);
    for (const BasicAuthUser& user : config.users) {
        if (user.name.find(':') != std::string::npos || user.bcrypt_hash.size() != 60) std::abort();
    }
    for (const auto& [name, value] : config.headers) {
        if (name.empty() || value.empty()) std::abort();
        for (const char c : value) {
            if (c == '\r' || c == '\n' || c == '\0') std::abort();
        }
    }
    return 0;
}
