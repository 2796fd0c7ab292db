#include "exporter/web_config.h"

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <sstream>

namespace orbenix::exporter {
namespace {

constexpr std::size_t kMaxWebConfigBytes = 64 * 1024;

// Keys of the format that this exporter refuses, each with the reason the
// error gives. Ignoring one of them could leave a hole the operator thinks
// is closed, so each one is an error.
struct Unsupported {
    std::string_view key;
    std::string_view reason;
};

constexpr Unsupported kUnsupportedTls[] = {
    {"cert", "give the certificate in a file with cert_file"},
    {"key", "give the private key in a file with key_file"},
    {"client_ca", "give the CA certificates in a file with client_ca_file"},
    {"cipher_suites", "OpenSSL's default cipher suites are used"},
    {"prefer_server_cipher_suites", "OpenSSL's default cipher suites are used"},
    {"curve_preferences", "OpenSSL's default groups are used"},
};
constexpr Unsupported kUnsupportedHttp[] = {{"http2", "it serves HTTP/1.1 only"}};
constexpr Unsupported kUnsupportedTop[] = {{"rate_limit", "it has no rate limiter"}};

// The headers an operator may add, and their allowed values (none: any value).
struct HeaderRule {
    std::string_view name;
    std::array<std::string_view, 2> values;
};
constexpr HeaderRule kHeaderRules[] = {
    {"Content-Security-Policy", {}},
    {"Strict-Transport-Security", {}},
    {"X-Content-Type-Options", {"nosniff"}},
    {"X-Frame-Options", {"deny", "sameorigin"}},
    {"X-XSS-Protection", {}},
};

struct ClientAuthName {
    std::string_view name;
    ClientAuth policy;
};
constexpr ClientAuthName kClientAuthNames[] = {
    {"NoClientCert", ClientAuth::NoClientCert},
    {"RequestClientCert", ClientAuth::RequestClientCert},
    {"RequireAnyClientCert", ClientAuth::RequireAnyClientCert},
    {"RequireClientCert", ClientAuth::RequireAnyClientCert},  // the older name, still read by other exporters
    {"VerifyClientCertIfGiven", ClientAuth::VerifyClientCertIfGiven},
    {"RequireAndVerifyClientCert", ClientAuth::RequireAndVerifyClientCert},
};

constexpr std::string_view kVersionNames[] = {"TLS10", "TLS11", "TLS12", "TLS13"};

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

const Unsupported* FindUnsupported(std::string_view key, const auto& table) {
    for (const Unsupported& entry : table) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

// "$2y$10$" and 53 characters of bcrypt's base64 alphabet (salt and hash).
bool LooksLikeBcrypt(std::string_view hash) {
    if (hash.size() != 60) return false;
    if (!(hash.starts_with("$2a$") || hash.starts_with("$2b$") || hash.starts_with("$2y$"))) return false;
    if (!std::isdigit(static_cast<unsigned char>(hash[4])) || !std::isdigit(static_cast<unsigned char>(hash[5])) ||
        hash[6] != '$') {
        return false;
    }
    const int cost = (hash[4] - '0') * 10 + (hash[5] - '0');
    if (cost < 4 || cost > 31) return false;
    for (const char c : hash.substr(7)) {
        const bool good = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '/';
        if (!good) return false;
    }
    return true;
}

bool HoldsControl(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) return true;
    }
    return false;
}

// One key of a mapping, with its value and the line that names it.
struct Entry {
    std::string name;
    int line = 0;
    YAML::Node value;
};

// A value that is either absent or a string, as the TLS keys read it.
struct TextKey {
    std::string text;  // empty: not given (absent, null or "")
    int line = 0;
};

class Reader {
public:
    Reader(const std::string& file_name, const FileReader& read) : file_name_(file_name), read_(read) {
        const std::size_t slash = file_name.rfind('/');
        directory_ = slash == std::string::npos ? "" : file_name.substr(0, slash + 1);
    }

