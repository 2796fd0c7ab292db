// orbenix-exporter: a Prometheus exporter that probes virtual servers on
// SolusVM panels, one check per /probe?target=NAME.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "exporter/exporter_config.h"
#include "exporter/exporter_service.h"

namespace {

using namespace orbenix::exporter;

constexpr const char* kDefaultConfig = "/etc/orbenix-exporter/orbenix-exporter.toml";
constexpr const char* kUsage =
    "usage: orbenix-exporter [--config FILE] [--check-config]\n"
    "  --config FILE    the configuration (default /etc/orbenix-exporter/orbenix-exporter.toml)\n"
    "  --check-config   read the configuration, report every error, and exit\n"
    "  --version        print the version and exit\n"
    "SIGHUP or POST /-/reload reads the configuration again; SIGTERM stops after the probes in flight.\n";

struct Arguments {
    std::string config = kDefaultConfig;
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

}  // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--config" && i + 1 < argc) {
            arguments.config = argv[++i];
        } else if (argument.starts_with("--config=")) {
            arguments.config = argument.substr(9);
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
    if (auto* errors = std::get_if<ConfigErrors>(&read)) {
        for (const std::string& error : *errors) std::fprintf(stderr, "%s\n", error.c_str());
        std::fprintf(stderr, "orbenix-exporter: %zu error(s) in the configuration\n", errors->size());
        return 1;
    }
    ExporterConfig& config = std::get<ExporterConfig>(read);
    if (arguments.check_only) {
        std::printf("%s: configuration OK, %zu targets\n", arguments.config.c_str(), config.targets.size());
        return 0;
    }

    // Blocked here, before any thread starts, so that only HandleSignals takes them.
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGHUP, SIGTERM, SIGINT}) sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    const std::string host = config.listen_host;
    ExporterService service(arguments.config, std::move(config));
    const auto bound = service.Bind();
    if (const auto* error = std::get_if<std::string>(&bound)) {
        std::fprintf(stderr, "orbenix-exporter: %s\n", error->c_str());
        return 1;
    }
    const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::fprintf(stderr, "orbenix-exporter: listening on http://%s:%d/\n", shown.c_str(), std::get<int>(bound));
    std::fflush(stderr);

    std::thread signal_thread(HandleSignals, std::cref(signals), std::ref(service));
    service.Serve();
    // Serve also returns when listening fails; the signal thread then needs its signal.
    pthread_kill(signal_thread.native_handle(), SIGTERM);
    signal_thread.join();
    std::fprintf(stderr, "orbenix-exporter: stopped\n");
    return 0;
}
