#pragma once
// What orbenix-exporter serves: where it listens, its limits, and the targets
// a probe may name, each with the parameter string of its check.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "core/usage_readings.h"
#include "engine/threshold_range.h"

namespace orbenix::exporter {

inline constexpr const char* kDefaultListenHost = "127.0.0.1";
inline constexpr int kDefaultListenPort = 9798;
inline constexpr int kDefaultMaxConcurrentProbes = 16;
inline constexpr double kDefaultQueueWaitSeconds = 1.0;
inline constexpr int kDefaultProbeTimeoutSeconds = 30;
inline constexpr double kDefaultTimeoutMarginSeconds = 0.5;
inline constexpr int kDefaultMaxConnections = 10000;
inline constexpr int kDefaultRequestHeadTimeoutSeconds = 10;
inline constexpr int kDefaultIdleTimeoutSeconds = 5;
inline constexpr int kDefaultMaxRequestHeadBytes = 8192;

struct UsageRanges {
    std::optional<ThresholdRange> warning;
    std::optional<ThresholdRange> critical;
};

struct Target {
    std::string name;
    std::u16string parameter;  // the check's parameter string; holds the secrets
    UsageFields usage{};       // the values the probe asks the panel for
    std::array<UsageRanges, kUsageKinds.size()> ranges{};
    bool verify_tls = false;
    std::string ca_file;
    // Prometheus labels that service discovery gives this target, by name.
    std::vector<std::pair<std::string, std::string>> labels;
};

struct ExporterConfig {
    std::string listen_host = kDefaultListenHost;
    int listen_port = kDefaultListenPort;  // 0: any free port
    int max_concurrent_probes = kDefaultMaxConcurrentProbes;
    double queue_wait_seconds = kDefaultQueueWaitSeconds;  // how long a probe waits for a free slot
    int probe_timeout_seconds = kDefaultProbeTimeoutSeconds;  // caps every probe's deadline
    double timeout_margin_seconds = kDefaultTimeoutMarginSeconds;  // left of the scrape's timeout
    // The limits on connections (see the front).
    int max_connections = kDefaultMaxConnections;
    int request_head_timeout_seconds = kDefaultRequestHeadTimeoutSeconds;
    int idle_timeout_seconds = kDefaultIdleTimeoutSeconds;
    int max_request_head_bytes = kDefaultMaxRequestHeadBytes;
    std::string targets_dir;      // "": none; else the folder whose *.toml files hold more targets
    std::vector<Target> targets;  // by name, then those of targets_dir by file and name

    const Target* Find(std::string_view name) const;
    // Makes Find a hash look-up (the readers do it; ten thousand targets are usual).
    void BuildIndex();

private:
    std::unordered_map<std::string, std::size_t> by_name;
};

// A file the configuration names, as the reader sees it.
struct FileContents {
    std::string bytes;
    bool others_can_read = false;
    std::string error;  // "cannot open ...: No such file or directory"; empty when read
};
using FileReader = std::function<FileContents(const std::string& path)>;

// The files of this system, each read up to `max_bytes`. Configurations,
// parameter strings and secrets are short, so 64 KiB unless told otherwise;
// certificate chains and CA bundles may need more.
struct SystemFileReader {
    std::size_t max_bytes = 64 * 1024;
    FileContents operator()(const std::string& path) const;
};
inline constexpr SystemFileReader ReadSystemFile{};

// Every error found, each "FILE:LINE: what is wrong", in the file's order.
using ConfigErrors = std::vector<std::string>;

// Where a configuration's files come from.
struct ConfigSources {
    FileReader secrets;  // key, hash and parameter files
    FileReader configs;  // the configuration and the files of its targets_dir
    // The *.toml names in a folder, sorted; or what failed. Empty: targets_dir is refused.
    std::function<std::variant<std::vector<std::string>, std::string>(const std::string& folder)> list;
};

// Secrets up to 64 KiB; each configuration file up to 1 MiB, and 64 MiB in all.
ConfigSources SystemConfigSources();

// Reads the TOML text of `file_name`; the files it names come from `sources`
// (relative paths beside the file that names them).
std::variant<ExporterConfig, ConfigErrors> ParseConfig(std::string_view text, const std::string& file_name,
                                                       const ConfigSources& sources);
// The same with every file from `read`, and no targets_dir.
std::variant<ExporterConfig, ConfigErrors> ParseConfig(std::string_view text, const std::string& file_name,
                                                       const FileReader& read);

// Reads the configuration file itself and then its text.
std::variant<ExporterConfig, ConfigErrors> ReadConfigFile(const std::string& path,
                                                          const ConfigSources& sources = SystemConfigSources());

}  // namespace orbenix::exporter
