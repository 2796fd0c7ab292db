// orbenix-exporter: a Prometheus exporter that probes virtual servers on
// SolusVM panels, one check per /probe?target=NAME.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "exporter/exporter_config.h"
#include "exporter/exporter_service.h"
#include "exporter/listen_address.h"
#include "exporter/web_state.h"

namespace {

using namespace orbenix::exporter;

constexpr const char* kDefaultConfig = "/etc/orbenix-exporter/orbenix-exporter.toml";
constexpr const char* kUsage =
    "usage: orbenix-exporter [--config FILE] [--web.config.file FILE] [--check-config]\n"
    "  --config FILE           the configuration (default /etc/orbenix-exporter/orbenix-exporter.toml)\n"
    "  --web.config.file FILE  TLS and basic authentication, in Prometheus' web configuration format\n"
    "  --check-config          read both configurations, report every error, and exit\n"
    "  --version               print the version and exit\n"
    "SIGHUP or POST /-/reload reads the configuration again; SIGTERM stops after the probes in flight.\n";

struct Arguments {
    std::string config = kDefaultConfig;
    std::string web_config;
    bool check_only = false;
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "orbenix-exporter: %s\n%s", text.c_str(), kUsage);
    return 2;
}

// Waits for the signals the main thread blocked: SIGHUP reloads, SIGTERM and SIGINT stop.
void HandleSignals(const sigset_t& signals, ExporterService& service) {
    while (true) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == SIGHUP) {
            service.Reload();
            continue;
        }
        std::fprintf(stderr, "orbenix-exporter: stopping: the probes in flight finish first\n");
        service.Stop();
        return;
    }
}

// Each held connection is a descriptor: lift the soft limit to the hard one
// (systemd's default soft limit is 1024), and say when it is still short.
void RaiseFileLimit(int max_connections) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    constexpr rlim_t kSpare = 64;  // files, the panels' sockets, the log
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < static_cast<rlim_t>(max_connections) + kSpare) {
        std::fprintf(stderr, "orbenix-exporter: warning: at most %llu open files (ulimit -n), fewer than "
                             "max_connections (%d) needs; connections past that wait for a free descriptor\n",
                     static_cast<unsigned long long>(limit.rlim_cur), max_connections);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--config" && i + 1 < argc) {
            arguments.config = argv[++i];
        } else if (argument.starts_with("--config=")) {
            arguments.config = argument.substr(9);
        } else if ((argument == "--web.config.file" || argument == "--web-config-file") && i + 1 < argc) {
            arguments.web_config = argv[++i];
        } else if (argument.starts_with("--web.config.file=")) {
            arguments.web_config = argument.substr(18);
        } else if (argument == "--check-config") {
            arguments.check_only = true;
        } else if (argument == "--version") {
            std::printf("orbenix-exporter version 1.0 build 5\n");
            return 0;
        } else if (argument == "-h" || argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            return Fail("unknown argument: " + argument);
        }
    }

    auto read = ReadConfigFile(arguments.config);
    ConfigErrors errors;
    if (auto* found = std::get_if<ConfigErrors>(&read)) errors = *found;
    if (!arguments.web_config.empty()) {
        const auto web = LoadWebState(arguments.web_config, nullptr);
        if (auto* found = std::get_if<ConfigErrors>(&web)) errors.insert(errors.end(), found->begin(), found->end());
    }
    if (!errors.empty()) {
        for (const std::string& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
        std::fprintf(stderr, "orbenix-exporter: %zu error(s) in the configuration\n", errors.size());
        return 1;
    }
    ExporterConfig& config = std::get<ExporterConfig>(read);
    if (arguments.check_only) {
        std::printf("%s: configuration OK, %zu targets\n", arguments.config.c_str(), config.targets.size());
        if (!arguments.web_config.empty()) std::printf("%s: web configuration OK\n", arguments.web_config.c_str());
        return 0;
    }
    RaiseFileLimit(config.max_connections);

    // Blocked here, before any thread starts, so that only HandleSignals takes them.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGHUP, SIGTERM, SIGINT}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const std::string host = config.listen_host;
    ExporterService service(arguments.config, std::move(config), orbenix::CreateCheckForm, {}, arguments.web_config);
    const auto bound = service.Bind();
    if (const auto* error = std::get_if<std::string>(&bound)) {
        std::fprintf(stderr, "orbenix-exporter: %s\n", error->c_str());
        return 1;
    }
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::fprintf(stderr, "orbenix-exporter: listening on %s://%s:%d/\n", service.UsesTls() ? "https" : "http",
                 shown.c_str(), std::get<int>(bound));
    if (!IsLoopbackHost(host) && !service.Secured()) {
        std::fprintf(stderr, "orbenix-exporter: warning: %s is reachable beyond this machine without TLS and basic "
                             "authentication: anyone who reaches the port can start probes and reloads; give "
                             "--web.config.file with tls_server_config and basic_auth_users\n", shown.c_str());
    }
    std::fflush(stderr);

    std::thread signal_thread(HandleSignals, std::cref(signals), std::ref(service));
    service.Serve();
    // Serve also returns when listening fails; the signal thread then needs its signal.
    pthread_kill(signal_thread.native_handle(), SIGTERM);
    signal_thread.join();
    std::fprintf(stderr, "orbenix-exporter: stopped\n");
    return 0;
}
