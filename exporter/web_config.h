#pragma once
// The Prometheus web configuration file (--web.config.file): TLS for the
// listener, the users of basic authentication, and headers added to every
// answer. Every key the format has but this exporter does not support is an
// error, so that no security setting is ever ignored.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {

// The client-certificate policies, as the format spells them.
enum class ClientAuth {
    NoClientCert,
    RequestClientCert,
    RequireAnyClientCert,
    VerifyClientCertIfGiven,
    RequireAndVerifyClientCert,
};

enum class TlsVersion { Tls10, Tls11, Tls12, Tls13 };

// A file the web configuration names, read when the configuration is, so
// that a reload uses what is on disk then and refuses what it cannot read.
struct NamedFile {
    std::string path;  // as opened (relative paths beside the web configuration)
    int line = 0;      // the line of the web configuration that names it
    std::string bytes;
};

struct TlsServerConfig {
    NamedFile cert;  // PEM: the certificate, then any chain
    NamedFile key;   // PEM: the private key; refused when other users can read it
    ClientAuth client_auth = ClientAuth::NoClientCert;
    std::optional<NamedFile> client_ca;            // PEM: the CAs client certificates must chain to
    std::vector<std::string> client_allowed_sans;  // empty: any verified client
    TlsVersion min_version = TlsVersion::Tls12;
    TlsVersion max_version = TlsVersion::Tls13;
};

struct BasicAuthUser {
    std::string name;
    std::string bcrypt_hash;  // "$2a$", "$2b$" or "$2y$", 60 characters
};

struct WebConfig {
    std::string file_name;  // empty: no web configuration was given
    std::optional<TlsServerConfig> tls;
    std::vector<BasicAuthUser> users;                           // empty: no authentication
    std::vector<std::pair<std::string, std::string>> headers;   // added to every answer
};

// Reads the YAML text of `file_name`; the files it names are read with
// `read`. Every error is "FILE:LINE: what is wrong", in the file's order.
std::variant<WebConfig, ConfigErrors> ParseWebConfig(std::string_view text, const std::string& file_name,
                                                     const FileReader& read);

// Certificate chains and CA bundles may be long; the web configuration file
// itself is held to 64 KiB all the same.
inline constexpr std::size_t kMaxPemFileBytes = 1024 * 1024;

// Reads the web configuration file itself and then its text.
std::variant<WebConfig, ConfigErrors> ReadWebConfigFile(const std::string& path,
                                                        const FileReader& read = SystemFileReader{kMaxPemFileBytes});

}  // namespace orbenix::exporter
