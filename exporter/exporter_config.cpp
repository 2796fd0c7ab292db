#include "exporter/exporter_config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <cmath>
#include <map>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/check_engine.h"
#include "engine/http/url.h"
#include "params/parameter_writer.h"
#include "params/read_tag.h"
#include "params/single_line_text.h"

namespace orbenix::exporter {
namespace {

constexpr std::size_t kMaxTargetName = 64;
constexpr int kMaxConcurrentProbes = 1024;
constexpr int kMaxProbeTimeoutSeconds = 300;
constexpr double kMaxQueueWaitSeconds = 60;
constexpr double kMaxTimeoutMarginSeconds = 10;
constexpr int kMaxConnections = 1000000;
constexpr int kMaxRequestHeadTimeoutSeconds = 300;
constexpr int kMaxIdleTimeoutSeconds = 3600;
constexpr int kMinRequestHeadBytes = 2048;
constexpr int kMaxRequestHeadBytes = 1024 * 1024;

// What a key's value must be, for the error text.
enum class Kind { Text, Integer, Number, Boolean, TextList };

const char* KindWord(Kind kind) {
    switch (kind) {
    case Kind::Text: return "a string";
    case Kind::Integer: return "an integer";
    case Kind::Number: return "a number";
    case Kind::Boolean: return "true or false";
    case Kind::TextList: return "a list of strings";
    }
    return "";
}

bool HasKind(const toml::node& node, Kind kind) {
    switch (kind) {
    case Kind::Text: return node.is_string();
    case Kind::Integer: return node.is_integer();
    case Kind::Number: return node.is_integer() || node.is_floating_point();
    case Kind::Boolean: return node.is_boolean();
    case Kind::TextList: {
        const toml::array* list = node.as_array();
        return list != nullptr && list->is_homogeneous(toml::node_type::string);
    }
    }
    return false;
}

// Keys that would put a secret into the configuration file itself.
constexpr std::string_view kInlineSecrets[] = {"parameter", "key", "hash", "password", "proxy_password"};

constexpr std::string_view kUsageNames[] = {"bandwidth", "disk", "memory"};

std::string FolderOf(const std::string& file_name) {
    const std::size_t slash = file_name.rfind('/');
    return slash == std::string::npos ? "" : file_name.substr(0, slash + 1);
}

class Reader {
public:
    Reader(const std::string& file_name, const FileReader& read) : read_(read) { SetFile(file_name); }

    // The file whose lines the errors name now; its relative paths are read beside it.
    void SetFile(const std::string& file_name) {
        file_name_ = file_name;
        directory_ = FolderOf(file_name);
    }
    const std::string& file_name() const { return file_name_; }

    void Fail(const toml::source_region& where, const std::string& what) {
        errors_.push_back(file_name_ + ":" + std::to_string(where.begin.line) + ": " + what);
    }

    ConfigErrors& errors() { return errors_; }
    int targets_dir_line() const { return targets_dir_line_; }

    // Every [targets.NAME] of one file's [targets] table; a name given
    // before (here or in another file) names both places.
    void ReadTargets(const toml::table& table, ExporterConfig& config) {
        for (auto&& [target_key, target_node] : table) {
            const std::string name(target_key.str());
            const toml::table* target_table = target_node.as_table();
            if (!target_table) {
                Fail(target_key.source(), "targets." + name + " must be a table: [targets." + name + "]");
                continue;
            }
            const std::string here = file_name_ + ":" + std::to_string(target_key.source().begin.line);
            const auto [first, fresh] = defined_at_.emplace(name, here);
            if (!fresh) {
                Fail(target_key.source(), "target \"" + name + "\" is defined twice: first at " + first->second);
                continue;
            }
            if (auto target = ReadTarget(target_key, *target_table)) config.targets.push_back(std::move(*target));
        }
    }

