#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/utf8.h"
#include "exporter/exporter_config.h"
#include "exporter/listen_address.h"
#include "exporter/process_metrics.h"
#include "temp_folder.h"

namespace orbenix::exporter {
namespace {

using orbenix::testing::TempFolder;

// Secret files as an installation keeps them (0600) and files beside them.
class ConfigReader : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("vps.key", "k3y\n");
        folder_.Write("vps.hash", "h4sh\n");
        folder_.Write("open.key", "k3y\n", 0644);
        folder_.Write("vps.parameter", "#URL=http://127.0.0.1:1#KEY=k#HSH=h#\n");
        folder_.Write("open.parameter", "#URL=http://127.0.0.1:1#KEY=k#HSH=h#\n", 0644);
        folder_.Write("public.parameter", "#URL=http://127.0.0.1:1#\n", 0644);
        folder_.Write("two-lines.parameter", "#URL=a#\n#URL=b#\n");
        folder_.Write("ftp.parameter", "#URL=ftp://127.0.0.1/#KEY=k#HSH=h#\n");
    }

    std::variant<ExporterConfig, ConfigErrors> Read(const std::string& text) {
        return ReadConfigFile(folder_.Write("exporter.toml", text, 0644));
    }

    std::string ConfigName() const { return folder_.path() + "/exporter.toml"; }

    TempFolder folder_;
};

TEST_F(ConfigReader, GoodFileGivesEveryTargetAndSetting) {
    const auto read = Read(R"(
[exporter]
listen = "[::1]:9900"
max_concurrent_probes = 4
queue_wait_seconds = 0.25
probe_timeout_seconds = 12
timeout_margin_seconds = 1
max_connections = 500
request_head_timeout_seconds = 3
idle_timeout_seconds = 2
max_request_head_bytes = 4096

[targets.from-file]
parameter_file = "vps.parameter"

[targets.parts]
url = "https://panel.example:5656/"
key_file = "vps.key"
hash_file = "vps.hash"
usage = ["memory"]
bandwidth_warning = "80"
bandwidth_critical = "@90:95"

[targets.public]
parameter_file = "public.parameter"
)");
    ASSERT_TRUE(std::holds_alternative<ExporterConfig>(read)) << std::get<ConfigErrors>(read).front();
    const auto& config = std::get<ExporterConfig>(read);
    EXPECT_EQ(config.listen_host, "::1");
    EXPECT_EQ(config.listen_port, 9900);
    EXPECT_EQ(config.max_concurrent_probes, 4);
    EXPECT_DOUBLE_EQ(config.queue_wait_seconds, 0.25);
    EXPECT_EQ(config.probe_timeout_seconds, 12);
    EXPECT_DOUBLE_EQ(config.timeout_margin_seconds, 1);
    EXPECT_EQ(config.max_connections, 500);
    EXPECT_EQ(config.request_head_timeout_seconds, 3);
    EXPECT_EQ(config.idle_timeout_seconds, 2);
    EXPECT_EQ(config.max_request_head_bytes, 4096);
    ASSERT_EQ(config.targets.size(), 3u);
    EXPECT_EQ(config.targets[0].name, "from-file");
    EXPECT_EQ(Utf8FromText(config.targets[0].parameter), "#URL=http://127.0.0.1:1#KEY=k#HSH=h#");
    const Target& parts = config.targets[1];
    EXPECT_EQ(Utf8FromText(parts.parameter).rfind("#URL=https://panel.example:5656/#KEY=k3y#HSH=h4sh#", 0), 0u);
    EXPECT_EQ(parts.usage, (UsageFields{true, false, true}));  // a range asks for its value too
    ASSERT_TRUE(parts.ranges[0].warning && parts.ranges[0].critical);
    EXPECT_EQ(parts.ranges[0].critical->text, "@90:95");
    EXPECT_EQ(config.Find("public"), &config.targets[2]);
    EXPECT_EQ(config.Find("Public"), nullptr);
}

