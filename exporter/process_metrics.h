#pragma once
// The process metrics every Prometheus client library serves, under their
// standard names, and the exporter's build_info.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::exporter {

struct ProcessStat {
    double cpu_seconds = 0;        // user + system
    double start_time_seconds = 0; // since the Unix epoch
    std::uint64_t virtual_bytes = 0;
    std::uint64_t resident_bytes = 0;
};

// From the text of /proc/self/stat (its command name may hold blanks and
// parentheses), the clock ticks a second, the page size and the boot time
// (btime of /proc/stat). Nullopt when the text is not such a line.
std::optional<ProcessStat> ParseProcessStat(std::string_view stat, long ticks_per_second, long page_bytes,
                                            double boot_time_seconds);

// process_cpu_seconds_total, process_resident_memory_bytes,
// process_virtual_memory_bytes, process_open_fds, process_max_fds,
// process_start_time_seconds (those this system can tell), and
// orbenix_exporter_build_info{version=...} 1, in the text exposition format.
std::string ProcessMetrics();

}  // namespace orbenix::exporter