    void ReadExporter(const toml::table& table, ExporterConfig& config) {
        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            if (name == "listen") {
                if (Expect(key, node, Kind::Text)) Listen(key, *node.value<std::string>(), config);
            } else if (name == "max_concurrent_probes") {
                if (auto value = Integer(key, node, 1, kMaxConcurrentProbes)) config.max_concurrent_probes = *value;
            } else if (name == "probe_timeout_seconds") {
                if (auto value = Integer(key, node, 1, kMaxProbeTimeoutSeconds)) config.probe_timeout_seconds = *value;
            } else if (name == "queue_wait_seconds") {
                if (auto value = Number(key, node, 0, kMaxQueueWaitSeconds)) config.queue_wait_seconds = *value;
            } else if (name == "timeout_margin_seconds") {
                if (auto value = Number(key, node, 0, kMaxTimeoutMarginSeconds)) config.timeout_margin_seconds = *value;
            } else if (name == "max_connections") {
                if (auto value = Integer(key, node, 1, kMaxConnections)) config.max_connections = *value;
            } else if (name == "request_head_timeout_seconds") {
                if (auto value = Integer(key, node, 1, kMaxRequestHeadTimeoutSeconds)) {
                    config.request_head_timeout_seconds = *value;
                }
            } else if (name == "idle_timeout_seconds") {
                if (auto value = Integer(key, node, 1, kMaxIdleTimeoutSeconds)) config.idle_timeout_seconds = *value;
            } else if (name == "targets_dir") {
                if (Expect(key, node, Kind::Text)) {
                    config.targets_dir = Beside(*node.value<std::string>());
                    targets_dir_line_ = static_cast<int>(key.source().begin.line);
                }
            } else if (name == "max_request_head_bytes") {
                if (auto value = Integer(key, node, kMinRequestHeadBytes, kMaxRequestHeadBytes)) {
                    config.max_request_head_bytes = *value;
                }
            } else {
                Fail(key.source(), "unknown key \"" + name + "\" in [exporter]");
            }
        }
    }

    std::optional<Target> ReadTarget(const toml::key& table_key, const toml::table& table) {
        Target target;
        target.name = std::string(table_key.str());
        const std::size_t errors_before = errors_.size();
        if (!GoodTargetName(target.name)) {
            Fail(table_key.source(), "target name \"" + target.name +
                                         "\" is not 1 to 64 letters, digits, \".\", \"_\" or \"-\"");
        }
        std::map<std::string, std::pair<const toml::key*, const toml::node*>> given;
        for (auto&& [key, node] : table) given[std::string(key.str())] = {&key, &node};

        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            if (IsInlineSecret(name)) {
                Fail(key.source(), "\"" + name + "\" would put a secret into the configuration file: secrets are "
                                   "read from files only (parameter_file, key_file, hash_file)");
            } else if (!KnownTargetKey(name)) {
                Fail(key.source(), "unknown key \"" + name + "\" in [targets." + target.name + "]");
            }
        }

        const auto text = [&](const char* name) -> std::optional<std::pair<const toml::key*, std::string>> {
            auto found = given.find(name);
            if (found == given.end()) return std::nullopt;
            if (!Expect(*found->second.first, *found->second.second, Kind::Text)) return std::pair{nullptr, ""};
            return std::pair{found->second.first, *found->second.second->value<std::string>()};
        };
        const auto parameter_file = text("parameter_file");
        const auto url = text("url");
        const auto key_file = text("key_file");
        const auto hash_file = text("hash_file");
        if (parameter_file && (url || key_file || hash_file)) {
            Fail(parameter_file->first ? parameter_file->first->source() : table_key.source(),
                 "target \"" + target.name + "\" gives both parameter_file and url/key_file/hash_file: give one");
        } else if (parameter_file) {
            if (parameter_file->first) target.parameter = ParameterFromFile(*parameter_file->first, parameter_file->second);
        } else if (url && key_file && hash_file) {
            if (url->first && key_file->first && hash_file->first) {
                target.parameter = ParameterFromParts(*url->first, url->second, *key_file->first, key_file->second,
                                                      *hash_file->first, hash_file->second);
            }
        } else {
            Fail(table_key.source(), "target \"" + target.name +
                                         "\" needs parameter_file, or url with key_file and hash_file");
        }

