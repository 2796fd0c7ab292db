#include <gtest/gtest.h>

#include "cli/arguments.h"

namespace orbenix::cli {
namespace {

TEST(Arguments, ParsesTheHostsFourInputs) {
    const auto parsed = ParseArguments({u"--parameter", u"#URL=x#", u"--timeout", u"30",
                                        u"--hostname", u"vps1", u"--json"});
    const auto& o = std::get<Options>(parsed);
    EXPECT_EQ(o.parameter, u"#URL=x#");
    EXPECT_EQ(o.timeout, u"30");
    EXPECT_EQ(o.hostname, u"vps1");
    EXPECT_TRUE(o.json);
}

TEST(Arguments, TimeoutOmittedStaysUnset) {
    const auto parsed = ParseArguments({u"--parameter", u""});
    const auto& o = std::get<Options>(parsed);
    EXPECT_FALSE(o.timeout.has_value());
    EXPECT_FALSE(o.json);
}

TEST(Arguments, MistakesAreReportedNotFatal) {
    const std::vector<std::vector<std::u16string>> bad = {
        {}, {u"--parameter"}, {u"--parameter", u"x", u"--timeout"}, {u"--bogus"},
        {u"--parameter", u"x", u"extra"},
    };
    for (const auto& args : bad) EXPECT_TRUE(std::holds_alternative<ArgumentError>(ParseArguments(args)));
}

}  // namespace
}  // namespace orbenix::cli
