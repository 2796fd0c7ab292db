// The request a check makes of the component: every operation, in order.
#include <gtest/gtest.h>

#include "tests/engine/check_fixture.h"

namespace orbenix::testing {
namespace {

using Ops = std::vector<std::string>;

const Ops kHead = {
    "SetLogin()", "SetBlocking(true)", "SetFollowRedirects(true)",
    "AddHeader(Pragma, no-cache)",
    "AddHeader(User-Agent, Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0))",
    "SetHttpVersion(HTTP/1.1)",
};

Ops Tail(const std::string& url, const std::string& key = "KEY1", const std::string& hash = "HASH1") {
    return {"SetUrl(" + url + ")",          "ClearFormFields()",
            "AddFormField(key, " + key + ")", "AddFormField(hash, " + hash + ")",
            "AddFormField(action, info)",   "AddFormField(status, true)",
            "Send()",                       "StatusCode()",
            "Body()",                       "Body()",
            "Body()"};
}

Ops Join(std::initializer_list<Ops> parts) {
    Ops all;
    for (const Ops& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(CheckRequest, PlainCheckMakesExactlyTheseCalls) {
    StandInScript script;
    script.body = Online();
    const auto run = RunCheck(PlainSettings(), script);
    EXPECT_TRUE(run.verdict);
    EXPECT_EQ(run.journal.operations,
              Join({kHead, {"SetProxyKind(0)"},
                    Tail("http://127.0.0.1:5353/api/client/command.php")}));
}

TEST(CheckRequest, ProxySettingsFollowTheTypeCodeAndTheAuthenticationFlag) {
    struct Case {
        std::u16string type;
        bool auth;
        Ops proxy;
    } cases[] = {
        {u"WST", false, {"SetProxyKind(3)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
        {u"SOCKS4", false, {"SetProxyKind(1)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
        {u"SOCKS4A", false, {"SetProxyKind(5)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
        {u"SOCKS5", true, {"SetProxyKind(2)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(1)", "SetProxyUsername(pu)", "SetProxyPassword(pp)"}},
        {u"RELAY", true, {"SetProxyKind(4)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(1)", "SetProxyUsername(pu)", "SetProxyPassword(pp)"}},
        {u"socks5", false, {"SetProxyKind(3)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
        {u"SOCKS", false, {"SetProxyKind(3)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
        {u"", false, {"SetProxyKind(3)", "SetProxyHost(proxy.test)", "SetProxyPort(8080)", "SetProxyAuthentication(0)"}},
    };
    for (const auto& c : cases) {
        CheckSettings s = PlainSettings();
        s.UseProxy = true;
        s.ProxyType = c.type;
        s.ProxyHost = u"proxy.test";
        s.ProxyPort = 8080;
        s.UseProxyAuthentication = c.auth;
        s.ProxyUsername = u"pu";
        s.ProxyPassword = u"pp";
        StandInScript script;
        script.body = Online();
        const auto run = RunCheck(s, script);
        EXPECT_EQ(run.journal.operations,
                  Join({kHead, c.proxy, Tail("http://127.0.0.1:5353/api/client/command.php")}))
            << Utf8FromText(c.type);
    }
}

TEST(CheckRequest, UnusedSettingsNeverReachTheComponent) {
    // Proxy values without UseProxy, server credentials, a zero proxy port.
    CheckSettings s = PlainSettings();
    s.ProxyHost = u"proxy.test";
    s.ProxyPort = 3128;
    s.UseProxyAuthentication = true;
    s.ProxyUsername = u"pu";
    s.ProxyPassword = u"pp";
    s.UseAuthentication = true;
    s.AuthUsername = u"admin";
    s.AuthPassword = u"secret";
    StandInScript script;
    script.body = Online();
    const auto run = RunCheck(s, script);
    EXPECT_EQ(run.journal.operations,
              Join({kHead, {"SetProxyKind(0)"}, Tail("http://127.0.0.1:5353/api/client/command.php")}));

    CheckSettings zero_port = PlainSettings();
    zero_port.UseProxy = true;
    zero_port.ProxyType = u"SOCKS5";
    const auto run0 = RunCheck(zero_port, script);
    EXPECT_NE(std::find(run0.journal.operations.begin(), run0.journal.operations.end(),
                        "SetProxyPort(0)"),
              run0.journal.operations.end());
}

TEST(CheckRequest, UrlIsTheSettingFollowedByTheApiPath) {
    struct Case { std::u16string url; std::string sent; } cases[] = {
        {u"", "/api/client/command.php"},
        {u"https://panel.test:5656", "https://panel.test:5656/api/client/command.php"},
        {u"https://panel.test:5656/", "https://panel.test:5656//api/client/command.php"},
        {u"http://127.0.0.1/solus", "http://127.0.0.1/solus/api/client/command.php"},
    };
    for (const auto& c : cases) {
        CheckSettings s = PlainSettings();
        s.SolusVMURL = c.url;
        s.APIKey = u"";
        s.APIHash = u"";
        StandInScript script;
        script.body = Online();
        const auto run = RunCheck(s, script);
        EXPECT_EQ(run.journal.operations, Join({kHead, {"SetProxyKind(0)"}, Tail(c.sent, "", "")}));
    }
}

TEST(CheckRequest, TwoTempNamesAreLoggedBeforeTheSend) {
    ThreadCheckSettings() = PlainSettings();
    CapturingDebugSink capture;
    std::size_t lines_at_send = 99;
    StandInScript script;
    script.body = Online();
    script.on_send = [&] { lines_at_send = capture.lines.size(); };
    StandInJournal journal;
    CheckEngine engine(StandInFactory(script, journal));
    EXPECT_TRUE(engine.DoCheck());
    EXPECT_EQ(lines_at_send, 2u);
    ASSERT_EQ(capture.lines.size(), 2u);
    const CheckSettings& after = ThreadCheckSettings();
    EXPECT_EQ(capture.lines[0], u"[SOLUS CHECKER] Res Tempname: " + after.ResponseTempFile);
    EXPECT_EQ(capture.lines[1], u"[SOLUS CHECKER] Req Tempname: " + after.RequestTempFile);
    EXPECT_EQ(after.ResponseTempFile.substr(after.ResponseTempFile.size() - 4), u".tmp");
}

TEST(CheckRequest, CallerOptionsReachTheNewComponent) {
    ThreadCheckOptions() = CheckOptions{7, true, "/tmp/ca.pem"};
    StandInScript script;
    script.body = Online();
    const auto run = RunCheck(PlainSettings(), script);
    ThreadCheckOptions() = CheckOptions{};
    ASSERT_GE(run.journal.operations.size(), 2u);
    EXPECT_EQ(run.journal.operations[0], "SetTimeoutSeconds(7)");
    EXPECT_EQ(run.journal.operations[1], "SetCaFile(/tmp/ca.pem)");
}

// Resumption is asked for only by callers that make many checks, and then
// carries the verification mode; one check per process leaves it off.
TEST(CheckRequest, TlsSessionResumptionOnlyWhenTheCallerAsks) {
    const struct { bool resume; bool verify; const char* op; } cases[] = {
        {false, false, nullptr},
        {false, true, nullptr},
        {true, false, "SetTlsSessionResumption(true, false)"},
        {true, true, "SetTlsSessionResumption(true, true)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.resume ? "resume" : "no resume") + (c.verify ? ", verify" : ""));
        ThreadCheckOptions() = CheckOptions{};
        ThreadCheckOptions().resume_tls_sessions = c.resume;
        ThreadCheckOptions().verify_tls = c.verify;
        StandInScript script;
        script.body = Online();
        const auto run = RunCheck(PlainSettings(), script);
        ThreadCheckOptions() = CheckOptions{};
        std::vector<std::string> resumption;
        for (const auto& op : run.journal.operations) {
            if (op.starts_with("SetTlsSessionResumption")) resumption.push_back(op);
        }
        if (c.op == nullptr) {
            EXPECT_TRUE(resumption.empty());
        } else {
            EXPECT_EQ(resumption, std::vector<std::string>{c.op});
        }
    }
}

// Usage fields follow the status fields in the order bw, hdd, mem; an online
// answer is read once more for them, any other answer not at all.
TEST(CheckRequest, UsageFieldsAreAskedForAndReadOnlyWhenOnline) {
    const struct { UsageFields fields; std::u16string body; Ops added; bool read; } cases[] = {
        {{true, true, true}, Online() + u"<mem>4,1,3,25</mem>",
         {"AddFormField(bw, true)", "AddFormField(hdd, true)", "AddFormField(mem, true)"}, true},
        {{false, false, true}, Online() + u"<mem>4,1,3,25</mem>", {"AddFormField(mem, true)"}, true},
        {{true, false, true}, u"<status>success</status><vmstat>offline</vmstat><mem>4,1,3,25</mem>",
         {"AddFormField(bw, true)", "AddFormField(mem, true)"}, false},
    };
    for (const auto& c : cases) {
        ThreadCheckOptions() = CheckOptions{};
        ThreadCheckOptions().usage_fields = c.fields;
        ThreadCheckOptions().usage_readings[0] = UsageReading{};  // a stale reading is cleared
        StandInScript script;
        script.body = c.body;
        const auto run = RunCheck(PlainSettings(), script);
        const UsageReadings readings = ThreadCheckOptions().usage_readings;
        ThreadCheckOptions() = CheckOptions{};
        Ops expected = Join({kHead, {"SetProxyKind(0)"}, Tail("http://127.0.0.1:5353/api/client/command.php")});
        const auto send = std::find(expected.begin(), expected.end(), "Send()");
        expected.insert(send, c.added.begin(), c.added.end());
        if (c.read) expected.push_back("Body()");
        EXPECT_EQ(run.journal.operations, expected);
        for (const UsageKind kind : kUsageKinds) {
            const auto& reading = readings[UsageIndex(kind)];
            EXPECT_EQ(reading.has_value(), c.read && c.fields[UsageIndex(kind)]);
        }
        if (c.read) {
            ASSERT_TRUE(readings[2] && readings[2]->values);
            EXPECT_EQ(readings[2]->values->total, 4u);
        }
    }
}

TEST(CheckRequest, EveryCheckUsesANewComponentAndReleasesTheOldOne) {
    StandInScript script;
    script.body = Online();
    StandInJournal journal;
    ThreadCheckSettings() = PlainSettings();
    CapturingDebugSink capture;
    CheckEngine engine(StandInFactory(script, journal));
    EXPECT_TRUE(engine.DoCheck());
    EXPECT_EQ(journal.created, 1);
    EXPECT_EQ(journal.destroyed, 0);  // kept until the next check
    EXPECT_TRUE(engine.DoCheck());
    EXPECT_EQ(journal.created, 2);
    EXPECT_EQ(journal.destroyed, 1);
}

}  // namespace
}  // namespace orbenix::testing