TEST_F(ConfigReader, DefaultsListenOnLoopbackOnly) {
    const auto read = Read("[targets.a]\nparameter_file = \"vps.parameter\"\n");
    ASSERT_TRUE(std::holds_alternative<ExporterConfig>(read));
    const auto& config = std::get<ExporterConfig>(read);
    EXPECT_EQ(config.listen_host, "127.0.0.1");
    EXPECT_EQ(config.listen_port, 9798);
    EXPECT_EQ(config.max_concurrent_probes, 16);
}

// Each kind of bad line is named with its file and line, and the text says what is wrong.
TEST_F(ConfigReader, EveryBadLineIsNamedWithFileAndLine) {
    const std::string good = "[targets.a]\nparameter_file = \"vps.parameter\"\n";
    const struct { std::string text; int line; std::string says; } cases[] = {
        {"[targets.a]\nparameter_file = \"vps.parameter\n", 2, "string"},                  // TOML syntax
        {"[exporter]\nlisten_on = \"x\"\n" + good, 2, "unknown key \"listen_on\" in \\[exporter\\]"},
        {"[exporter]\nlisten = \"127.0.0.1\"\n" + good, 2, "listen takes HOST:PORT"},
        {"[exporter]\nlisten = \"127.0.0.1:70000\"\n" + good, 2, "listen takes HOST:PORT"},
        {"[exporter]\n\nmax_concurrent_probes = 0\n" + good, 3, "max_concurrent_probes takes 1 to 1024"},
        {"[exporter]\nmax_concurrent_probes = \"16\"\n" + good, 2, "max_concurrent_probes must be an integer"},
        {"[exporter]\nqueue_wait_seconds = -1\n" + good, 2, "queue_wait_seconds takes 0 to 60 seconds"},
        {"[exporter]\nprobe_timeout_seconds = 301\n" + good, 2, "probe_timeout_seconds takes 1 to 300"},
        {"[exporter]\nmax_connections = 0\n" + good, 2, "max_connections takes 1 to 1000000"},
        {"[exporter]\nidle_timeout_seconds = 0\n" + good, 2, "idle_timeout_seconds takes 1 to 3600"},
        {"[exporter]\nmax_request_head_bytes = 100\n" + good, 2, "max_request_head_bytes takes 2048 to 1048576"},
        // URLs the check can never ask: an error where the configuration gives them.
        {"[targets.a]\nurl = \"gopher://x\"\nkey_file = \"vps.key\"\nhash_file = \"vps.hash\"\n", 2,
         "url: the check cannot use the panel's URL \"gopher://x\""},
        {"[targets.a]\nurl = \"http://panel example\"\nkey_file = \"vps.key\"\nhash_file = \"vps.hash\"\n", 2,
         "url: the check cannot use the panel's URL"},
        {"[targets.a]\nparameter_file = \"ftp.parameter\"\n", 2,
         "parameter_file: the check cannot use the panel's URL \"ftp://127.0.0.1\""},
        {"[targets.a]\nparameter_file = \"vps.parameter\"\nkey = \"s3cret\"\n", 3,
         "\"key\" would put a secret into the configuration file: secrets are read from files only"},
        {"[targets.a]\nparameter_file = \"vps.parameter\"\nurl = \"http://x\"\n", 2, "gives both parameter_file and url"},
        {"[targets.a]\nurl = \"http://x\"\nkey_file = \"vps.key\"\n", 1, "needs parameter_file, or url with key_file and hash_file"},
        {"[targets.a]\nparameter_file = \"no-such.parameter\"\n", 2, "parameter_file: cannot open .*no-such.parameter: No such file"},
        {"[targets.a]\nparameter_file = \"two-lines.parameter\"\n", 2, "holds more than one line"},
        {"[targets.a]\nparameter_file = \"open.parameter\"\n", 2,
         "open.parameter holds the key, hash or a password and other users can read it"},
        {"[targets.a]\nurl = \"http://x\"\nkey_file = \"open.key\"\nhash_file = \"vps.hash\"\n", 3,
         "key_file open.key holds a secret and other users can read it"},
        {"[targets.a]\nurl = \"http://x#KEY=y\"\nkey_file = \"vps.key\"\nhash_file = \"vps.hash\"\n", 2, "url cannot hold \"#\""},
        {good + "usage = [\"bandwidth\", \"cpu\"]\n", 3, "usage \"cpu\" is none of bandwidth, disk, memory"},
        {good + "usage = \"bandwidth\"\n", 3, "usage must be a list of strings"},
        {good + "disk_critical = \"90%\"\n", 3, "disk_critical takes a range of percent"},
        {good + "verify_tls = \"yes\"\n", 3, "verify_tls must be true or false"},
        {"[targets.\"a b\"]\nparameter_file = \"vps.parameter\"\n", 1, "target name \"a b\" is not 1 to 64 letters"},
        {"listen = \"127.0.0.1:1\"\n" + good, 1, "unknown key \"listen\": the file holds \\[exporter\\] and \\[targets.NAME\\]"},
        {"[targets]\na = 1\n", 2, "targets.a must be a table"},
        {"[exporter]\n", 1, "no targets: add a \\[targets.NAME\\] table"},
        {good + "labels = { customer = \"acme\", \"1x\" = \"y\" }\n", 3, "label \"1x\" is not a Prometheus label name"},
        {good + "labels = { __param_target = \"b\" }\n", 3, "label \"__param_target\" is not a Prometheus label name"},
        {good + "labels = { customer = 1 }\n", 3, "label customer must be a string"},
        {good + "labels = [\"acme\"]\n", 3, "labels must be a table of strings"},
        {"[exporter]\ntargets_dir = \"no-such.d\"\n" + good, 2, "targets_dir: cannot list .*no-such.d"},
    };
    for (const auto& c : cases) {
        const auto read = Read(c.text);
        ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read)) << c.text;
        const auto& errors = std::get<ConfigErrors>(read);
        ASSERT_EQ(errors.size(), 1u) << c.text << "\nfirst: " << errors.front();
        const std::string expected = ConfigName() + ":" + std::to_string(c.line) + ": .*" + c.says;
        EXPECT_TRUE(std::regex_search(errors.front(), std::regex(expected))) << errors.front() << "\nwanted: " << expected;
    }
}

