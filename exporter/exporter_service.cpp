#include "exporter/exporter_service.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include "core/utf8.h"
#include "exporter/deadline.h"
#include "exporter/exposition.h"
#include "exporter/http_front.h"
#include "exporter/probe.h"
#include "exporter/probe_metrics.h"
#include "exporter/probe_pool.h"
#include "exporter/process_metrics.h"
#include "exporter/request_target.h"
#include "exporter/service_discovery.h"
#include "exporter/status_page.h"
#include "exporter/web_state.h"

namespace orbenix::exporter {
namespace {

constexpr const char* kPlainText = "text/plain; charset=utf-8";
constexpr const char* kScrapeTimeoutHeader = "X-Prometheus-Scrape-Timeout-Seconds";
// The threads that read and write connections; they never block.
constexpr int kIoThreads = 2;
// bcrypt checks at once, and how many may wait for one.
constexpr int kPasswordThreads = 2;
constexpr std::size_t kPasswordQueue = 64;

void StderrLog(const std::string& line) {
    std::fprintf(stderr, "orbenix-exporter: %s\n", line.c_str());
    std::fflush(stderr);
}

HttpAnswer Text(int status, std::string text) { return {status, kPlainText, std::move(text), {}}; }

// One thread for the slow work that is neither a probe nor I/O: reloads.
class SerialWorker {
public:
    SerialWorker() : thread_([this] { Work(); }) {}
    ~SerialWorker() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void Post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

private:
    void Work() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts once the rest is there
};

}  // namespace

struct ExporterService::Impl final : FrontHandler {
    Impl(std::string path, ExporterConfig first, FormFactory make_form, LogSink sink, std::string web_path)
        : config_path(std::move(path)),
          web_config_path(std::move(web_path)),
          config(std::make_shared<const ExporterConfig>(std::move(first))),
          forms(std::move(make_form)),
          log(sink ? std::move(sink) : LogSink(StderrLog)),
          probes(config->max_concurrent_probes),
          passwords(std::make_shared<PasswordPool>(kPasswordThreads, kPasswordQueue)),
          front(*this, counters, kIoThreads),
          timers(1) {
        counters.SetTargets(config->targets.size());
    }

    ~Impl() override {
        timers_work.reset();
        if (timer_thread.joinable()) timer_thread.join();
    }

    std::shared_ptr<const ExporterConfig> Current() const {
        std::lock_guard lock(state_mutex);
        return config;
    }
    std::shared_ptr<const WebState> CurrentWeb() const {
        std::lock_guard lock(state_mutex);
        return web;
    }

    // --- what the front asks ------------------------------------------------

    ConnectionLimits Limits() override {
        const auto current = Current();
        ConnectionLimits limits;
        limits.request_head = std::chrono::seconds(current->request_head_timeout_seconds);
        limits.idle = std::chrono::seconds(current->idle_timeout_seconds);
        limits.max_head_bytes = static_cast<std::size_t>(current->max_request_head_bytes);
        limits.max_body_bytes = kMaxRequestBodyBytes;
        limits.max_connections = current->max_connections;
        return limits;
    }

    std::shared_ptr<boost::asio::ssl::context> Tls() override { return CurrentWeb()->tls; }

    HttpAnswer Refused(int status) override {
        HttpAnswer answer;
        switch (status) {
        case 413: answer = Text(413, "request body longer than " + std::to_string(kMaxRequestBodyBytes) + " bytes\n"); break;
        case 431:
            answer = Text(431, "request head longer than " + std::to_string(Current()->max_request_head_bytes) +
                                   " bytes\n");
            break;
        default: answer = Text(400, "the request is not HTTP/1.1 this exporter can read\n"); break;
        }
        return Decorated(std::move(answer), *CurrentWeb());
    }

