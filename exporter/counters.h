#pragma once
// The exporter's own counters, which /metrics answers. Safe to use from
// every probe's thread at once.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "exporter/probe.h"

namespace orbenix::exporter {

class Counters {
public:
    void ProbeStarted() { ++in_flight_; }
    void ProbeFinished(const ProbeResult& result);
    void ProbeRejectedBusy() { ++rejected_busy_; }
    void ProbeUnknownTarget() { ++unknown_target_; }
    void Reloaded(bool accepted);
    void SetTargets(std::size_t count) { targets_ = count; }
    void ConnectionOpened() { ++connections_open_; }
    void ConnectionClosed() { --connections_open_; }
    // "limit": past the bound on open connections; "accept_failed": out of file descriptors.
    void ConnectionRejected(const char* reason);
    int ConnectionsOpen() const { return static_cast<int>(connections_open_.load()); }

    // The text exposition of every counter.
    std::string Metrics() const;

private:
    std::atomic<std::int64_t> in_flight_{0};
    std::atomic<std::uint64_t> probes_{0};
    std::atomic<std::uint64_t> rejected_busy_{0};
    std::atomic<std::uint64_t> unknown_target_{0};
    std::atomic<std::uint64_t> reloads_accepted_{0};
    std::atomic<std::uint64_t> reloads_refused_{0};
    std::atomic<bool> last_reload_good_{true};
    std::atomic<std::size_t> targets_{0};
    std::atomic<std::int64_t> connections_open_{0};
    std::atomic<std::uint64_t> rejected_limit_{0};
    std::atomic<std::uint64_t> accept_failed_{0};
    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::uint64_t> failures_;  // (kind, number)
};

}  // namespace orbenix::exporter
