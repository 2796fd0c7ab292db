#pragma once
// What orbenix-exporter serves: where it listens, its limits, and the targets
// a probe may name, each with the parameter string of its check.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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
};

struct ExporterConfig {
    std::string listen_host = kDefaultListenHost;
    int listen_port = kDefaultListenPort;  // 0: any free port
    int max_concurrent_probes = kDefaultMaxConcurrentProbes;
    double queue_wait_seconds = kDefaultQueueWaitSeconds;  // how long a probe waits for a free slot
    int probe_timeout_seconds = kDefaultProbeTimeoutSeconds;  // caps every probe's deadline
    double timeout_margin_seconds = kDefaultTimeoutMarginSeconds;  // left of the scrape's timeout
    std::vector<Target> targets;  // in the file's order

    const Target* Find(std::string_view name) const;
};

// A file the configuration names, as the reader sees it.
struct FileContents {
    std::string bytes;
    bool others_can_read = false;
    std::string error;  // "cannot open ...: No such file or directory"; empty when read
};
using FileReader = std::function<FileContents(const std::string& path)>;

// The files of this system, each read up to 64 KiB.
FileContents ReadSystemFile(const std::string& path);

// Every error found, each "FILE:LINE: what is wrong", in the file's order.
using ConfigErrors = std::vector<std::string>;

// Reads the TOML text of `file_name`; the files it names are read with
// `read` (relative paths beside `file_name`).
std::variant<ExporterConfig, ConfigErrors> ParseConfig(std::string_view text, const std::string& file_name,
                                                       const FileReader& read);

// Reads the configuration file itself and then its text.
std::variant<ExporterConfig, ConfigErrors> ReadConfigFile(const std::string& path,
                                                          const FileReader& read = ReadSystemFile);

}  // namespace orbenix::exporter
