#pragma once
// The HTTP side of orbenix-exporter: /probe?target=NAME, /metrics, / and
// POST /-/reload, with the bounds on probes, requests and connections, and
// TLS and basic authentication from the web configuration file.
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "component/check_form.h"
#include "exporter/counters.h"
#include "exporter/exporter_config.h"

namespace orbenix::exporter {

// Request targets (path and query) longer than this answer 414.
inline constexpr std::size_t kMaxRequestTargetBytes = 1024;
// Request bodies longer than this answer 413 (no endpoint takes a body).
inline constexpr std::size_t kMaxRequestBodyBytes = 4096;
// Request heads longer than the configured max_request_head_bytes answer 431.

using FormFactory = std::function<std::unique_ptr<CheckForm>()>;
using LogSink = std::function<void(const std::string& line)>;

struct ReloadOutcome {
    bool accepted = false;
    std::string text;  // what the log and the answer say
};

class ExporterService {
public:
    // `config` was read from `config_path`, which a reload reads again, as it
    // does the web configuration `web_config_path` (empty: none).
    ExporterService(std::string config_path, ExporterConfig config, FormFactory forms = CreateCheckForm,
                    LogSink log = {}, std::string web_config_path = {});
    ~ExporterService();
    ExporterService(const ExporterService&) = delete;
    ExporterService& operator=(const ExporterService&) = delete;

    // Reads the web configuration and binds the configured address: the port
    // (the one chosen for port 0), or what failed (each error on a line).
    std::variant<int, std::string> Bind();
    // Answers requests until Stop(); returns once the probes in flight are done.
    void Serve();
    // Stops taking connections; may be called from any thread.
    void Stop();
    // Reads the configuration file again; a bad one is refused and the old kept.
    ReloadOutcome Reload();

    const Counters& counters() const;
    // Whether connections are served over TLS now, and whether they also need a password.
    bool UsesTls() const;
    bool Secured() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbenix::exporter
