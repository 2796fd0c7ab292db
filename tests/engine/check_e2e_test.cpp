// Whole checks through qv_docheck and our HTTP component against the demo
// panel on loopback (started by the test fixture).
#include <gtest/gtest.h>

#include "component/vexarel.h"
#include "core/check_options.h"
#include "core/check_settings.h"
#include "core/utf8.h"
#include "engine/debug_log.h"
#include "tests/engine/demo_panel_client.h"

namespace orbenix::testing {
namespace {

class DemoPanelCheck : public ::testing::Test {
protected:
    void SetUp() override {
        panel_ = ReadDemoPanel();
        ASSERT_TRUE(panel_.ok()) << "demo panel not running (ORBENIX_DEMO_PANEL)";
        ThreadCheckOptions() = CheckOptions{};
        ThreadCheckOptions().timeout_seconds = 10;
    }
    void TearDown() override { ThreadCheckOptions() = CheckOptions{}; }

    std::u16string Http(const std::string& path = "") const {
        return TextFromUtf8("http://127.0.0.1:" + std::to_string(panel_.http_port) + path);
    }
    std::u16string Https(const std::string& path = "") const {
        return TextFromUtf8("https://127.0.0.1:" + std::to_string(panel_.https_port) + path);
    }

    struct Result {
        bool verdict;
        std::u16string text;
        std::vector<std::u16string> log;
    };
    static Result Check(const std::u16string& url, const std::u16string& key,
                        const std::u16string& extra = u"") {
        CapturingDebugSink capture;
        Vexarel object;
        object.qv_parameter = u"#URL=" + url + u"#KEY=" + key + u"#HSH=demo-hash#PRU=F#" + extra;
        const bool verdict = object.qv_docheck();
        return {verdict, object.qv_result.ToText(), capture.lines};
    }

