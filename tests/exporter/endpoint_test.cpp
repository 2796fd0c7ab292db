#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <regex>
#include <thread>

#include "engine/demo_panel_client.h"
#include "exporter/exporter_service.h"
#include "temp_folder.h"

namespace orbenix::exporter {
namespace {

using orbenix::testing::TempFolder;

std::string Targets(int http_port, int closed_port) {
    const std::string panel = "http://127.0.0.1:" + std::to_string(http_port);
    std::string text;
    const auto target = [&](const std::string& name, const std::string& url, const std::string& more = "") {
        text += "[targets." + name + "]\nurl = \"" + url + "\"\nkey_file = \"" + name + ".key\"\n"
                "hash_file = \"demo.hash\"\n" + more + "\n";
    };
    target("online", panel, "labels = { customer = \"acme \\\"A\\\"\", panel = \"eu1\" }\n");
    target("offline", panel);
    target("busy", panel, "bandwidth_warning = \"80\"\nbandwidth_critical = \"90\"\n");
    target("wrong", panel);
    target("stall", panel);
    target("gone", panel + "/gone");
    target("refused", "http://127.0.0.1:" + std::to_string(closed_port));
    return text;
}

// The service on a free loopback port, against the demo panel of the fixture.
class Endpoints : public ::testing::Test {
protected:
    void Start(const std::string& exporter_section) {
        const auto panel = orbenix::testing::ReadDemoPanel();
        ASSERT_TRUE(panel.ok()) << "ORBENIX_DEMO_PANEL names no running demo panel";
        for (const char* key : {"online", "offline", "busy", "wrong", "stall", "gone", "refused"}) {
            folder_.Write(std::string(key) + ".key", std::string(key) == "refused" ? "online\n" : std::string(key) + "\n");
        }
        folder_.Write("demo.hash", "demo-hash\n");
        config_path_ = folder_.Write("exporter.toml", "[exporter]\nlisten = \"127.0.0.1:0\"\n" + exporter_section +
                                                          Targets(panel.http_port, panel.closed_port), 0644);
        auto read = ReadConfigFile(config_path_);
        ASSERT_TRUE(std::holds_alternative<ExporterConfig>(read)) << std::get<ConfigErrors>(read).front();
        service_ = std::make_unique<ExporterService>(config_path_, std::move(std::get<ExporterConfig>(read)),
                                                     CreateCheckForm, [](const std::string&) {});
        const auto bound = service_->Bind();
        ASSERT_TRUE(std::holds_alternative<int>(bound)) << std::get<std::string>(bound);
        port_ = std::get<int>(bound);
        serving_ = std::thread([this] { service_->Serve(); });
    }

    void TearDown() override {
        if (service_) service_->Stop();
        if (serving_.joinable()) serving_.join();
    }

    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(20);
        return client.Get(path, headers);
    }