// One file a server, as configuration tools write them: errors name that
// file and line, a name given twice names both places, and size limits hold.
TEST_F(ConfigReader, TargetsDirFilesAddTargetsAndNameTheirOwnLines) {
    std::filesystem::create_directory(folder_.path() + "/targets.d");
    const auto targets = [&](const std::string& name, const std::string& text) {
        folder_.Write("targets.d/" + name, text, 0644);
    };
    targets("a.toml", "[targets.vps1]\nparameter_file = \"../vps.parameter\"\nlabels = { customer = \"acme\" }\n");
    targets("b.toml", "[targets.vps2]\nparameter_file = \"../vps.parameter\"\n");
    targets("notes.txt", "not read\n");
    const std::string main = "[exporter]\ntargets_dir = \"targets.d\"\n[targets.here]\nparameter_file = \"vps.parameter\"\n";
    auto read = Read(main);
    ASSERT_TRUE(std::holds_alternative<ExporterConfig>(read)) << std::get<ConfigErrors>(read).front();
    const auto& config = std::get<ExporterConfig>(read);
    ASSERT_EQ(config.targets.size(), 3u);
    EXPECT_EQ(config.targets[1].name, "vps1");
    EXPECT_EQ(config.targets[1].labels, (std::vector<std::pair<std::string, std::string>>{{"customer", "acme"}}));
    EXPECT_EQ(config.Find("vps2"), &config.targets[2]);

    const std::string dir = folder_.path() + "/targets.d/";
    const struct { std::string file, text; std::string error; } cases[] = {
        {"c.toml", "[targets.vps1]\nparameter_file = \"../vps.parameter\"\n",
         dir + "c.toml:1: .*target \"vps1\" is defined twice: first at " + dir + "a.toml:1"},
        {"c.toml", "\n[targets.x]\nparameter_file = \"absent\"\n", dir + "c.toml:3: parameter_file: cannot open"},
        {"c.toml", "[exporter]\nlisten = \"127.0.0.1:1\"\n", dir + "c.toml:1: unknown key \"exporter\": a file of targets_dir"},
        {"c.toml", "[targets.x\n", dir + "c.toml:1: "},
        {"c.toml", "# " + std::string(1024 * 1024, 'x') + "\n", dir + "c.toml:1: .*is larger than 1 MiB"},
    };
    for (const auto& c : cases) {
        targets(c.file, c.text);
        read = Read(main);
        std::filesystem::remove(dir + c.file);
        ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read)) << c.text.substr(0, 80);
        const auto& errors = std::get<ConfigErrors>(read);
        ASSERT_EQ(errors.size(), 1u) << errors.front();
        EXPECT_TRUE(std::regex_search(errors.front(), std::regex(c.error))) << errors.front() << "\nwanted: " << c.error;
    }
}