    DemoPanel panel_;
};

TEST_F(DemoPanelCheck, EveryAnswerOfThePanel) {
    struct Case {
        std::string path;
        std::u16string key;
        bool verdict;
        std::u16string text;
    } cases[] = {
        {"", u"online", true, u"SolusVM VPS works fine"},
        {"/", u"online", true, u"SolusVM VPS works fine"},
        {"/solus", u"online", true, u"SolusVM VPS works fine"},
        {"", u"offline", false, u"VPS offline"},
        {"", u"disabled", false, u"Unknown VPS state ( disabled)"},
        {"", u"wrong-key", false, u"Invalid key"},
        {"/gone", u"online", false, u"ERR: Returned code: 404 (Not Found)"},
        {"", u"empty", false, u"Unknown ( )"},
        {"", u"html", false, u"Unknown ( <html><body>Maintenance</body></html>)"},
        {"", u"capitals", false, u"Unknown ( <STATUS>success</STATUS><VMSTAT>online</VMSTAT>)"},
        {"", u"no-statusmsg", false, u"ERROR:  5 (Invalid procedure call or argument) line:  630"},
        {"", u"unclosed-vmstat", false,
         u"ERROR:  5 (Invalid procedure call or argument) line:  670"},
    };
    for (const auto& c : cases) {
        for (const std::u16string& base : {Http(c.path), Https(c.path)}) {
            const auto r = Check(base, c.key);
            EXPECT_EQ(r.verdict, c.verdict) << Utf8FromText(base) << " " << Utf8FromText(c.key);
            EXPECT_EQ(r.text, c.text) << Utf8FromText(base) << " " << Utf8FromText(c.key);
        }
    }
}

TEST_F(DemoPanelCheck, TheRequestIsExactlyWhatThePanelExpects) {
    // The "echo" key makes the panel answer with the request it saw.
    const auto r = Check(Http(), u"echo", u"#PAA=T#PAU=admin#PAP=c2VjcmV0#");
    EXPECT_FALSE(r.verdict);
    const std::string seen = Utf8FromText(r.text);
    EXPECT_EQ(seen.rfind("POST /api/client/command.php HTTP/1.1|", 0), 0u) << seen;
    EXPECT_NE(seen.find("|Pragma: no-cache|"), std::string::npos) << seen;
    EXPECT_NE(seen.find("|User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)|"),
              std::string::npos) << seen;
    EXPECT_NE(seen.find("|body: key=echo&hash=demo-hash&action=info&status=true"), std::string::npos)
        << seen;
    EXPECT_EQ(seen.find("Authorization"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("admin"), std::string::npos) << seen;
}

TEST_F(DemoPanelCheck, SlashesOfTheUrl) {
    // One trailing slash goes; of two, one stays and the API path follows it.
    auto r = Check(Http("/"), u"echo");
    EXPECT_EQ(Utf8FromText(r.text).rfind("POST /api/client/command.php ", 0), 0u);
    r = Check(Http("//"), u"echo");
    EXPECT_EQ(Utf8FromText(r.text).rfind("POST //api/client/command.php ", 0), 0u);
}

TEST_F(DemoPanelCheck, TwoObjectsOneAfterTheOther) {
    CapturingDebugSink capture;
    Vexarel first, second;
    first.qv_parameter = u"#URL=" + Http() + u"#KEY=offline#HSH=h#";
    second.qv_parameter = u"#URL=" + Https() + u"#KEY=disabled#HSH=h#";
    EXPECT_FALSE(first.qv_docheck());
    EXPECT_EQ(first.qv_result.ToText(), u"VPS offline");
    EXPECT_FALSE(second.qv_docheck());
    EXPECT_EQ(second.qv_result.ToText(), u"Unknown VPS state ( disabled)");
    first.qv_parameter = u"#URL=" + Http() + u"#KEY=online#HSH=h#";
    EXPECT_TRUE(first.qv_docheck());
    EXPECT_EQ(first.qv_result.ToText(), u"SolusVM VPS works fine");
    EXPECT_EQ(second.qv_result.ToText(), u"Unknown VPS state ( disabled)");
    EXPECT_EQ(ThreadCheckSettings().SolusVMURL, Http());
}

TEST_F(DemoPanelCheck, SelfSignedPanelIsAcceptedUnlessVerificationIsAsked) {
    auto r = Check(Https(), u"online");
    EXPECT_TRUE(r.verdict);
    EXPECT_EQ(r.log.size(), 2u);  // no line for the certificate

    ThreadCheckOptions().verify_tls = true;
    r = Check(Https(), u"online");
    EXPECT_FALSE(r.verdict);
    EXPECT_EQ(Utf8FromText(r.text).rfind("ERROR:  30031 (", 0), 0u) << Utf8FromText(r.text);
    EXPECT_EQ(Utf8FromText(r.text).substr(r.text.size() - 12), ") line:  550");
}

TEST_F(DemoPanelCheck, TwoRedirectsLogTwoLines) {
    const auto r = Check(Http("/redirect2"), u"online");
    EXPECT_TRUE(r.verdict) << Utf8FromText(r.text);
    ASSERT_EQ(r.log.size(), 4u);
    EXPECT_EQ(r.log[2], u"[webapp] - Redirect " + Http("/redirect1/api/client/command.php"));
    EXPECT_EQ(r.log[3], u"[webapp] - Redirect " + Http("/api/client/command.php"));
}

TEST_F(DemoPanelCheck, FailuresOnTheWayNameLine550) {
    ThreadCheckOptions().timeout_seconds = 2;
    const std::u16string closed = TextFromUtf8("http://127.0.0.1:" + std::to_string(panel_.closed_port));
    struct Case { std::u16string url, key; std::string number; } cases[] = {
        {closed, u"online", "30011"},
        {Http(), u"stall", "30020"},
        {Http(), u"truncated", "30040"},
    };
    for (const auto& c : cases) {
        const auto r = Check(c.url, c.key);
        const std::string text = Utf8FromText(r.text);
        EXPECT_FALSE(r.verdict);
        EXPECT_EQ(text.rfind("ERROR:  " + c.number + " (", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 12), ") line:  550") << text;
        ASSERT_FALSE(r.log.empty());
        EXPECT_EQ(r.log.back(), u"[SOLUS CHECKER] " + r.text);
    }
}

TEST_F(DemoPanelCheck, UrlWithoutSchemeFailsBeforeAnythingIsSent) {
    const auto r = Check(u"", u"online");
    EXPECT_FALSE(r.verdict);
    EXPECT_EQ(Utf8FromText(r.text).rfind("ERROR:  30001 (", 0), 0u) << Utf8FromText(r.text);
}

}  // namespace
}  // namespace orbenix::testing