        if (errors_.size() == errors_before) {
            const toml::key& where = parameter_file ? *parameter_file->first : *url->first;
            CheckUrl(where, target.parameter);
        }

        if (auto found = given.find("usage"); found != given.end()) {
            const auto& [key, node] = found->second;
            if (Expect(*key, *node, Kind::TextList)) {
                for (auto&& element : *node->as_array()) {
                    const std::string word = *element.value<std::string>();
                    const auto kind = UsageNamed(word);
                    if (!kind) {
                        Fail(element.source(), "usage \"" + word + "\" is none of bandwidth, disk, memory");
                    } else {
                        target.usage[UsageIndex(*kind)] = true;
                    }
                }
            }
        }
        for (const UsageKind kind : kUsageKinds) {
            for (const bool warning : {true, false}) {
                const std::string name = std::string(kUsageNames[UsageIndex(kind)]) + (warning ? "_warning" : "_critical");
                auto found = given.find(name);
                if (found == given.end()) continue;
                const auto& [key, node] = found->second;
                if (!Expect(*key, *node, Kind::Text)) continue;
                auto range = ParseRange(TextFromUtf8(*node->value<std::string>()));
                if (!range) {
                    Fail(key->source(), name + " takes a range of percent such as 80, 10:, ~:90, 10:20 or @10:20");
                    continue;
                }
                target.usage[UsageIndex(kind)] = true;
                UsageRanges& ranges = target.ranges[UsageIndex(kind)];
                (warning ? ranges.warning : ranges.critical) = std::move(*range);
            }
        }
        if (auto found = given.find("verify_tls"); found != given.end()) {
            if (Expect(*found->second.first, *found->second.second, Kind::Boolean)) {
                target.verify_tls = *found->second.second->value<bool>();
            }
        }
        if (auto found = given.find("labels"); found != given.end()) {
            ReadLabels(*found->second.first, *found->second.second, target);
        }
        if (auto ca = text("ca_file"); ca && ca->first) {
            target.ca_file = Beside(ca->second);
            target.verify_tls = true;
        }
        if (errors_.size() != errors_before) return std::nullopt;
        return target;
    }

private:
    static bool GoodTargetName(const std::string& name) {
        if (name.empty() || name.size() > kMaxTargetName) return false;
        for (const char c : name) {
            const bool good = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                              c == '.' || c == '_' || c == '-';
            if (!good) return false;
        }
        return true;
    }

    static bool IsInlineSecret(const std::string& name) {
        for (const std::string_view secret : kInlineSecrets) {
            if (name == secret) return true;
        }
        return false;
    }

    static bool KnownTargetKey(const std::string& name) {
        static const std::string_view known[] = {
            "parameter_file", "url", "key_file", "hash_file", "usage", "verify_tls", "ca_file", "labels",
            "bandwidth_warning", "bandwidth_critical", "disk_warning", "disk_critical",
            "memory_warning", "memory_critical"};
        for (const std::string_view key : known) {
            if (name == key) return true;
        }
        return false;
    }

    static std::optional<UsageKind> UsageNamed(const std::string& word) {
        for (const UsageKind kind : kUsageKinds) {
            if (word == kUsageNames[UsageIndex(kind)]) return kind;
        }
        return std::nullopt;
    }