    TempFolder folder_;
    std::string config_path_;
    std::unique_ptr<ExporterService> service_;
    std::thread serving_;
    int port_ = 0;
};

TEST_F(Endpoints, EachRequestGetsItsAnswer) {
    Start("");
    const httplib::Headers scrape = {{"X-Prometheus-Scrape-Timeout-Seconds", "3"}};
    const struct { std::string path; httplib::Headers headers; int status; std::vector<std::string> says; } cases[] = {
        {"/probe?target=online", {}, 200, {"\nsolusvm_probe_success 1\n", "\nsolusvm_up 1\n",
                                           "\nsolusvm_probe_duration_seconds [0-9.e-]+\n"}},
        {"/probe?target=offline", {}, 200, {"\nsolusvm_probe_success 1\n", "\nsolusvm_up 0\n"}},
        {"/probe?target=busy", {}, 200, {"\nsolusvm_up 1\n", "\nsolusvm_bandwidth_used_bytes 852000000000\n",
                                         "\nsolusvm_bandwidth_total_bytes 1000000000000\n",
                                         "\nsolusvm_bandwidth_used_ratio 0.852\n",
                                         "solusvm_usage_out_of_range\\{usage=\"bandwidth\",level=\"warning\",range=\"80\"\\} 1\n",
                                         "solusvm_usage_out_of_range\\{usage=\"bandwidth\",level=\"critical\",range=\"90\"\\} 0\n"}},
        {"/probe?target=wrong", {}, 200, {"\nsolusvm_probe_success 0\n", "solusvm_probe_error_info\\{number=\"0\",kind=\"panel\"\\} 1"}},
        {"/probe?target=gone", {}, 200, {"solusvm_probe_error_info\\{number=\"404\",kind=\"http\"\\} 1"}},
        {"/probe?target=refused", {}, 200, {"solusvm_probe_error_info\\{number=\"30011\",kind=\"engine\"\\} 1"}},
        // A slow panel: the scrape's 3 s less the margin leave the check 2 s.
        {"/probe?target=stall", scrape, 200, {"\nsolusvm_probe_success 0\n", "number=\"30020\",kind=\"engine\""}},
        {"/probe?target=nobody", {}, 404, {"^unknown target: the configuration names no target so called\n$"}},
        {"/probe?target=", {}, 400, {"needs a target"}},
        {"/probe", {}, 400, {"needs a target"}},
        {"/probe?target=" + std::string(1100, 'a'), {}, 414, {"longer than 1024 bytes"}},
        {"/metrics", {}, 200, {"\norbenix_exporter_probes_total [0-9]+\n", "orbenix_exporter_probes_in_flight 0\n",
                               "orbenix_exporter_targets 7\n"}},
        {"/metrics", {}, 200, {"\nprocess_cpu_seconds_total [0-9.e+-]+\n", "\nprocess_resident_memory_bytes [1-9][0-9]+\n",
                               "\nprocess_virtual_memory_bytes [1-9][0-9]+\n", "\nprocess_open_fds [1-9][0-9]*\n",
                               "\nprocess_max_fds [1-9][0-9]*\n", "\nprocess_start_time_seconds 1[0-9.e+]+\n",
                               "\norbenix_exporter_build_info\\{version=\"[0-9.]+\"\\} 1\n"}},
        {"/sd", {}, 200, {"^\\[\n\\{\"targets\":\\[\"busy\"\\],\"labels\":\\{\"__param_target\":\"busy\"\\}\\},\n",
                          "\n\\{\"targets\":\\[\"online\"\\],\"labels\":\\{\"__param_target\":\"online\","
                          "\"customer\":\"acme \\\\\"A\\\\\"\",\"panel\":\"eu1\"\\}\\},\n",
                          "\n\\{\"targets\":\\[\"wrong\"\\],\"labels\":\\{\"__param_target\":\"wrong\"\\}\\}\n\\]\n$"}},
        {"/", {}, 200, {"<a href=\"probe\\?target=online\">online</a>", "<a href=\"metrics\">"}},
        {"/-/reload", {}, 405, {"POST /-/reload only"}},
        {"/elsewhere", {}, 404, {"answers /probe\\?target=NAME"}},
        {"/metrics", {{"X-Padding", std::string(9000, 'a')}}, 431, {"^request head longer than 8192 bytes\n$"}},
        {"/probe?target=%6Fnline", {}, 200, {"\nsolusvm_up 1\n"}},
    };
    for (const auto& c : cases) {
        const auto answer = Get(c.path, c.headers);
        ASSERT_TRUE(answer) << c.path;
        EXPECT_EQ(answer->status, c.status) << c.path << "\n" << answer->body;
        for (const std::string& pattern : c.says) {
            EXPECT_TRUE(std::regex_search(answer->body, std::regex(pattern))) << c.path << " lacks " << pattern
                                                                              << "\n" << answer->body;
        }
    }
    // After the table: the failures counted by number.
    const auto metrics = Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_NE(metrics->body.find("orbenix_exporter_probe_failures_total{kind=\"engine\",number=\"30011\"} 1\n"),
              std::string::npos) << metrics->body;
    EXPECT_NE(metrics->body.find("orbenix_exporter_probes_rejected_total{reason=\"unknown_target\"} 1\n"),
              std::string::npos);
}

TEST_F(Endpoints, UnknownTargetNamesNoneOfTheConfiguredOnes) {
    Start("");
    for (const char* asked : {"onlin", "ONLINE", "online%00", "../online"}) {
        const auto answer = Get(std::string("/probe?target=") + asked);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 404);
        for (const char* name : {"online", "offline", "busy", "wrong", "stall", "gone", "refused"}) {
            EXPECT_EQ(answer->body.find(name), std::string::npos) << asked << ": " << answer->body;
        }
    }
}