    void Fail(int line, const std::string& what) {
        errors_.emplace_back(line, file_name_ + ":" + std::to_string(line) + ": " + what);
    }

    bool failed() const { return !errors_.empty(); }

    // In the file's order; errors of one line in the order found.
    ConfigErrors errors() {
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        ConfigErrors texts;
        for (auto& [line, text] : errors_) texts.push_back(std::move(text));
        return texts;
    }

    static int LineOf(const YAML::Node& node) {
        const YAML::Mark mark = node.Mark();
        return mark.line < 0 ? 1 : mark.line + 1;
    }

    void ReadDocument(const YAML::Node& document, WebConfig& config) {
        if (document.IsNull()) return;
        if (!document.IsMap()) {
            Fail(LineOf(document), "the file holds a mapping of tls_server_config, http_server_config and "
                                   "basic_auth_users");
            return;
        }
        for (const Entry& entry : Entries(document, "")) {
            if (entry.name == "tls_server_config") {
                ReadTls(entry, config);
            } else if (entry.name == "basic_auth_users") {
                ReadUsers(entry, config);
            } else if (entry.name == "http_server_config") {
                ReadHttp(entry, config);
            } else if (const Unsupported* refused = FindUnsupported(entry.name, kUnsupportedTop)) {
                Refuse(entry, *refused);
            } else {
                Fail(entry.line, "unknown key \"" + entry.name +
                                     "\": the file holds tls_server_config, http_server_config and basic_auth_users");
            }
        }
    }

private:
    // The keys of a mapping in the file's order; a key that is not a string,
    // or is given twice, is an error and left out.
    std::vector<Entry> Entries(const YAML::Node& map, const std::string& section) {
        std::vector<Entry> entries;
        std::map<std::string, int> seen;
        const std::string in = section.empty() ? "" : " in " + section;
        for (auto it = map.begin(); it != map.end(); ++it) {
            const int line = LineOf(it->first);
            if (!it->first.IsScalar()) {
                Fail(line, "a key" + in + " must be a string");
                continue;
            }
            const std::string name = it->first.Scalar();
            const auto [first, fresh] = seen.emplace(name, line);
            if (!fresh) {
                Fail(line, "\"" + name + "\"" + in + " is given twice (first on line " +
                               std::to_string(first->second) + ")");
                continue;
            }
            entries.push_back({name, line, it->second});
        }
        return entries;
    }

    // A section's value: a mapping, or nothing at all (null).
    bool IsMapOrNull(const Entry& entry) {
        if (entry.value.IsMap() || entry.value.IsNull()) return true;
        Fail(entry.line, entry.name + " must be a mapping of keys");
        return false;
    }

    void Refuse(const Entry& entry, const Unsupported& refused) {
        Fail(entry.line, entry.name + " is not supported by this exporter (" + std::string(refused.reason) +
                             "): remove it");
    }

    std::optional<TextKey> Text(const Entry& entry) {
        if (entry.value.IsNull()) return TextKey{"", entry.line};
        if (!entry.value.IsScalar()) {
            Fail(entry.line, entry.name + " must be a string");
            return std::nullopt;
        }
        return TextKey{entry.value.Scalar(), entry.line};
    }

