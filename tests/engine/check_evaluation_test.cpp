// How a check turns the panel's answer into its verdict and reason, and what
// the event handlers do during the exchange.
#include <gtest/gtest.h>

#include "tests/engine/check_fixture.h"

namespace orbenix::testing {
namespace {

TEST(CheckEvaluation, EveryRowOfTheAnswerTable) {
    const std::u16string ok = u"<status>success</status><statusmsg></statusmsg>";
    struct Case {
        const char* what;
        std::int16_t status;
        std::u16string status_text;
        std::u16string body;
        bool verdict;
        std::u16string message;
        bool released;
    } cases[] = {
        {"online", 200, u"OK", ok + u"<vmstat>online</vmstat>", true, u"stale", false},
        {"offline", 200, u"OK", ok + u"<vmstat>offline</vmstat>", false, u"VPS offline", false},
        {"404", 404, u"Not Found", u"", false, u"ERR: Returned code: 404 (Not Found)", false},
        {"500 even with success", 500, u"Internal Server Error", ok + u"<vmstat>online</vmstat>",
         false, u"ERR: Returned code: 500 (Internal Server Error)", false},
        {"panel error", 200, u"OK",
         u"<status>error</status><statusmsg>Invalid key</statusmsg>", false, u"Invalid key", false},
        {"panel error, empty message", 200, u"OK", u"<status>error</status><statusmsg></statusmsg>",
         false, u"", false},
        {"both markers count as error", 200, u"OK",
         u"<status>success</status><status>error</status><statusmsg>m</statusmsg>", false, u"m",
         false},
        {"empty body", 200, u"OK", u"", false, u"Unknown ( )", true},
        {"capital marker", 200, u"OK", u"<STATUS>success</STATUS>", false,
         u"Unknown ( <STATUS>success</STATUS>)", true},
        {"Online", 200, u"OK", ok + u"<vmstat>Online</vmstat>", false,
         u"Unknown VPS state ( Online)", false},
        {"ONLINE", 200, u"OK", ok + u"<vmstat>ONLINE</vmstat>", false,
         u"Unknown VPS state ( ONLINE)", false},
        {"blank online", 200, u"OK", ok + u"<vmstat> online</vmstat>", false,
         u"Unknown VPS state (  online)", false},
        {"disabled", 200, u"OK", ok + u"<vmstat>disabled</vmstat>", false,
         u"Unknown VPS state ( disabled)", false},
        {"empty vmstat", 200, u"OK", ok + u"<vmstat></vmstat>", false, u"Unknown VPS state ( )",
         false},
        {"no statusmsg", 200, u"OK", u"<status>error</status>", false,
         u"ERROR:  5 (Invalid procedure call or argument) line:  630", false},
        {"unclosed vmstat", 200, u"OK", u"<status>success</status><vmstat>online", false,
         u"ERROR:  5 (Invalid procedure call or argument) line:  670", false},
    };
    for (const auto& c : cases) {
        StandInScript script;
        script.status = c.status;
        script.status_text = c.status_text;
        script.body = c.body;
        const auto run = RunCheck(PlainSettings(), script, u"stale");
        EXPECT_EQ(run.verdict, c.verdict) << c.what;
        // An online server leaves the message alone; every other path sets one.
        EXPECT_EQ(run.message, c.verdict ? u"" : c.message) << c.what;
        EXPECT_EQ(run.component_kept, !c.released) << c.what;
    }
}

TEST(CheckEvaluation, ErrorMessagesAreAlsoLogged) {
    StandInScript script;
    script.body = u"<status>error</status>";
    const auto run = RunCheck(PlainSettings(), script);
    ASSERT_EQ(run.log.size(), 3u);
    EXPECT_EQ(run.log[2],
              u"[SOLUS CHECKER] ERROR:  5 (Invalid procedure call or argument) line:  630");
}

TEST(CheckEvents, CertificatesAreAcceptedWithoutALogLine) {
    for (bool verified : {true, false}) {
        StandInScript script;
        script.body = Online();
        script.certificate_verified = verified;
        const auto run = RunCheck(PlainSettings(), script);
        EXPECT_TRUE(run.verdict);
        EXPECT_EQ(run.journal.certificate_accepted, true);
        EXPECT_EQ(run.log.size(), 2u);  // the two temp names only
    }
}

TEST(CheckEvents, OnRequestOnlyVerifiedCertificatesAreAccepted) {
    ThreadCheckOptions().verify_tls = true;
    for (bool verified : {true, false}) {
        StandInScript script;
        script.body = Online();
        script.certificate_verified = verified;
        const auto run = RunCheck(PlainSettings(), script);
        EXPECT_EQ(run.journal.certificate_accepted, verified);
    }
    ThreadCheckOptions() = CheckOptions{};
}

TEST(CheckEvents, EachRedirectIsLoggedAndLeftAlone) {
    StandInScript script;
    script.body = Online();
    script.redirects = {u"http://127.0.0.1:5353/one", u"/two?x=1"};
    const auto run = RunCheck(PlainSettings(), script);
    ASSERT_EQ(run.log.size(), 4u);
    EXPECT_EQ(run.log[2], u"[webapp] - Redirect http://127.0.0.1:5353/one");
    EXPECT_EQ(run.log[3], u"[webapp] - Redirect /two?x=1");
    EXPECT_EQ(run.journal.redirect_urls_after, script.redirects);
    EXPECT_EQ(run.journal.redirect_allowed_after, (std::vector<bool>{true, true}));
}

}  // namespace
}  // namespace orbenix::testing