// With one slot taken by a slow panel, the next probe waits and then gets 503.
TEST_F(Endpoints, ProbeOverTheBoundAnswers503) {
    Start("max_concurrent_probes = 1\nqueue_wait_seconds = 0.3\n");
    std::thread slow([this] { (void)Get("/probe?target=stall", {{"X-Prometheus-Scrape-Timeout-Seconds", "3"}}); });
    // The slow probe holds the slot once /metrics shows it in flight (bounded wait).
    for (int i = 0; i < 100; ++i) {
        const auto metrics = Get("/metrics");
        if (metrics && metrics->body.find("orbenix_exporter_probes_in_flight 1\n") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto answer = Get("/probe?target=online");
    slow.join();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503);
    EXPECT_EQ(answer->body, "too many probes at once: all 1 slots are busy; try again later\n");
    const auto after = Get("/probe?target=online");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->status, 200);
}

TEST_F(Endpoints, ReloadRefusesABadFileAndKeepsTheOldOne) {
    Start("");
    httplib::Client client("127.0.0.1", port_);
    folder_.Write("exporter.toml", "[targets.online]\nbroken = \n", 0644);
    auto answer = client.Post("/-/reload");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 500);
    EXPECT_NE(answer->body.find("configuration refused, the one before stays:\n" + config_path_ + ":2: "), std::string::npos)
        << answer->body;
    EXPECT_EQ(Get("/probe?target=offline")->status, 200);

    folder_.Write("exporter.toml", "[exporter]\nlisten = \"127.0.0.1:0\"\n[targets.renamed]\nurl = \"http://127.0.0.1:1\"\nkey_file = \"online.key\"\n"
                                   "hash_file = \"demo.hash\"\n", 0644);
    answer = client.Post("/-/reload");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, "configuration reloaded: 1 targets\n");
    EXPECT_EQ(Get("/probe?target=offline")->status, 404);
    EXPECT_EQ(Get("/probe?target=renamed")->status, 200);
    const auto metrics = Get("/metrics");
    EXPECT_NE(metrics->body.find("orbenix_exporter_config_reloads_total{result=\"refused\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics->body.find("orbenix_exporter_config_reloads_total{result=\"accepted\"} 1\n"), std::string::npos);
}

// A bounded load over loopback: 1,000 probes from 32 clients at once. Every
// answer is a probe's 200 or the bound's 503; nothing fails otherwise.
TEST_F(Endpoints, ThousandProbesFrom32Clients) {
    Start("");
    constexpr int kClients = 32;
    constexpr int kProbes = 1000;
    std::atomic<int> next{0}, ok{0}, busy{0}, other{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port_);
            client.set_read_timeout(30);
            const char* targets[] = {"online", "offline", "busy", "wrong"};
            while (next.fetch_add(1) < kProbes) {
                const auto answer = client.Get(std::string("/probe?target=") + targets[c % 4]);
                if (answer && answer->status == 200 && answer->body.starts_with("# HELP solusvm_probe_success")) {
                    ++ok;
                } else if (answer && answer->status == 503) {
                    ++busy;
                } else {
                    ++other;
                }
            }
        });
    }
    for (auto& client : clients) client.join();
    EXPECT_EQ(other.load(), 0);
    EXPECT_EQ(ok.load() + busy.load(), kProbes);
    EXPECT_GT(ok.load(), 0);
    const auto metrics = Get("/metrics");
    EXPECT_NE(metrics->body.find("orbenix_exporter_probes_in_flight 0\n"), std::string::npos);
}

