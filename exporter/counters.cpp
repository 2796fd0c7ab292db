#include "exporter/counters.h"

#include "exporter/exposition.h"

namespace orbenix::exporter {

void Counters::ProbeFinished(const ProbeResult& result) {
    ++probes_;
    --in_flight_;
    if (!result.failure) return;
    std::lock_guard lock(mutex_);
    ++failures_[{result.failure->kind, result.failure->number}];
}

void Counters::Reloaded(bool accepted) {
    ++(accepted ? reloads_accepted_ : reloads_refused_);
    last_reload_good_ = accepted;
}

void Counters::ConnectionRejected(const char* reason) {
    ++(std::string_view(reason) == "limit" ? rejected_limit_ : accept_failed_);
}

std::string Counters::Metrics() const {
    Exposition out;
    out.Family("orbenix_exporter_probes_total", "counter", "Probes run, failed or not.");
    out.Sample("orbenix_exporter_probes_total", probes_.load());
    out.Family("orbenix_exporter_probe_failures_total", "counter", "Failed probes by the error's kind and number.");
    {
        std::lock_guard lock(mutex_);
        for (const auto& [key, count] : failures_) {
            out.Sample("orbenix_exporter_probe_failures_total", count, {{"kind", key.first}, {"number", key.second}});
        }
    }
    out.Family("orbenix_exporter_probes_in_flight", "gauge", "Probes running now.");
    out.Sample("orbenix_exporter_probes_in_flight", static_cast<double>(in_flight_.load()));
    out.Family("orbenix_exporter_probes_rejected_total", "counter",
               "Probes answered without a check: 503 when too many ran, 404 for an unknown target.");
    out.Sample("orbenix_exporter_probes_rejected_total", rejected_busy_.load(), {{"reason", "busy"}});
    out.Sample("orbenix_exporter_probes_rejected_total", unknown_target_.load(), {{"reason", "unknown_target"}});
    out.Family("orbenix_exporter_config_reloads_total", "counter", "Configuration reloads, accepted or refused.");
    out.Sample("orbenix_exporter_config_reloads_total", reloads_accepted_.load(), {{"result", "accepted"}});
    out.Sample("orbenix_exporter_config_reloads_total", reloads_refused_.load(), {{"result", "refused"}});
    out.Family("orbenix_exporter_config_last_reload_successful", "gauge",
               "0 when the last reload was refused (the configuration before it stays).");
    out.Sample("orbenix_exporter_config_last_reload_successful", last_reload_good_ ? 1.0 : 0.0);
    out.Family("orbenix_exporter_targets", "gauge", "Targets in the configuration.");
    out.Sample("orbenix_exporter_targets", static_cast<std::uint64_t>(targets_.load()));
    out.Family("orbenix_exporter_connections_open", "gauge", "HTTP connections open now.");
    out.Sample("orbenix_exporter_connections_open", static_cast<double>(connections_open_.load()));
    out.Family("orbenix_exporter_connections_rejected_total", "counter",
               "Connections closed at once: past max_connections, or the accept failed (out of file descriptors).");
    out.Sample("orbenix_exporter_connections_rejected_total", rejected_limit_.load(), {{"reason", "limit"}});
    out.Sample("orbenix_exporter_connections_rejected_total", accept_failed_.load(), {{"reason", "accept_failed"}});
    return out.text();
}

}  // namespace orbenix::exporter