    void ReadTls(const Entry& section, WebConfig& config) {
        if (!IsMapOrNull(section) || section.value.IsNull()) return;
        const std::size_t errors_before = errors_.size();
        TextKey cert, key, auth, ca, min, max;
        std::optional<Entry> sans;
        bool any_given = false;
        bool typed = true;  // false: a value was not a string, and its error says so
        for (const Entry& entry : Entries(section.value, section.name)) {
            TextKey* text = entry.name == "cert_file"          ? &cert
                            : entry.name == "key_file"         ? &key
                            : entry.name == "client_auth_type" ? &auth
                            : entry.name == "client_ca_file"   ? &ca
                            : entry.name == "min_version"      ? &min
                            : entry.name == "max_version"      ? &max
                                                               : nullptr;
            if (text != nullptr) {
                if (auto value = Text(entry)) {
                    *text = *value;
                } else {
                    typed = false;
                }
                any_given = any_given || !text->text.empty();
            } else if (entry.name == "client_allowed_sans") {
                sans = entry;
                any_given = any_given || !entry.value.IsNull();
            } else if (const Unsupported* refused = FindUnsupported(entry.name, kUnsupportedTls)) {
                Refuse(entry, *refused);
            } else {
                Fail(entry.line, "unknown key \"" + entry.name + "\" in tls_server_config");
            }
        }
        // Nothing but empty keys: no TLS, as an absent section.
        if (!any_given || !typed) return;

        TlsServerConfig tls;
        if (cert.text.empty() && key.text.empty()) {
            Fail(section.line, "tls_server_config needs cert_file and key_file");
        } else if (cert.text.empty()) {
            Fail(key.line, "key_file without cert_file: give both");
        } else if (key.text.empty()) {
            Fail(cert.line, "cert_file without key_file: give both");
        }
        bool auth_known = true;
        if (!auth.text.empty()) {
            const ClientAuthName* found = nullptr;
            for (const ClientAuthName& name : kClientAuthNames) {
                if (name.name == auth.text) found = &name;
            }
            if (found == nullptr) {
                Fail(auth.line, "client_auth_type \"" + auth.text +
                                    "\" is none of NoClientCert, RequestClientCert, RequireAnyClientCert, "
                                    "VerifyClientCertIfGiven, RequireAndVerifyClientCert");
                auth_known = false;
            } else {
                tls.client_auth = found->policy;
            }
        }
        const bool verifies = tls.client_auth == ClientAuth::VerifyClientCertIfGiven ||
                              tls.client_auth == ClientAuth::RequireAndVerifyClientCert;
        if (!ca.text.empty() && auth_known && tls.client_auth == ClientAuth::NoClientCert) {
            Fail(ca.line, "client_ca_file is given but client_auth_type is NoClientCert, which asks no client for "
                          "a certificate: set client_auth_type (RequireAndVerifyClientCert verifies them)");
        }
        if (verifies && ca.text.empty()) {
            Fail(auth.line, "client_auth_type " + auth.text +
                                " verifies client certificates and needs client_ca_file, the CAs they must chain to");
        }
        if (sans) ReadSans(*sans, tls);
        if (sans && auth_known && !tls.client_allowed_sans.empty() &&
            tls.client_auth != ClientAuth::RequireAndVerifyClientCert) {
            Fail(sans->line, "client_allowed_sans needs client_auth_type RequireAndVerifyClientCert: under any other "
                             "policy a client can connect without a verified certificate");
        }
        const auto min_version = Version(min, TlsVersion::Tls12);
        const auto max_version = Version(max, TlsVersion::Tls13);
        // OpenSSL 3 at its default security level refuses every handshake below
        // TLS 1.2, so a lower minimum would be a setting that does nothing.
        if (min_version && *min_version < TlsVersion::Tls12) {
            Fail(min.line, "min_version " + min.text + " is not supported: this exporter's OpenSSL takes TLS 1.2 and "
                           "1.3 only (TLS 1.0 and 1.1 are deprecated); give TLS12 or TLS13");
        } else if (min_version && max_version) {
            if (*min_version > *max_version && min.text.empty()) {
                Fail(max.line, "max_version " + max.text + " is below the default min_version TLS12: set min_version");
            } else if (*min_version > *max_version) {
                Fail(min.line, "min_version " + min.text + " is above max_version " +
                                   (max.text.empty() ? std::string("TLS13") : max.text));
            }
            tls.min_version = *min_version;
            tls.max_version = *max_version;
        }

        if (!cert.text.empty()) tls.cert = ReadNamed("cert_file", cert, false);
        if (!key.text.empty()) tls.key = ReadNamed("key_file", key, true);
        if (!ca.text.empty()) tls.client_ca = ReadNamed("client_ca_file", ca, false);
        if (errors_.size() == errors_before) config.tls = std::move(tls);
    }