// A client connection on loopback that sent part of a request head and waits.
class HeldConnection {
public:
    HeldConnection(int port, std::string_view sent) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            send(fd_, sent.data(), sent.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(sent.size())) {
            Close();
        }
    }
    HeldConnection(HeldConnection&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~HeldConnection() { Close(); }

    bool open() const { return fd_ >= 0; }
    bool Send(std::string_view bytes) { return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0; }
    // What the exporter sends until it closes or `wait_ms` pass; `closed` says which.
    std::string Receive(int wait_ms, bool& closed) {
        std::string got;
        closed = false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
        while (std::chrono::steady_clock::now() < until) {
            pollfd waiting{fd_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (poll(&waiting, 1, static_cast<int>(std::max<long>(1, left.count()))) <= 0) continue;
            char buffer[4096];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

// Lifts this process's descriptor limit; how many connections the test may hold
// (each is two descriptors here: the client's and the exporter's).
int HoldableConnections(int wanted) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    const long room = (static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - 256) / 2;
    if (room < wanted) {
        std::cout << "holding " << room << " connections, not " << wanted << ": ulimit -n is " << limit.rlim_cur << "\n";
    }
    return static_cast<int>(std::max(0L, std::min<long>(room, wanted)));
}

constexpr std::string_view kHalfHead = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Ag";

// Idle clients cost no thread: with 2,000 half-sent heads held, /metrics and a
// probe on fresh connections answer, and the held ones close at their head deadline.
TEST_F(Endpoints, HalfSentHeadsHoldNoThreadAndCloseAtTheirDeadline) {
    Start("request_head_timeout_seconds = 2\n");
    const int count = HoldableConnections(2000);
    std::vector<HeldConnection> held;
    for (int i = 0; i < count; ++i) {
        held.emplace_back(port_, kHalfHead);
        ASSERT_TRUE(held.back().open()) << "connection " << i;
    }
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5);  // only proves that they answer
    const auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    EXPECT_EQ(metrics->status, 200);
    const auto probe = client.Get("/probe?target=online");
    ASSERT_TRUE(probe);
    EXPECT_NE(probe->body.find("\nsolusvm_up 1\n"), std::string::npos);

    int closed_without_answer = 0;
    for (HeldConnection& connection : held) {
        bool closed = false;
        const std::string answer = connection.Receive(6000, closed);
        if (closed && answer.empty()) ++closed_without_answer;
    }
    EXPECT_EQ(closed_without_answer, count);
}

TEST_F(Endpoints, PastMaxConnectionsNewOnesCloseAtOnceAndOpenOnesAreServed) {
    Start("max_connections = 2\n");
    HeldConnection first(port_, kHalfHead);
    HeldConnection second(port_, kHalfHead);
    // Accepted one after the other: wait until the exporter holds both.
    bool closed = false;
    for (int i = 0; i < 50 && service_->counters().ConnectionsOpen() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    HeldConnection third(port_, kHalfHead);
    EXPECT_EQ(third.Receive(3000, closed), "");
    EXPECT_TRUE(closed) << "the third connection stayed open";

    ASSERT_TRUE(first.Send("ent: t\r\n\r\n"));
    const std::string answer = first.Receive(1000, closed);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    EXPECT_NE(answer.find("orbenix_exporter_connections_rejected_total{reason=\"limit\"} 1\n"), std::string::npos)
        << answer;
    EXPECT_NE(answer.find("orbenix_exporter_connections_open 2\n"), std::string::npos) << answer;
}

}  // namespace
}  // namespace orbenix::exporter