    // Prometheus' rule: a letter or "_", then letters, digits or "_"; "__" is its own.
    static bool GoodLabelName(std::string_view name) {
        if (name.empty() || name.starts_with("__")) return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            const char c = name[i];
            const bool good = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (i > 0 && c >= '0' && c <= '9');
            if (!good) return false;
        }
        return true;
    }

    void ReadLabels(const toml::key& key, const toml::node& node, Target& target) {
        const toml::table* table = node.as_table();
        if (table == nullptr) {
            Fail(key.source(), "labels must be a table of strings, such as labels = { customer = \"acme\" }");
            return;
        }
        for (auto&& [label_key, label_node] : *table) {
            const std::string name(label_key.str());
            if (!GoodLabelName(name)) {
                Fail(label_key.source(), "label \"" + name + "\" is not a Prometheus label name: a letter or \"_\", "
                                         "then letters, digits or \"_\", and not starting with \"__\"");
            } else if (!label_node.is_string()) {
                Fail(label_key.source(), "label " + name + " must be a string");
            } else {
                target.labels.emplace_back(name, *label_node.value<std::string>());
            }
        }
    }

    bool Expect(const toml::key& key, const toml::node& node, Kind kind) {
        if (HasKind(node, kind)) return true;
        Fail(key.source(), std::string(key.str()) + " must be " + KindWord(kind));
        return false;
    }

    std::optional<int> Integer(const toml::key& key, const toml::node& node, int low, int high) {
        if (!Expect(key, node, Kind::Integer)) return std::nullopt;
        const std::int64_t value = *node.value<std::int64_t>();
        if (value < low || value > high) {
            Fail(key.source(), std::string(key.str()) + " takes " + std::to_string(low) + " to " + std::to_string(high));
            return std::nullopt;
        }
        return static_cast<int>(value);
    }

    std::optional<double> Number(const toml::key& key, const toml::node& node, double low, double high) {
        if (!Expect(key, node, Kind::Number)) return std::nullopt;
        const double value = *node.value<double>();
        if (!std::isfinite(value) || value < low || value > high) {
            Fail(key.source(), std::string(key.str()) + " takes " + std::to_string(static_cast<int>(low)) + " to " +
                                   std::to_string(static_cast<int>(high)) + " seconds");
            return std::nullopt;
        }
        return value;
    }

    // "host:port" or "[v6 address]:port".
    void Listen(const toml::key& key, const std::string& text, ExporterConfig& config) {
        const std::size_t colon = text.rfind(':');
        std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
        const std::string port_text = colon == std::string::npos ? "" : text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        int port = -1;
        const auto [end, error] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
        if (host.empty() || host.find_first_of("[] ") != std::string::npos || error != std::errc() ||
            end != port_text.data() + port_text.size() || port < 0 || port > 65535) {
            Fail(key.source(), "listen takes HOST:PORT, such as \"127.0.0.1:9798\" or \"[::1]:9798\"");
            return;
        }
        config.listen_host = host;
        config.listen_port = port;
    }

    std::string Beside(const std::string& path) const {
        return path.starts_with('/') ? path : directory_ + path;
    }

    // The one line of a file; a file that holds a secret must not be open to others.
    std::optional<std::u16string> OneLine(const toml::key& key, const std::string& path, bool secret) {
        const FileContents file = read_(Beside(path));
        if (!file.error.empty()) {
            Fail(key.source(), std::string(key.str()) + ": " + file.error);
            return std::nullopt;
        }
        auto line = SingleLineText(file.bytes);
        if (!line) {
            Fail(key.source(), std::string(key.str()) + " " + path + " holds more than one line");
            return std::nullopt;
        }
        if (secret && file.others_can_read) {
            Fail(key.source(), std::string(key.str()) + " " + path +
                                   " holds a secret and other users can read it: remove their read permission"
                                   " (chmod o-r)");
            return std::nullopt;
        }
        return line;
    }

    // The check asks the URL the parameter string holds, less a trailing
    // "/", with the API's path: one it can never ask is an error here.
    void CheckUrl(const toml::key& key, const std::u16string& parameter) {
        bool quoted = false;
        std::u16string url = ReadTag(parameter, u"URL", quoted);
        if (!url.empty() && url.back() == u'/') url.pop_back();
        try {
            (void)http::ParseUrl(url + kApiPath);
        } catch (const Error& error) {
            Fail(key.source(), std::string(key.str()) + ": the check cannot use the panel's URL \"" +
                                   Utf8FromText(url) + "\": " + Utf8FromText(error.description()));
        }
    }

    std::u16string ParameterFromFile(const toml::key& key, const std::string& path) {
        // Read first without the secret rule, then decide whether it holds one.
        const FileContents file = read_(Beside(path));
        if (!file.error.empty()) {
            Fail(key.source(), "parameter_file: " + file.error);
            return {};
        }
        auto line = SingleLineText(file.bytes);
        if (!line) {
            Fail(key.source(), "parameter_file " + path + " holds more than one line");
            return {};
        }
        bool quoted = false;
        bool holds_secret = false;
        for (const char16_t* tag : {u"KEY", u"HSH", u"PAP", u"PRAP"}) {
            if (!ReadTag(*line, tag, quoted).empty()) holds_secret = true;
        }
        if (holds_secret && file.others_can_read) {
            Fail(key.source(), "parameter_file " + path +
                                   " holds the key, hash or a password and other users can read it: remove their"
                                   " read permission (chmod o-r)");
            return {};
        }
        return *line;
    }

    std::u16string ParameterFromParts(const toml::key& url_key, const std::string& url, const toml::key& key_key,
                                      const std::string& key_path, const toml::key& hash_key,
                                      const std::string& hash_path) {
        ParameterFields fields;
        fields.url = TextFromUtf8(url);
        if (fields.url.find(u'#') != std::u16string::npos) {
            Fail(url_key.source(), "url cannot hold \"#\": the parameter string has no way to store it");
        }
        if (auto key = OneLine(key_key, key_path, true)) {
            if (key->find(u'#') != std::u16string::npos) Fail(key_key.source(), "the API key cannot hold \"#\"");
            fields.api_key = *key;
        }
        if (auto hash = OneLine(hash_key, hash_path, true)) {
            if (hash->find(u'#') != std::u16string::npos) Fail(hash_key.source(), "the API hash cannot hold \"#\"");
            fields.api_hash = *hash;
        }
        return WriteParameterString(fields);
    }

    std::string file_name_;
    std::string directory_;
    const FileReader& read_;
    ConfigErrors errors_;
    std::map<std::string, std::string> defined_at_;  // target name -> "FILE:LINE"
    int targets_dir_line_ = 0;
};

