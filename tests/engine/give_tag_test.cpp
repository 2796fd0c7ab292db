#include <gtest/gtest.h>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/give_tag.h"

namespace orbenix {
namespace {

TEST(GiveTag, ReadsByPlainPositions) {
    struct Case { std::u16string source, tag, content; } cases[] = {
        {u"<vmstat>online</vmstat>", u"vmstat", u"online"},
        {u"<vmstat></vmstat>", u"vmstat", u""},
        {u"a<vmstat>x</vmstat>", u"vmstat", u"x"},
        {u"<statusmsg>Invalid key</statusmsg><vmstat>y</vmstat>", u"statusmsg", u"Invalid key"},
        // The first occurrence of the bare name counts, wherever it stands.
        {u"vmstat:<vmstat>on</vmstat>", u"vmstat", u"<vmstat>on"},
        // Exactly one character is assumed on either side of the content.
        {u"<vmstat >on</vmstat>", u"vmstat", u">on"},
        {u"<vmstat>on< /vmstat>", u"vmstat", u"on<"},
        // The closing name may be the start of a longer one.
        {u"<vmstat>on</vmstatus>", u"vmstat", u"on"},
        {u"<a>b</a>", u"a", u"b"},
    };
    for (const auto& c : cases) EXPECT_EQ(GiveTag(c.source, c.tag), c.content) << Utf8FromText(c.source);
}

TEST(GiveTag, IsCaseSensitive) {
    EXPECT_THROW(GiveTag(u"<VMSTAT>online</VMSTAT>", u"vmstat"), Error);
}

TEST(GiveTag, NegativeLengthIsError5) {
    for (const std::u16string source : {u"<vmstat>x", u"", u"no tag here", u"</vmstat>",
                                        u"<vmstat/>", u"x/vmstat", u"vmstat/vmstat"}) {
        try {
            GiveTag(source, u"vmstat");
            ADD_FAILURE() << Utf8FromText(source);
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), u"Invalid procedure call or argument");
        }
    }
}

}  // namespace
}  // namespace orbenix
