#include <gtest/gtest.h>

#include "exporter/deadline.h"
#include "exporter/exposition.h"
#include "exporter/probe.h"

namespace orbenix::exporter {
namespace {

// What each kind of check text means for the probe; a down server is a
// successful probe, every other failure carries its number and kind.
TEST(ClassifyCheck, EveryKindOfText) {
    const struct { bool verdict; std::u16string text; bool success, up; std::string number, kind; } cases[] = {
        {true, u"SolusVM VPS works fine", true, true, "", ""},
        {false, u"VPS offline", true, false, "", ""},
        {false, u"Unknown VPS state ( disabled)", true, false, "", ""},
        {false, u"Unknown VPS state ( )", false, false, "0", "panel"},  // no state named
        {false, u"ERROR:  30011 (connection refused by 127.0.0.1:1) line:  550", false, false, "30011", "engine"},
        {false, u"ERROR: -2147221504 (x) line:  550", false, false, "-2147221504", "engine"},
        {false, u"ERR: Returned code: 404 (Not Found)", false, false, "404", "http"},
        {false, u"ERR: Overflow( 140)", false, false, "6", "runtime"},
        {false, u"ERR: Type mismatch( 30)", false, false, "13", "runtime"},
        {false, u"Invalid key", false, false, "0", "panel"},
        {false, u"", false, false, "0", "panel"},
        {false, u"Unknown ( <html>Maintenance</html>)", false, false, "0", "answer"},
    };
    for (const auto& c : cases) {
        const ProbeResult result = ClassifyCheck(c.verdict, c.text);
        EXPECT_EQ(result.success, c.success) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(result.up, c.up);
        ASSERT_EQ(result.failure.has_value(), !c.success);
        if (result.failure) {
            EXPECT_EQ(result.failure->number, c.number);
            EXPECT_EQ(result.failure->kind, c.kind);
        }
    }
}

// The scrape's timeout less the margin, capped; the slot's wait leaves a second.
TEST(ProbeDeadline, FromTheScrapeTimeoutHeader) {
    ExporterConfig config;
    config.probe_timeout_seconds = 20;
    config.timeout_margin_seconds = 0.5;
    config.queue_wait_seconds = 2;
    const struct { std::optional<std::string_view> header; double budget; } cases[] = {
        {std::nullopt, 20}, {"10", 9.5}, {"2.5", 2}, {"60", 20}, {"0", 20}, {"-3", 20}, {"ten", 20}, {"10s", 20},
        {"", 20}, {"nan", 20}, {"inf", 20},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(ProbeBudgetSeconds(c.header, config), c.budget) << (c.header ? *c.header : "(none)");
    }
    EXPECT_DOUBLE_EQ(QueueWaitSeconds(9.5, config), 2);
    EXPECT_DOUBLE_EQ(QueueWaitSeconds(1.5, config), 0.5);
    EXPECT_DOUBLE_EQ(QueueWaitSeconds(0.2, config), 0);
    EXPECT_EQ(CheckDeadlineSeconds(9.5, 0.1), 9);
    EXPECT_EQ(CheckDeadlineSeconds(9.5, 9.4), 1);  // never 0: the component would wait forever
    EXPECT_EQ(CheckDeadlineSeconds(-1, 0), 1);
}

TEST(Exposition, LabelValuesAndNumbersAsTheFormatSpellsThem) {
    EXPECT_EQ(EscapeLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    EXPECT_EQ(NumberText(0.852), "0.852");
    EXPECT_EQ(NumberText(1e12), "1e+12");
    EXPECT_EQ(NumberText(1.0 / 0.0), "+Inf");
    Exposition out;
    out.Sample("m", std::uint64_t{18446744073709551615u}, {{"k", "v"}});
    EXPECT_EQ(out.text(), "m{k=\"v\"} 18446744073709551615\n");
}

}  // namespace
}  // namespace orbenix::exporter