    void Handle(HttpRequest request, Reply reply) override {
        auto current_web = CurrentWeb();
        Reply decorated = [reply = std::move(reply), current_web](HttpAnswer answer) {
            reply(Decorated(std::move(answer), *current_web));
        };
        const BasicAuth& auth = *current_web->auth;
        if (!auth.enabled()) return Route(std::move(request), std::move(decorated));
        auto shared_request = std::make_shared<HttpRequest>(std::move(request));
        const auto authorization = shared_request->Header("Authorization");
        auth.Check(authorization, [this, shared_request, decorated](AuthVerdict verdict) {
            switch (verdict) {
            case AuthVerdict::Allowed: return Route(std::move(*shared_request), decorated);
            case AuthVerdict::Busy:
                return decorated(Text(503, "too many password checks at once; try again later\n"));
            case AuthVerdict::Denied: {
                HttpAnswer answer = Text(401, "this exporter needs a user and password (basic authentication)\n");
                answer.headers.emplace_back("WWW-Authenticate", "Basic");
                return decorated(std::move(answer));
            }
            }
        });
    }

    static HttpAnswer Decorated(HttpAnswer answer, const WebState& state) {
        for (const auto& header : state.config.headers) answer.headers.push_back(header);
        return answer;
    }

    // --- the endpoints ---------------------------------------------------------

    void Route(HttpRequest request, Reply reply) {
        if (request.target.size() > kMaxRequestTargetBytes) {
            return reply(Text(414, "request target longer than " + std::to_string(kMaxRequestTargetBytes) + " bytes\n"));
        }
        const RequestTarget target = SplitTarget(request.target);
        const bool get = request.method == "GET" || request.method == "HEAD";
        if (get && target.path == "/probe") return Probe(request, target, std::move(reply));
        if (get && target.path == "/metrics") {
            return reply({200, kExpositionContentType, counters.Metrics() + ProcessMetrics(), {}});
        }
        if (get && target.path == "/sd") return reply({200, kJsonContentType, ServiceDiscoveryJson(*Current()), {}});
        if (get && target.path == "/") {
            return reply({200, "text/html; charset=utf-8", StatusPage(*Current()), {}});
        }
        if (request.method == "POST" && target.path == "/-/reload") {
            // Reading files is slow work: off the I/O threads.
            return reloads.Post([this, reply = std::move(reply)] {
                const ReloadOutcome outcome = Reload();
                reply(Text(outcome.accepted ? 200 : 500, outcome.text + "\n"));
            });
        }
        if (get && target.path == "/-/reload") {
            HttpAnswer answer = Text(405, "the configuration reloads on POST /-/reload only\n");
            answer.headers.emplace_back("Allow", "POST");
            return reply(std::move(answer));
        }
        reply(Text(404, "not found: this exporter answers /probe?target=NAME, /metrics, /sd, / and POST /-/reload\n"));
    }