constexpr std::size_t kMaxConfigFileBytes = 1024 * 1024;
constexpr std::size_t kMaxConfigTotalBytes = 64 * 1024 * 1024;

// One TOML document, or its syntax error as the reader's first error.
std::optional<toml::table> ParseToml(std::string_view text, Reader& reader) {
    try {
        return toml::parse(text, reader.file_name());
    } catch (const toml::parse_error& error) {
        reader.Fail(error.source(), std::string(error.description()));
        return std::nullopt;
    }
}

const toml::source_region kFirstLine{{1, 1}, {1, 1}, nullptr};

// The *.toml files of `targets_dir`, each holding [targets.NAME] tables only.
void ReadTargetsDir(const ExporterConfig& config, const ConfigSources& sources, std::size_t bytes_so_far,
                    Reader& reader, ExporterConfig& into) {
    const std::string main_file = reader.file_name();
    const toml::source_region where{{static_cast<toml::source_index>(reader.targets_dir_line()), 1}, {1, 1}, nullptr};
    if (!sources.list) {
        reader.Fail(where, "targets_dir cannot be read here");
        return;
    }
    const auto listed = sources.list(config.targets_dir);
    if (const auto* error = std::get_if<std::string>(&listed)) {
        reader.Fail(where, "targets_dir: " + *error);
        return;
    }
    std::size_t total = bytes_so_far;
    for (const std::string& name : std::get<std::vector<std::string>>(listed)) {
        const std::string path = config.targets_dir + (config.targets_dir.ends_with('/') ? "" : "/") + name;
        reader.SetFile(path);
        const FileContents file = sources.configs(path);
        if (!file.error.empty()) {
            reader.Fail(kFirstLine, file.error);
            continue;
        }
        total += file.bytes.size();
        if (total > kMaxConfigTotalBytes) {
            reader.Fail(kFirstLine, "the configuration and its targets_dir hold more than 64 MiB in all; "
                                    "this file and those after it are not read");
            break;
        }
        const auto document = ParseToml(file.bytes, reader);
        if (!document) continue;
        for (auto&& [key, node] : *document) {
            const std::string top(key.str());
            if (top == "targets" && node.is_table()) {
                reader.ReadTargets(*node.as_table(), into);
            } else {
                reader.Fail(key.source(), "unknown key \"" + top + "\": a file of targets_dir holds [targets.NAME] "
                                          "tables only");
            }
        }
    }
    reader.SetFile(main_file);
}

}  // namespace