TEST_F(ConfigReader, ReportsEveryErrorNotJustTheFirst) {
    const auto read = Read("[exporter]\nmax_concurrent_probes = 0\n[targets.a]\nparameter_file = \"x\"\n"
                           "[targets.b]\nparameter_file = \"vps.parameter\"\nmemory_warning = \"a\"\n");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read));
    const auto& errors = std::get<ConfigErrors>(read);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_NE(errors[0].find(":2: "), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find(":4: "), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find(":7: "), std::string::npos) << errors[2];
}

TEST(ListenAddress, OnlyLoopbackAddressesCountAsThisMachineOnly) {
    const struct { const char* host; bool loopback; } cases[] = {
        {"127.0.0.1", true}, {"127.1.2.3", true}, {"::1", true}, {"::ffff:127.0.0.1", true}, {"localhost", true},
        {"0.0.0.0", false}, {"::", false}, {"192.0.2.1", false}, {"::ffff:192.0.2.1", false},
        {"128.0.0.1", false}, {"exporter.example", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsLoopbackHost(c.host), c.loopback) << c.host;
}

// A command name may hold blanks and ")"; the fields count from the last ")".
TEST(ProcessStat, ReadsTheFieldsAfterTheCommandName) {
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 250 150 0 0 20 0 9 0 5000 123456789 300 18446744073709551615";
    const struct { std::string stat; bool read; } cases[] = {
        {"42 (orbenix-exporter)" + tail, true},
        {"42 (a (b) c))" + tail, true},
        {"42 (x)" + tail.substr(0, 40), false},  // cut short
        {"42 orbenix-exporter" + tail, false},   // no parentheses
        {"42 (x) S 1 2 3 4 5 6 7 8 9 10 25o 150 0 0 20 0 9 0 5000 123456789 300", false},
    };
    for (const auto& c : cases) {
        const auto stat = ParseProcessStat(c.stat, 100, 4096, 1700000000);
        ASSERT_EQ(stat.has_value(), c.read) << c.stat;
        if (!stat) continue;
        EXPECT_DOUBLE_EQ(stat->cpu_seconds, 4.0);
        EXPECT_DOUBLE_EQ(stat->start_time_seconds, 1700000050.0);
        EXPECT_EQ(stat->virtual_bytes, 123456789u);
        EXPECT_EQ(stat->resident_bytes, 300u * 4096u);
    }
}

TEST_F(ConfigReader, MissingConfigurationFileIsNamed) {
    const auto read = ReadConfigFile(folder_.path() + "/absent.toml");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read));
    EXPECT_NE(std::get<ConfigErrors>(read).front().find("absent.toml"), std::string::npos);
}

}  // namespace
}  // namespace orbenix::exporter
