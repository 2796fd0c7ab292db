#include <gtest/gtest.h>

#include <regex>

#include "cli/plugin_output.h"
#include "cli/usage_report.h"
#include "core/utf8.h"

namespace orbenix::cli {
namespace {

constexpr auto kOk = PluginState::Ok;
constexpr auto kWarning = PluginState::Warning;
constexpr auto kCritical = PluginState::Critical;
constexpr auto kUnknown = PluginState::Unknown;

TEST(Classify, EveryKindOfResult) {
    const struct { bool verdict; std::u16string text; PluginState state; } cases[] = {
        {true, u"SolusVM VPS works fine", kOk},
        {false, u"VPS offline", kCritical},
        {false, u"Unknown VPS state ( disabled)", kCritical},
        {false, u"Unknown VPS state ( suspended)", kCritical},
        {false, u"Unknown VPS state ( )", kUnknown},  // no name: says nothing about the server
        {false, u"ERR: Type mismatch( 30)", kUnknown},
        {false, u"ERR: Overflow( 140)", kUnknown},
        {false, u"ERR: Returned code: 404 (Not Found)", kUnknown},
        {false, u"ERR: Returned code: 500 (Internal Server Error)", kUnknown},
        {false, u"ERROR:  30011 (connection refused by 127.0.0.1 port 1) line:  550", kUnknown},
        {false, u"ERROR:  5 (Invalid procedure call or argument) line:  670", kUnknown},
        {false, u"ERROR: -2147012889 (raw failure) line:  550", kUnknown},
        {false, u"Unknown ( <html>)", kUnknown},
        {false, u"Unknown ( )", kUnknown},
        {false, u"Invalid key", kUnknown},  // the panel's own message
        {false, u"", kUnknown},
        {false, u"vps offline", kUnknown},
        {false, u"VPS offline ", kUnknown},
        {false, u"ERROR:  30020 (timed out waiting for the response from 127.0.0.1 port 8) line:  550", kUnknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Classify(c.verdict, c.text, kUnknown), c.state) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(Classify, TimeoutStateAppliesToTimeoutsOnly) {
    const std::u16string timed_out = u"ERROR:  30020 (timed out connecting to 127.0.0.1 port 9) line:  550";
    for (const auto state : {kOk, kWarning, kCritical, kUnknown}) {
        EXPECT_EQ(Classify(false, timed_out, state), state);
        EXPECT_EQ(Classify(false, u"ERROR:  30011 (refused) line:  550", state), kUnknown);
        EXPECT_EQ(Classify(false, u"ERROR:  300200 (x) line:  550", state), kUnknown);
        EXPECT_EQ(Classify(false, u"VPS offline", state), kCritical);
    }
}

TEST(PluginLine, FormatWithPerformanceData) {
    const struct { PluginState state; std::u16string text; double seconds; std::string line; } cases[] = {
        {kOk, u"SolusVM VPS works fine", 0.1234, "SOLUSVM OK - SolusVM VPS works fine | time=0.123s;;;0\n"},
        {kCritical, u"VPS offline", 2, "SOLUSVM CRITICAL - VPS offline | time=2.000s;;;0\n"},
        {kUnknown, u"ERR: Type mismatch( 30)", 0, "SOLUSVM UNKNOWN - ERR: Type mismatch( 30) | time=0.000s;;;0\n"},
        {kWarning, u"x", 30.0005, "SOLUSVM WARNING - x | time=30.000s;;;0\n"},
        {kUnknown, u"", 1.5, "SOLUSVM UNKNOWN - (no text) | time=1.500s;;;0\n"},
        {kUnknown, u"Unknown ( a|b\r\nc\td)", 0, "SOLUSVM UNKNOWN - Unknown ( a\xC2\xA6" "b  c d) | time=0.000s;;;0\n"},
        {kUnknown, u"caf\u00E9", 0, "SOLUSVM UNKNOWN - caf\xC3\xA9 | time=0.000s;;;0\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(PluginLine(c.state, c.text, c.seconds), c.line);
}

TEST(PluginLine, LongTextIsCutSoThePerformanceDataSurvives) {
    const std::u16string body(5000, u'x');
    const std::string line = PluginLine(kUnknown, u"Unknown ( " + body + u")", 0.25);
    EXPECT_LT(line.size(), 1100u);
    EXPECT_TRUE(std::regex_match(line, std::regex("SOLUSVM UNKNOWN - Unknown \\( x+\\.\\.\\. \\| time=0\\.250s;;;0\n")))
        << line;
    // A surrogate pair is never split.
    std::u16string pairs;
    for (int i = 0; i < 600; ++i) pairs += u"\U0001F600";
    const std::string cut = PluginLine(kUnknown, pairs, 0);
    EXPECT_EQ(cut.find("\xEF\xBF\xBD"), std::string::npos);  // no U+FFFD from a lone half
}

TEST(JsonLine, StaysAsItWas) {
    EXPECT_EQ(JsonLine(true, u"SolusVM VPS works fine"),
              "{\"verdict\": true, \"result\": \"SolusVM VPS works fine\"}\n");
    EXPECT_EQ(JsonLine(false, u"ERR: Overflow( 140)"), "{\"verdict\": false, \"result\": \"ERR: Overflow( 140)\"}\n");
    EXPECT_EQ(JsonLine(false, u"a|b\n"), "{\"verdict\": false, \"result\": \"a|b\\n\"}\n");
}

UsageReading Values(std::uint64_t total, std::uint64_t used, double percent) {
    return UsageReading{UsageValues{total, used, total - used, percent, percent}, ""};
}

UsageThresholds Limits(const char16_t* warning, const char16_t* critical) {
    UsageThresholds limits;
    if (*warning) limits.warning = ParseRange(warning);
    if (*critical) limits.critical = ParseRange(critical);
    return limits;
}

// The status verdict first; then each value against its thresholds, the
// worst state winning (OK < UNKNOWN < WARNING < CRITICAL).
TEST(EvaluateUsage, StateCombinations) {
    const UsageReading missing{std::nullopt, "<mem> is missing from the answer"};
    const struct {
        const char* what;
        PluginState status;
        UsageFields asked;
        std::array<UsageThresholds, 3> limits;
        UsageReadings readings;
        PluginState state;
        std::string text;
    } cases[] = {
        {"below warning", kOk, {true, false, false}, {Limits(u"80", u"90")}, {Values(100, 50, 50)}, kOk, ""},
        {"on the warning bound", kOk, {true, false, false}, {Limits(u"80", u"90")}, {Values(100, 80, 80)}, kOk, ""},
        {"warning", kOk, {true, false, false}, {Limits(u"80", u"90")}, {Values(1000, 852, 85.2)}, kWarning,
         ", bandwidth 85.2% used (warning above 80)"},
        {"critical beats warning", kOk, {true, false, false}, {Limits(u"80", u"90")}, {Values(1000, 912, 91.2)},
         kCritical, ", bandwidth 91.2% used (critical above 90)"},
        {"offline stays critical, nothing read", kCritical, {true, true, true}, {Limits(u"80", u"90")}, {},
         kCritical, ""},
        {"panel message stays unknown", kUnknown, {true, false, false}, {Limits(u"80", u"90")},
         {Values(100, 10, 10)}, kUnknown, ""},
        {"garbled with threshold", kOk, {false, false, true}, {{{}, {}, Limits(u"", u"95")}}, {{{}, {}, missing}},
         kUnknown, ", memory unknown: <mem> is missing from the answer"},
        {"garbled for --usage only", kOk, {false, false, true}, {}, {{{}, {}, missing}}, kOk,
         ", memory missing: <mem> is missing from the answer"},
        {"warning beats unknown", kOk, {true, false, true}, {{Limits(u"80", u""), {}, Limits(u"90", u"")}},
         {{Values(100, 81, 81), {}, missing}}, kWarning,
         ", bandwidth 81% used (warning above 80), memory unknown: <mem> is missing from the answer"},
        {"two crossed, worst wins", kOk, {true, true, false}, {{Limits(u"80", u""), Limits(u"", u"10:")}},
         {{Values(100, 81, 81), Values(100, 5, 5)}}, kCritical,
         ", bandwidth 81% used (warning above 80), disk 5% used (critical below 10)"},
        {"disk over quota, critical range", kOk, {false, true, false}, {{{}, Limits(u"80", u"90")}},
         {{{}, UsageReading{UsageValues{100, 150, 0, 150, 150}, ""}}}, kCritical,
         ", disk 150% used (critical above 90)"},
        {"memory over quota, warning range only", kOk, {false, false, true}, {{{}, {}, Limits(u"90", u"")}},
         {{{}, {}, UsageReading{UsageValues{1000, 1050, 0, 105, 105}, ""}}}, kWarning,
         ", memory 105% used (warning above 90)"},
        {"inside range", kOk, {false, true, false}, {{{}, Limits(u"@0:10", u"")}}, {{{}, Values(100, 10, 10)}},
         kWarning, ", disk 10% used (warning inside 0..10)"},
    };
    for (const auto& c : cases) {
        UsageRequest request;
        request.asked = c.asked;
        request.thresholds = c.limits;
        const UsageReport report = EvaluateUsage(c.status, request, c.readings);
        EXPECT_EQ(report.state, c.state) << c.what;
        EXPECT_EQ(Utf8FromText(report.text), c.text) << c.what;
    }
}

TEST(EvaluateUsage, PerformanceDataAndJson) {
    UsageRequest request;
    request.asked = {true, true, true};
    request.thresholds[0] = Limits(u"80", u"~:90");
    request.thresholds[2] = Limits(u"", u"@95:");
    const UsageReadings readings = {Values(1099511627776, 412316860416, 37.5),
                                    UsageReading{std::nullopt, "<hdd> holds 3 fields instead of 4"},
                                    Values(0, 0, 0)};
    const UsageReport report = EvaluateUsage(kOk, request, readings);
    EXPECT_EQ(report.perfdata,
              " bw_used=412316860416B;;;0;1099511627776 bw_pct=37.5%;80;~:90;0;100"
              " mem_used=0B;;;0;0 mem_pct=0%;;@95:;0;100");
    EXPECT_EQ(PluginLine(report.state, u"SolusVM VPS works fine" + report.text, 0.5, report.perfdata),
              "SOLUSVM OK - SolusVM VPS works fine, disk missing: <hdd> holds 3 fields instead of 4 | time=0.500s;;;0"
              " bw_used=412316860416B;;;0;1099511627776 bw_pct=37.5%;80;~:90;0;100"
              " mem_used=0B;;;0;0 mem_pct=0%;;@95:;0;100\n");
    EXPECT_EQ(JsonLine(true, u"SolusVM VPS works fine", UsageJson(request, readings)),
              "{\"verdict\": true, \"result\": \"SolusVM VPS works fine\", \"usage\": {"
              "\"bw\": {\"total\": 1099511627776, \"used\": 412316860416, \"free\": 687194767360, \"percent\": 37.5}, "
              "\"hdd\": null, \"mem\": {\"total\": 0, \"used\": 0, \"free\": 0, \"percent\": 0}}}\n");
    for (const auto& [value, text] : std::initializer_list<std::pair<double, const char*>>{
             {0, "0"}, {100, "100"}, {37.5, "37.5"}, {33.33, "33.33"}, {85.2, "85.2"}, {0.01, "0.01"}}) {
        EXPECT_EQ(PercentText(value), text);
    }
}

}  // namespace
}  // namespace orbenix::cli