    void Probe(const HttpRequest& request, const RequestTarget& where, Reply reply) {
        std::shared_ptr<const ExporterConfig> current = Current();
        const auto name = QueryValue(where.query, "target");
        if (!name || name->empty()) return reply(Text(400, "the probe needs a target: /probe?target=NAME\n"));
        const Target* target = current->Find(*name);
        if (target == nullptr) {
            counters.ProbeUnknownTarget();
            return reply(Text(404, "unknown target: the configuration names no target so called\n"));
        }
        const double budget = ProbeBudgetSeconds(request.Header(kScrapeTimeoutHeader), *current);
        const double queue_wait = QueueWaitSeconds(budget, *current);
        const auto asked = std::chrono::steady_clock::now();

        // `current` keeps the target alive while its probe runs, across reloads.
        auto shared_reply = std::make_shared<Reply>(std::move(reply));
        auto timer = std::make_shared<boost::asio::steady_timer>(timers);
        auto ticket = probes.Submit([this, current, target, budget, asked, shared_reply, timer] {
            boost::asio::post(timers, [timer] { timer->cancel(); });  // it has its slot
            const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
            counters.ProbeStarted();
            const ProbeResult result = RunProbe(*target, CheckDeadlineSeconds(budget, waited), forms());
            counters.ProbeFinished(result);
            if (result.failure) log("probe of " + target->name + " failed: " + Utf8FromText(result.text));
            (*shared_reply)({200, kExpositionContentType, ProbeMetrics(*target, result), {}});
        });
        // Every slot busy for the whole wait: taken back out of line, answered 503.
        timer->expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(queue_wait)));
        timer->async_wait([this, timer, ticket, shared_reply](const boost::system::error_code&) {
            if (!probes.Cancel(ticket)) return;  // it runs, or ran
            counters.ProbeRejectedBusy();
            (*shared_reply)(Text(503, "too many probes at once: all " + std::to_string(probes.slots()) +
                                          " slots are busy; try again later\n"));
        });
    }

    ReloadOutcome Reload() {
        std::lock_guard reloading(reload_mutex);
        auto read = ReadConfigFile(config_path);
        std::variant<std::shared_ptr<const WebState>, ConfigErrors> web_read = CurrentWeb();
        if (!web_config_path.empty()) web_read = LoadWebState(web_config_path, passwords);
        ConfigErrors errors;
        if (auto* found = std::get_if<ConfigErrors>(&read)) errors = std::move(*found);
        if (auto* found = std::get_if<ConfigErrors>(&web_read)) errors.insert(errors.end(), found->begin(), found->end());
        if (!errors.empty()) {
            counters.Reloaded(false);
            std::string text = "configuration refused, the one before stays:";
            for (const std::string& error : errors) text += "\n" + error;
            log(text);
            return {false, text};
        }
        auto fresh = std::make_shared<const ExporterConfig>(std::move(std::get<ExporterConfig>(read)));
        std::string text = "configuration reloaded: " + std::to_string(fresh->targets.size()) + " targets";
        {
            std::lock_guard lock(state_mutex);
            if (fresh->listen_host != config->listen_host || fresh->listen_port != config->listen_port) {
                text += " (the new listen address takes effect at the next start)";
            }
            config = fresh;
            web = std::get<std::shared_ptr<const WebState>>(web_read);
        }
        probes.SetSlots(fresh->max_concurrent_probes);
        counters.SetTargets(fresh->targets.size());
        counters.Reloaded(true);
        log(text);
        return {true, text};
    }

    std::string config_path;
    std::string web_config_path;
    mutable std::mutex state_mutex;
    std::shared_ptr<const ExporterConfig> config;
    std::shared_ptr<const WebState> web;
    std::mutex reload_mutex;
    FormFactory forms;
    LogSink log;
    Counters counters;
    ProbePool probes;
    std::shared_ptr<PasswordPool> passwords;
    HttpFront front;
    // The probes' queue timers run on a context of their own, so that no
    // wait for a slot depends on the front's threads.
    boost::asio::io_context timers;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> timers_work{
        timers.get_executor()};
    std::thread timer_thread{[this] { timers.run(); }};
    SerialWorker reloads;
};

ExporterService::ExporterService(std::string config_path, ExporterConfig config, FormFactory forms, LogSink log,
                                 std::string web_config_path)
    : impl_(std::make_unique<Impl>(std::move(config_path), std::move(config), std::move(forms), std::move(log),
                                   std::move(web_config_path))) {}

ExporterService::~ExporterService() = default;

std::variant<int, std::string> ExporterService::Bind() {
    auto web = LoadWebState(impl_->web_config_path, impl_->passwords);
    if (auto* errors = std::get_if<ConfigErrors>(&web)) {
        std::string text;
        for (const std::string& error : *errors) text += (text.empty() ? "" : "\n") + error;
        return text;
    }
    {
        std::lock_guard lock(impl_->state_mutex);
        impl_->web = std::get<std::shared_ptr<const WebState>>(web);
    }
    const auto config = impl_->Current();
    return impl_->front.Bind(config->listen_host, config->listen_port);
}

void ExporterService::Serve() { impl_->front.Run(); }

void ExporterService::Stop() { impl_->front.Stop(); }

ReloadOutcome ExporterService::Reload() { return impl_->Reload(); }

const Counters& ExporterService::counters() const { return impl_->counters; }

bool ExporterService::UsesTls() const {
    const auto web = impl_->CurrentWeb();
    return web && web->tls;
}

bool ExporterService::Secured() const {
    const auto web = impl_->CurrentWeb();
    return web && web->tls && web->auth->enabled();
}

}  // namespace orbenix::exporter
