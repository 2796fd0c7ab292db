// The same expectations hold for the written-out rules and for the platform's
// own conversions under Windows.
#include <gtest/gtest.h>

#include "core/error.h"
#include "core/variant.h"

namespace orbenix {
namespace {

int ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(Variant, FreshIsEmpty) {
    Variant v;
    EXPECT_EQ(v.kind(), VariantKind::Empty);
    EXPECT_EQ(v.ToText(), u"");
    EXPECT_EQ(v.ToInt32(), 0);
    EXPECT_TRUE(v.EqualsFalse());
}

TEST(Variant, ToInt32FollowsTheVariantRules) {
    struct Case { Variant value; std::int32_t expected; } cases[] = {
        {Variant(u"30"), 30}, {Variant(u" 30 "), 30}, {Variant(u"-7"), -7}, {Variant(u"2.5"), 2},
        {Variant(u"3.5"), 4}, {Variant(2.5), 2}, {Variant(-2.5), -2}, {Variant(true), -1},
        {Variant(false), 0}, {Variant(std::int32_t{42}), 42}, {Variant(u"1E3"), 1000},
        {Variant(u"&H10"), 16},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value.ToInt32(), c.expected) << int(c.value.kind());
}

TEST(Variant, ConversionFailuresCarryTheirNumbers) {
    struct Case { Variant value; int number; } cases[] = {
        {Variant(u"abc"), 13}, {Variant(u""), 13}, {Variant(u"30x"), 13}, {Variant(u"1 2"), 13},
        {Variant(u"99999999999"), 6}, {Variant(3e10), 6}, {Variant::Null(), 94},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorNumberOf([&] { (void)c.value.ToInt32(); }), c.number);
    }
    EXPECT_EQ(ErrorNumberOf([] { (void)Variant::Null().ToText(); }), 94);
}

TEST(Variant, ToTextWritesValuesAsTheHostsLanguageDoes) {
    EXPECT_EQ(Variant(u"x y").ToText(), u"x y");
    EXPECT_EQ(Variant(std::int32_t{-12}).ToText(), u"-12");
    EXPECT_EQ(Variant(true).ToText(), u"True");
    EXPECT_EQ(Variant(false).ToText(), u"False");
    EXPECT_EQ(Variant(1.5).ToText(), u"1.5");
    EXPECT_EQ(Variant(443.0).ToText(), u"443");
}

TEST(Variant, EqualsFalseForFalseZeroAndEmpty) {
    EXPECT_TRUE(Variant(false).EqualsFalse());
    EXPECT_TRUE(Variant(std::int32_t{0}).EqualsFalse());
    EXPECT_TRUE(Variant().EqualsFalse());
    EXPECT_TRUE(Variant::Null().EqualsFalse());  // a Null verdict never passes
    EXPECT_FALSE(Variant(true).EqualsFalse());
    EXPECT_FALSE(Variant(std::int32_t{1}).EqualsFalse());
}

TEST(Variant, CopiesAreIndependent) {
    Variant a(u"one");
    Variant b = a;
    a = Variant(u"two");
    EXPECT_EQ(b.ToText(), u"one");
    Variant c = std::move(a);
    EXPECT_EQ(c.ToText(), u"two");
}

}  // namespace
}  // namespace orbenix
