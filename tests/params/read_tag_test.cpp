#include <gtest/gtest.h>

#include "params/read_tag.h"

namespace orbenix {
namespace {

struct ReadCase {
    std::u16string parameter;
    std::u16string tag;
    std::u16string expected;
};

// Parameterised suites are not used: their listing does not survive the
// Windows console under Wine, so tables live inside one test.
TEST(ReadTagPlain, ReadsTheFirstEntryOfThatName) {
    const ReadCase cases[] = {
        ReadCase{u"", u"URL", u""},
        ReadCase{u"#PRAU=bob#", u"PRA", u""},             // "#PRA=" is not inside "#PRAU="
        ReadCase{u"#PRAU=bob#", u"PRAU", u"bob"},
        ReadCase{u"#PRA=T#PRAU=bob#", u"PRA", u"T"},
        ReadCase{u"#PRA=T#PRAU=bob#", u"PRAU", u"bob"},
        ReadCase{u"#KEY=abc", u"KEY", u"abc"},            // no closing "#"
        ReadCase{u"#url=Abc#", u"URL", u"Abc"},           // tag in any case, value keeps its own
        ReadCase{u"#URL=x#", u" url ", u"x"},             // the tag name is trimmed
        ReadCase{u"#KEY=a#b#HSH=c#", u"KEY", u"a"},
        ReadCase{u"#KEY=a#b#HSH=c#", u"HSH", u"c"},
        ReadCase{u"#KEY=#HSH=x#", u"KEY", u""},
        ReadCase{u"#KEY=one#KEY=two#", u"KEY", u"one"},
        ReadCase{u"#URL=abc#KEY=x#KEY=typed#", u"KEY", u"x"},
        ReadCase{u"#PRAP=QQ==#", u"PRAP", u"QQ=="},       // "=" inside a value
        ReadCase{u"#URL= a b #", u"URL", u" a b "},       // not trimmed
        ReadCase{u"#PRT=\"SOCKS5\"#", u"PRT", u"\"SOCKS5\""},  // quotes kept with the flag False
        ReadCase{u"URL=x#", u"URL", u""}};
    for (const auto& c : cases) {
        bool quoted = false;
        EXPECT_EQ(ReadTag(c.parameter, c.tag, quoted), c.expected)
            << std::string(c.parameter.begin(), c.parameter.end());
        EXPECT_FALSE(quoted);
    }
}

TEST(ReadTagQuoted, ReadsBetweenTheQuotes) {
    struct Case { std::u16string parameter, expected; } cases[] = {
        {u"#PRT=\"SOCKS5\"#", u"SOCKS5"},
        {u"#PRT=\"a#b\"#KEY=x#", u"a#b"},      // "#" inside quotes belongs to the value
        {u"#PRT=\"\"#", u""},
        {u"#PRT=\"open", u"open"},             // no closing quote: the rest of the string
        {u"#PRT=plain#", u""},                 // not quoted: no entry for the quoted reading
    };
    for (const auto& c : cases) {
        bool quoted = true;
        EXPECT_EQ(ReadTag(c.parameter, u"PRT", quoted), c.expected);
    }
}

TEST(BooleanRule, OnlyAnExactUpperCaseTIsTrue) {
    EXPECT_TRUE(IsTrueFlag(u"T"));
    for (const std::u16string v : {u"t", u" T", u"T ", u"F", u"", u"True", u"1"}) {
        EXPECT_FALSE(IsTrueFlag(v)) << std::string(v.begin(), v.end());
    }
}

TEST(TrimSpaces, RemovesSpacesButNotTabs) {
    EXPECT_EQ(TrimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(TrimSpaces(u"\ta\t"), u"\ta\t");
    EXPECT_EQ(TrimSpaces(u"   "), u"");
}

}  // namespace
}  // namespace orbenix