    void ReadSans(const Entry& entry, TlsServerConfig& tls) {
        if (entry.value.IsNull()) return;
        if (!entry.value.IsSequence()) {
            Fail(entry.line, "client_allowed_sans must be a list of names");
            return;
        }
        if (entry.value.size() == 0) {
            Fail(entry.line, "client_allowed_sans is empty, so no client could connect: list the names, or remove "
                             "the key");
            return;
        }
        for (const YAML::Node& element : entry.value) {
            if (!element.IsScalar() || element.Scalar().empty()) {
                Fail(LineOf(element), "client_allowed_sans holds a name that is not a string: each is a DNS name, "
                                      "e-mail address, IP address or URI");
                continue;
            }
            tls.client_allowed_sans.push_back(element.Scalar());
        }
    }

    std::optional<TlsVersion> Version(const TextKey& key, TlsVersion fallback) {
        if (key.text.empty()) return fallback;
        for (std::size_t i = 0; i < std::size(kVersionNames); ++i) {
            if (key.text == kVersionNames[i]) return static_cast<TlsVersion>(i);
        }
        Fail(key.line, "TLS version \"" + key.text + "\" is none of TLS10, TLS11, TLS12, TLS13");
        return std::nullopt;
    }

    NamedFile ReadNamed(const std::string& key_name, const TextKey& key, bool secret) {
        NamedFile named{Beside(key.text), key.line, {}};
        const FileContents file = read_(named.path);
        if (!file.error.empty()) {
            Fail(key.line, key_name + ": " + file.error);
        } else if (secret && file.others_can_read) {
            Fail(key.line, key_name + " " + key.text +
                               " holds the private key and other users can read it: remove their read permission"
                               " (chmod o-r)");
        } else {
            named.bytes = file.bytes;
        }
        return named;
    }

    void ReadUsers(const Entry& section, WebConfig& config) {
        if (!IsMapOrNull(section) || section.value.IsNull()) return;
        for (const Entry& entry : Entries(section.value, section.name)) {
            if (entry.name.find(':') != std::string::npos) {
                Fail(entry.line, "user name \"" + entry.name + "\" holds \":\", which basic authentication cannot "
                                 "carry in a user name");
                continue;
            }
            if (!entry.value.IsScalar() || !LooksLikeBcrypt(entry.value.Scalar())) {
                // The hash is not quoted back: a wrong entry may be a password.
                Fail(entry.line, "the password of user \"" + entry.name +
                                     "\" is not a bcrypt hash: give one of 60 characters that starts with $2y$, $2b$ "
                                     "or $2a$ (htpasswd -nBC 10 \"\" | tr -d ':\\n' makes one)");
                continue;
            }
            config.users.push_back({entry.name, entry.value.Scalar()});
        }
    }

    void ReadHttp(const Entry& section, WebConfig& config) {
        if (!IsMapOrNull(section) || section.value.IsNull()) return;
        for (const Entry& entry : Entries(section.value, section.name)) {
            if (entry.name == "headers") {
                ReadHeaders(entry, config);
            } else if (const Unsupported* refused = FindUnsupported(entry.name, kUnsupportedHttp)) {
                Refuse(entry, *refused);
            } else {
                Fail(entry.line, "unknown key \"" + entry.name + "\" in http_server_config");
            }
        }
    }

