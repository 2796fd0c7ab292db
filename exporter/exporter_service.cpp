#include "exporter/exporter_service.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "core/utf8.h"
#include "exporter/deadline.h"
#include "exporter/exposition.h"
#include "exporter/probe.h"
#include "exporter/probe_gate.h"
#include "exporter/probe_metrics.h"
#include "exporter/status_page.h"

namespace orbenix::exporter {
namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kScrapeTimeoutHeader = "X-Prometheus-Scrape-Timeout-Seconds";
// Threads beyond the probe bound, so that a probe over the bound reaches its
// 503 and /metrics answers while every slot is taken.
constexpr int kSpareThreads = 8;

void StderrLog(const std::string& line) {
    std::fprintf(stderr, "orbenix-exporter: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace

struct ExporterService::Impl {
    Impl(std::string path, ExporterConfig first, FormFactory make_form, LogSink sink)
        : config_path(std::move(path)),
          config(std::make_shared<const ExporterConfig>(std::move(first))),
          forms(std::move(make_form)),
          log(sink ? std::move(sink) : LogSink(StderrLog)),
          gate(config->max_concurrent_probes) {
        counters.SetTargets(config->targets.size());
        const int threads = config->max_concurrent_probes + kSpareThreads;
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        server.set_payload_max_length(kMaxRequestBodyBytes);
        server.set_keep_alive_max_count(100);
        server.set_keep_alive_timeout(5);
        server.set_read_timeout(5);
        server.set_write_timeout(5);
        Routes();
    }

    std::shared_ptr<const ExporterConfig> Current() const {
        std::lock_guard lock(config_mutex);
        return config;
    }

    void Routes() {
        server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
            if (request.target.size() <= kMaxRequestTargetBytes) return httplib::Server::HandlerResponse::Unhandled;
            response.status = 414;
            response.set_content("request target longer than " + std::to_string(kMaxRequestTargetBytes) +
                                     " bytes\n", kPlainText);
            return httplib::Server::HandlerResponse::Handled;
        });
        server.Get("/probe", [this](const httplib::Request& request, httplib::Response& response) {
            Probe(request, response);
        });
        server.Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(counters.Metrics(), kExpositionContentType);
        });
        server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(StatusPage(*Current()), "text/html; charset=utf-8");
        });
        server.Post("/-/reload", [this](const httplib::Request&, httplib::Response& response) {
            const ReloadOutcome outcome = Reload();
            response.status = outcome.accepted ? 200 : 500;
            response.set_content(outcome.text + "\n", kPlainText);
        });
        server.Get("/-/reload", [](const httplib::Request&, httplib::Response& response) {
            response.status = 405;
            response.set_header("Allow", "POST");
            response.set_content("the configuration reloads on POST /-/reload only\n", kPlainText);
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
            if (!response.body.empty()) return;
            if (response.status == 404) {
                response.set_content("not found: this exporter answers /probe?target=NAME, /metrics, / and "
                                     "POST /-/reload\n", kPlainText);
            } else if (response.status == 413) {
                response.set_content("request body longer than " + std::to_string(kMaxRequestBodyBytes) +
                                         " bytes\n", kPlainText);
            }
        });
        server.set_exception_handler([this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            // A check never throws (qv_docheck traps every error); this is the last guard.
            log("a request failed inside the exporter");
            response.status = 500;
            response.set_content("the exporter failed to answer this request\n", kPlainText);
        });
    }

    void Probe(const httplib::Request& request, httplib::Response& response) {
        const std::shared_ptr<const ExporterConfig> current = Current();
        if (!request.has_param("target") || request.get_param_value("target").empty()) {
            response.status = 400;
            response.set_content("the probe needs a target: /probe?target=NAME\n", kPlainText);
            return;
        }
        const Target* target = current->Find(request.get_param_value("target"));
        if (target == nullptr) {
            counters.ProbeUnknownTarget();
            response.status = 404;
            response.set_content("unknown target: the configuration names no target so called\n", kPlainText);
            return;
        }
        std::optional<std::string_view> header;
        const std::string header_text = request.get_header_value(kScrapeTimeoutHeader);
        if (request.has_header(kScrapeTimeoutHeader)) header = header_text;
        const double budget = ProbeBudgetSeconds(header, *current);

        const auto start = std::chrono::steady_clock::now();
        const ProbeGate::Slot slot = gate.Enter(std::chrono::duration<double>(QueueWaitSeconds(budget, *current)));
        if (!slot) {
            counters.ProbeRejectedBusy();
            response.status = 503;
            response.set_content("too many probes at once: all " + std::to_string(gate.slots()) +
                                     " slots are busy; try again later\n", kPlainText);
            return;
        }
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        counters.ProbeStarted();
        const ProbeResult result = RunProbe(*target, CheckDeadlineSeconds(budget, waited), forms());
        counters.ProbeFinished(result);
        if (result.failure) {
            log("probe of " + target->name + " failed: " + Utf8FromText(result.text));
        }
        response.set_content(ProbeMetrics(*target, result), kExpositionContentType);
    }

    ReloadOutcome Reload() {
        std::lock_guard reloading(reload_mutex);
        auto read = ReadConfigFile(config_path);
        if (auto* errors = std::get_if<ConfigErrors>(&read)) {
            counters.Reloaded(false);
            std::string text = "configuration refused, the one before stays:";
            for (const std::string& error : *errors) text += "\n" + error;
            log(text);
            return {false, text};
        }
        auto fresh = std::make_shared<const ExporterConfig>(std::move(std::get<ExporterConfig>(read)));
        std::string text = "configuration reloaded: " + std::to_string(fresh->targets.size()) + " targets";
        {
            std::lock_guard lock(config_mutex);
            if (fresh->listen_host != config->listen_host || fresh->listen_port != config->listen_port) {
                text += " (the new listen address takes effect at the next start)";
            }
            config = fresh;
        }
        gate.SetSlots(fresh->max_concurrent_probes);
        counters.SetTargets(fresh->targets.size());
        counters.Reloaded(true);
        log(text);
        return {true, text};
    }

    std::string config_path;
    mutable std::mutex config_mutex;
    std::shared_ptr<const ExporterConfig> config;
    std::mutex reload_mutex;
    FormFactory forms;
    LogSink log;
    ProbeGate gate;
    Counters counters;
    httplib::Server server;
};

ExporterService::ExporterService(std::string config_path, ExporterConfig config, FormFactory forms, LogSink log)
    : impl_(std::make_unique<Impl>(std::move(config_path), std::move(config), std::move(forms), std::move(log))) {}

ExporterService::~ExporterService() = default;

std::variant<int, std::string> ExporterService::Bind() {
    const auto config = impl_->Current();
    const std::string where = config->listen_host + ":" + std::to_string(config->listen_port);
    if (config->listen_port == 0) {
        const int port = impl_->server.bind_to_any_port(config->listen_host);
        if (port > 0) return port;
    } else if (impl_->server.bind_to_port(config->listen_host, config->listen_port)) {
        return config->listen_port;
    }
    return "cannot listen on " + where + " (address in use, not this machine's, or not allowed)";
}

void ExporterService::Serve() { impl_->server.listen_after_bind(); }

void ExporterService::Stop() { impl_->server.stop(); }

ReloadOutcome ExporterService::Reload() { return impl_->Reload(); }

const Counters& ExporterService::counters() const { return impl_->counters; }

}  // namespace orbenix::exporter
