#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "exporter/exposition.h"
#include "exporter/process_metrics.h"

namespace orbenix::exporter {
namespace {

std::string FileText(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

double BootTimeSeconds() {
    std::istringstream stat(FileText("/proc/stat"));
    std::string word;
    while (stat >> word) {
        if (word == "btime") {
            double seconds = 0;
            stat >> seconds;
            return seconds;
        }
    }
    return 0;
}

}  // namespace

std::optional<ProcessStat> ParseProcessStat(std::string_view stat, long ticks_per_second, long page_bytes,
                                            double boot_time_seconds) {
    // "pid (comm) state ppid ...": the fields after the last ")" are plain numbers.
    const std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos || ticks_per_second <= 0) return std::nullopt;
    std::vector<std::string_view> fields;  // fields[0] is field 3 (state)
    std::string_view rest = stat.substr(close + 1);
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(" \n");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::size_t end = rest.find_first_of(" \n");
        fields.push_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    // utime 14, stime 15, starttime 22, vsize 23, rss 24 (proc(5), counted from 1).
    if (fields.size() < 22) return std::nullopt;
    const auto number = [&](int field, std::uint64_t& value) {
        const std::string_view text = fields[static_cast<std::size_t>(field - 3)];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    };
    std::uint64_t utime = 0, stime = 0, start = 0, vsize = 0, rss = 0;
    if (!number(14, utime) || !number(15, stime) || !number(22, start) || !number(23, vsize) || !number(24, rss)) {
        return std::nullopt;
    }
    const double ticks = static_cast<double>(ticks_per_second);
    ProcessStat result;
    result.cpu_seconds = static_cast<double>(utime + stime) / ticks;
    result.start_time_seconds = boot_time_seconds + static_cast<double>(start) / ticks;
    result.virtual_bytes = vsize;
    result.resident_bytes = rss * static_cast<std::uint64_t>(page_bytes);
    return result;
}

std::string ProcessMetrics() {
    Exposition out;
    static const double boot_time = BootTimeSeconds();  // fixed while the machine runs
    const auto stat = ParseProcessStat(FileText("/proc/self/stat"), sysconf(_SC_CLK_TCK), sysconf(_SC_PAGESIZE),
                                       boot_time);
    if (stat) {
        out.Family("process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.");
        out.Sample("process_cpu_seconds_total", stat->cpu_seconds);
        out.Family("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
        out.Sample("process_resident_memory_bytes", stat->resident_bytes);
        out.Family("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
        out.Sample("process_virtual_memory_bytes", stat->virtual_bytes);
        out.Family("process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.");
        out.Sample("process_start_time_seconds", stat->start_time_seconds);
    }
    std::error_code error;
    std::uint64_t open = 0;
    for (std::filesystem::directory_iterator entry("/proc/self/fd", error), end; !error && entry != end;
         entry.increment(error)) {
        ++open;
    }
    if (!error) {
        out.Family("process_open_fds", "gauge", "Number of open file descriptors.");
        out.Sample("process_open_fds", open > 0 ? open - 1 : 0);  // less the listing's own
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        out.Family("process_max_fds", "gauge", "Maximum number of open file descriptors.");
        out.Sample("process_max_fds", static_cast<std::uint64_t>(limit.rlim_cur));
    }
    out.Family("orbenix_exporter_build_info", "gauge", "The exporter's version, always 1.");
    out.Sample("orbenix_exporter_build_info", std::uint64_t{1}, {{"version", ORBENIX_VERSION_TEXT}});
    return out.text();
}

}  // namespace orbenix::exporter