    void ReadHeaders(const Entry& section, WebConfig& config) {
        if (!IsMapOrNull(section) || section.value.IsNull()) return;
        std::map<std::string_view, int> seen;
        for (const Entry& entry : Entries(section.value, section.name)) {
            const HeaderRule* rule = nullptr;
            for (const HeaderRule& candidate : kHeaderRules) {
                if (SameLetters(candidate.name, entry.name)) rule = &candidate;
            }
            if (rule == nullptr) {
                Fail(entry.line, "header \"" + entry.name +
                                     "\" cannot be set: the headers are Content-Security-Policy, "
                                     "Strict-Transport-Security, X-Content-Type-Options, X-Frame-Options and "
                                     "X-XSS-Protection");
                continue;
            }
            if (const auto [first, fresh] = seen.emplace(rule->name, entry.line); !fresh) {
                Fail(entry.line, "header " + std::string(rule->name) + " is given twice (first on line " +
                                     std::to_string(first->second) + ")");
                continue;
            }
            const std::optional<TextKey> value = Text(entry);
            if (!value || value->text.empty()) continue;  // blank: the header is not set
            if (HoldsControl(value->text)) {
                Fail(entry.line, "the value of header " + std::string(rule->name) + " holds a control character");
                continue;
            }
            if (!rule->values[0].empty() && value->text != rule->values[0] && value->text != rule->values[1]) {
                std::string allowed = "\"" + std::string(rule->values[0]) + "\"";
                if (!rule->values[1].empty()) allowed += " or \"" + std::string(rule->values[1]) + "\"";
                Fail(entry.line, "header " + std::string(rule->name) + " takes " + allowed + ", not \"" +
                                     value->text + "\"");
                continue;
            }
            config.headers.emplace_back(std::string(rule->name), value->text);
        }
    }

    std::string Beside(const std::string& path) const {
        return path.starts_with('/') ? path : directory_ + path;
    }

    std::string file_name_;
    std::string directory_;
    const FileReader& read_;
    std::vector<std::pair<int, std::string>> errors_;
};

// Notes where each document starts and nothing else.
class DocumentStarts final : public YAML::EventHandler {
public:
    std::vector<int> lines;

    void OnDocumentStart(const YAML::Mark& mark) override { lines.push_back(mark.line < 0 ? 1 : mark.line + 1); }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark&, YAML::anchor_t) override {}
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override {}
    void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override {}
    void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnMapEnd() override {}
};

// The line where a second document starts, or 0. YAML::Load reads the first
// document alone and would drop the rest unseen. The parser is asked for two
// documents at most: after some text (a flow mapping followed by ", x") it
// yields empty documents without end, which YAML::LoadAll collects until
// memory runs out.
int SecondDocumentLine(const std::string& text) {
    std::istringstream stream(text);
    YAML::Parser parser(stream);
    DocumentStarts starts;
    if (!parser.HandleNextDocument(starts) || !parser.HandleNextDocument(starts)) return 0;
    return starts.lines.size() > 1 ? starts.lines[1] : 1;
}

}  // namespace

std::variant<WebConfig, ConfigErrors> ParseWebConfig(std::string_view text, const std::string& file_name,
                                                     const FileReader& read) {
    Reader reader(file_name, read);
    WebConfig config;
    config.file_name = file_name;
    try {
        const std::string whole(text);
        if (const int second = SecondDocumentLine(whole); second > 0) {
            reader.Fail(second, "the file holds more than one YAML document, or text after the end of the first: "
                                "give one");
        } else {
            reader.ReadDocument(YAML::Load(whole), config);
        }
    } catch (const YAML::Exception& error) {
        reader.Fail(error.mark.line < 0 ? 1 : error.mark.line + 1, error.msg);
    }
    if (reader.failed()) return reader.errors();
    return config;
}

std::variant<WebConfig, ConfigErrors> ReadWebConfigFile(const std::string& path, const FileReader& read) {
    const FileContents file = read(path);
    if (!file.error.empty()) return ConfigErrors{path + ":0: " + file.error};
    if (file.bytes.size() > kMaxWebConfigBytes) return ConfigErrors{path + ":0: " + path + " is larger than 64 KiB"};
    return ParseWebConfig(file.bytes, path, read);
}

}  // namespace orbenix::exporter