void ExporterConfig::BuildIndex() {
    by_name.clear();
    by_name.reserve(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i) by_name.emplace(targets[i].name, i);
}

const Target* ExporterConfig::Find(std::string_view name) const {
    if (by_name.size() == targets.size()) {
        const auto found = by_name.find(std::string(name));
        return found == by_name.end() ? nullptr : &targets[found->second];
    }
    for (const Target& target : targets) {
        if (target.name == name) return &target;
    }
    return nullptr;
}

std::variant<ExporterConfig, ConfigErrors> ParseConfig(std::string_view text, const std::string& file_name,
                                                       const ConfigSources& sources) {
    Reader reader(file_name, sources.secrets);
    const auto document = ParseToml(text, reader);
    if (!document) return reader.errors();

    ExporterConfig config;
    for (auto&& [key, node] : *document) {
        const std::string name(key.str());
        const toml::table* table = node.as_table();
        if (name == "exporter" && table) {
            reader.ReadExporter(*table, config);
        } else if (name == "targets" && table) {
            reader.ReadTargets(*table, config);
        } else if (name == "exporter" || name == "targets") {
            reader.Fail(key.source(), name + " must be a table: [" + name + "]");
        } else {
            reader.Fail(key.source(), "unknown key \"" + name + "\": the file holds [exporter] and [targets.NAME]");
        }
    }
    if (!config.targets_dir.empty()) ReadTargetsDir(config, sources, text.size(), reader, config);
    if (reader.errors().empty() && config.targets.empty()) {
        reader.Fail(kFirstLine, config.targets_dir.empty() ? "no targets: add a [targets.NAME] table"
                                                           : "no targets: add a [targets.NAME] table here or in "
                                                             "a *.toml file of targets_dir");
    }
    if (!reader.errors().empty()) return reader.errors();
    config.BuildIndex();
    return config;
}

std::variant<ExporterConfig, ConfigErrors> ParseConfig(std::string_view text, const std::string& file_name,
                                                       const FileReader& read) {
    ConfigSources sources;
    sources.secrets = read;
    sources.configs = read;
    sources.list = nullptr;
    return ParseConfig(text, file_name, sources);
}

std::variant<std::vector<std::string>, std::string> ListSystemDirectory(const std::string& path) {
    std::error_code error;
    std::filesystem::directory_iterator entries(path, error);
    if (error) return "cannot list " + path + ": " + error.message();
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".toml") && !name.starts_with(".")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

ConfigSources SystemConfigSources() {
    return {ReadSystemFile, SystemFileReader{kMaxConfigFileBytes}, ListSystemDirectory};
}

std::variant<ExporterConfig, ConfigErrors> ReadConfigFile(const std::string& path, const ConfigSources& sources) {
    const FileContents file = sources.configs(path);
    if (!file.error.empty()) return ConfigErrors{path + ":1: " + file.error};
    return ParseConfig(file.bytes, path, sources);
}

}  // namespace orbenix::exporter
