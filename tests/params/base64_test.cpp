#include <gtest/gtest.h>

#include "core/error.h"
#include "params/base64.h"

namespace orbenix {
namespace {

TEST(Base64, EncodesAndDecodesTheStandardVectors) {
    struct Case { std::u16string plain, encoded; } cases[] = {
        {u"", u""}, {u"A", u"QQ=="}, {u"AB", u"QUI="}, {u"ABC", u"QUJD"}, {u"ABCD", u"QUJDRA=="},
        {u"\u00e9", u"6Q=="},      // é in the Western code page
        {u"\u20ac", u"gA=="},      // € is byte 0x80 there
        {u"p@ss w#rd", u"cEBzcyB3I3Jk"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeString(c.plain), c.encoded);
        EXPECT_EQ(DecodeString(c.encoded), c.plain);
    }
}

TEST(Base64, DecodesLenientlyWhereStoredStringsNeedIt) {
    struct Case { std::u16string encoded, plain; } cases[] = {
        {u"QUI", u"AB"}, {u"QQ", u"A"}, {u"Q", u""}, {u"QUJDRA", u"ABCD"},
        {u"QQ==QUJD", u"AABC"}, {u"Q===", u""},
        {u"QU*D", std::u16string{u'A', u'\x40', u'\x03'}},  // "*" counts as "A"
        {u"QU D", std::u16string{u'A', u'\x40', u'\x03'}},  // a blank too: nothing is skipped
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeString(c.encoded), c.plain);
    EXPECT_NE(DecodeString(u"qujd"), u"ABC");  // letter case matters
}

TEST(Base64, AGroupThatBeginsWithPadIsAnInvalidArgument) {
    for (const std::u16string bad : {u"=QUJ", u"====", u"QUJD="}) {
        try {
            DecodeString(bad);
            ADD_FAILURE() << "decoded " << std::string(bad.begin(), bad.end());
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), u"Invalid procedure call or argument");
        }
    }
}

TEST(Base64, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(DecodeString(EncodeString(u"a\u4e2db")), u"a?b");
}

TEST(MapBase64Char, MapsBothWays) {
    struct Case { int value; char16_t c; } cases[] = {{0, u'A'}, {25, u'Z'}, {26, u'a'}, {51, u'z'},
                                                      {52, u'0'}, {61, u'9'}, {62, u'+'}, {63, u'/'}};
    for (const auto& c : cases) {
        int v = c.value;
        std::u16string ch;
        MapBase64Char(v, ch, true);
        EXPECT_EQ(ch, std::u16string(1, c.c));
        int back = -5;
        MapBase64Char(back, ch, false);
        EXPECT_EQ(back, c.value);
    }
    int pad = -1;
    std::u16string ch;
    MapBase64Char(pad, ch, true);
    EXPECT_EQ(ch, u"=");
    for (const std::u16string other : {u"=", u"*", u""}) {
        int v = 9;
        std::u16string c = other;
        MapBase64Char(v, c, false);
        EXPECT_EQ(v, 0);
    }
}

}  // namespace
}  // namespace orbenix
