#include <gtest/gtest.h>

#include "core/utf8.h"
#include "engine/threshold_range.h"

namespace orbenix {
namespace {

// Every form of the syntax, with values on, just inside and just outside each bound.
TEST(ThresholdRange, EveryFormAlertsExactlyBeyondItsBounds) {
    const struct { std::u16string text; double value; bool alerts; } cases[] = {
        {u"80", 80, false},      {u"80", 80.01, true},     {u"80", 0, false},      {u"80", -0.01, true},
        {u"10:", 10, false},     {u"10:", 9.99, true},     {u"10:", 1e9, false},
        {u"~:90", 90, false},    {u"~:90", 90.01, true},   {u"~:90", -1e9, false},
        {u"10:20", 10, false},   {u"10:20", 20, false},    {u"10:20", 9.99, true}, {u"10:20", 20.01, true},
        {u"@10:20", 10, true},   {u"@10:20", 20, true},    {u"@10:20", 9.99, false}, {u"@10:20", 20.01, false},
        {u"@80", 0, true},       {u"@80", 80.5, false},    {u"@~:5", -3, true},    {u"@95:", 95, true},
        {u"37.5", 37.5, false},  {u"37.5", 37.51, true},   {u"-5:5", -5, false},   {u"-5:5", -5.01, true},
        {u":20", 20, false},     {u":20", 20.5, true},     {u"~:", 1e300, false},  {u"5:5", 5, false},
        {u"99999999999999999999", 1e19, false},  // beyond 2^63 is still a number
    };
    for (const auto& c : cases) {
        const auto range = ParseRange(c.text);
        ASSERT_TRUE(range.has_value()) << Utf8FromText(c.text);
        EXPECT_EQ(Alerts(*range, c.value), c.alerts) << Utf8FromText(c.text) << " at " << c.value;
        EXPECT_EQ(range->text, Utf8FromText(c.text));
    }
}

TEST(ThresholdRange, WhatIsNoRange) {
    for (const std::u16string text :
         {u"", u"@", u"~", u":", u"@:", u"abc", u"80%", u" 80", u"80 ", u"8 0", u"20:10", u"1:2:3", u"+5", u"5.",
          u".5", u"1e3", u"--5", u"~:~", u"@@5", u"5:~", u"0x10", u"\u0661\u0660", u"inf", u"nan", u"1,5"}) {
        EXPECT_FALSE(ParseRange(text).has_value()) << Utf8FromText(text);
    }
    EXPECT_FALSE(ParseRange(u"1" + std::u16string(400, u'0')).has_value());  // beyond a double
}

TEST(ThresholdRange, DescriptionSaysWhereItAlerts) {
    const struct { std::u16string text; std::string description; } cases[] = {
        {u"90", "above 90"},          {u"~:90", "above 90"},        {u"0:90", "above 90"},
        {u"10:", "below 10"},         {u"10:20", "outside 10..20"}, {u"@10:20", "inside 10..20"},
        {u"@95:", "at or above 95"},  {u"@~:5", "at or below 5"},   {u"@80", "inside 0..80"},
        {u"92.5", "above 92.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeRange(*ParseRange(c.text)), c.description);
}

}  // namespace
}  // namespace orbenix
