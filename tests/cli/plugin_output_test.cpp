#include <gtest/gtest.h>

#include <regex>

#include "cli/plugin_output.h"

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

}  // namespace
}  // namespace orbenix::cli
