#pragma once
// The HTTP side of orbenix-exporter: /probe?target=NAME, /metrics, / and
// POST /-/reload, with the bounds on probes and requests.
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

using FormFactory = std::function<std::unique_ptr<CheckForm>()>;
using LogSink = std::function<void(const std::string& line)>;

struct ReloadOutcome {
    bool accepted = false;
    std::string text;  // what the log and the answer say
};

class ExporterService {
public:
    // `config` was read from `config_path`, which a reload reads again.
    ExporterService(std::string config_path, ExporterConfig config, FormFactory forms = CreateCheckForm,
                    LogSink log = {});
    ~ExporterService();
    ExporterService(const ExporterService&) = delete;
    ExporterService& operator=(const ExporterService&) = delete;

    // Binds the configured address: the port (the one chosen for port 0), or what failed.
    std::variant<int, std::string> Bind();
    // Answers requests until Stop(); returns once the probes in flight are done.
    void Serve();
    // Stops taking connections; may be called from any thread.
    void Stop();
    // Reads the configuration file again; a bad one is refused and the old kept.
    ReloadOutcome Reload();

    const Counters& counters() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbenix::exporter
