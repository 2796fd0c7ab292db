#include <gtest/gtest.h>

#include <cmath>

#include "core/error.h"
#include "params/numeric_value.h"
#include "params/read_tag.h"

namespace orbenix {
namespace {

TEST(NumericValue, ReadsTheLeadingNumber) {
    struct Case { std::u16string text; double expected; } cases[] = {
        {u"443", 443}, {u"4 43", 443}, {u" 3\t1\n2 ", 312}, {u"80a", 80}, {u"80/tcp", 80},
        {u"abc", 0}, {u"", 0}, {u"80.5", 80.5}, {u"-12", -12}, {u"+7", 7},
        {u"&H1BB", 443}, {u"&h50", 80}, {u"&O17", 15}, {u"&H", 0}, {u"&O9", 0},
        {u"1E3", 1000}, {u"1e+2x", 100}, {u"80E", 80}, {u"2.5E-1", 0.25}, {u".5", 0.5},
        {u"1.2.3", 1.2}, {u"--1", 0}, {u"proxy", 0}, {u"\r80", 0},  // CR is not ignored
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(NumericValue(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(PortRule, RoundsHalfToEvenInto32Bits) {
    struct Case { std::u16string text; std::int32_t expected; } cases[] = {
        {u"80.5", 80}, {u"81.5", 82}, {u"-0.5", 0}, {u"&H1BB", 443}, {u"x", 0}, {u"", 0},
        {u"443 ", 443}, {u"443a", 443}, {u"2147483647", 2147483647},
        {u"-2147483648", -2147483647 - 1}, {u"2147483647.4", 2147483647},
    };
    for (const auto& c : cases) EXPECT_EQ(PortValue(c.text), c.expected);
}

TEST(PortRule, OutsideThe32BitRangeIsAnOverflow) {
    for (const std::u16string text : {u"99999999999", u"2147483648", u"-2147483649", u"1E400"}) {
        try {
            PortValue(text);
            ADD_FAILURE() << "no overflow for " << std::string(text.begin(), text.end());
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 6);
            EXPECT_EQ(e.description(), u"Overflow");
        }
    }
}

TEST(DecimalText, ReadsBackToTheSameNumber) {
    EXPECT_EQ(DecimalText(443), u"443");
    EXPECT_EQ(DecimalText(0), u"0");
    EXPECT_EQ(DecimalText(-0.0), u"0");
    EXPECT_EQ(DecimalText(-5), u"-5");
    EXPECT_EQ(DecimalText(80.5), u"80.5");
    for (const double v : {0.1, 1e20, 123456789012345678.0, -3.25e-7, 99999999999.0}) {
        EXPECT_DOUBLE_EQ(NumericValue(DecimalText(v)), v);
    }
    // Port texts beyond every double ("1e400", "&H" and 300 digits) are infinite.
    for (const double v : {HUGE_VAL, -HUGE_VAL}) EXPECT_EQ(NumericValue(DecimalText(v)), v);
}

TEST(NumberText, LeadsWithABlankUnlessNegative) {
    EXPECT_EQ(NumberText(443), u" 443");
    EXPECT_EQ(NumberText(0), u" 0");
    EXPECT_EQ(NumberText(-2147024891), u"-2147024891");
}

}  // namespace
}  // namespace orbenix
