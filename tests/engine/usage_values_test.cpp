#include <gtest/gtest.h>

#include "engine/usage_values.h"

namespace orbenix {
namespace {

const std::u16string kHead = u"<status>success</status><vmstat>online</vmstat>";

TEST(ReadUsage, GoodValues) {
    const struct { std::u16string body; UsageKind kind; std::uint64_t total, used, free; double percent; } cases[] = {
        {kHead + u"<bw>1099511627776,412316860416,687194767360,37.5</bw>", UsageKind::Bandwidth,
         1099511627776, 412316860416, 687194767360, 37.5},
        // The panel's rounded percent gives way to used/total, to two decimals.
        {u"<hdd>1000,852,148,85</hdd>", UsageKind::Disk, 1000, 852, 148, 85.2},
        {u"<mem>3,1,2,33</mem>", UsageKind::Memory, 3, 1, 2, 33.33},
        {u"<mem>3,2,1,67</mem>", UsageKind::Memory, 3, 2, 1, 66.67},
        // Free disagreeing with total - used is taken as given.
        {u"<bw>100,50,7,50</bw>", UsageKind::Bandwidth, 100, 50, 7, 50},
        // No total: the panel's own percent.
        {u"<bw>0,0,0,12.345</bw>", UsageKind::Bandwidth, 0, 0, 0, 12.35},
        {u"<bw>18446744073709551615,18446744073709551615,0,100</bw>", UsageKind::Bandwidth,
         18446744073709551615u, 18446744073709551615u, 0, 100},
        // Over the quota: used above total, the percent above 100, the panel's
        // own rounded, capped at 100, or exact.
        {u"<bw>1000000000000,1123000000000,0,112</bw>", UsageKind::Bandwidth,
         1000000000000, 1123000000000, 0, 112.3},
        {u"<hdd>100,200,0,100</hdd>", UsageKind::Disk, 100, 200, 0, 200},
        {u"<mem>3,4,0,133.33</mem>", UsageKind::Memory, 3, 4, 0, 133.33},
        {u"<bw>1,18446744073709551615,0,100</bw>", UsageKind::Bandwidth, 1, 18446744073709551615u, 0,
         1844674407370955161500.0},
        // Other tags holding the name do not confuse the reader.
        {u"<hostname>bw.mem</hostname><bwx>1</bwx><mem>10,1,9,10</mem><bw>4,1,3,25</bw>", UsageKind::Bandwidth,
         4, 1, 3, 25},
    };
    for (const auto& c : cases) {
        const UsageReading reading = ReadUsage(c.body, c.kind);
        ASSERT_TRUE(reading.values.has_value()) << reading.problem;
        EXPECT_EQ(reading.values->total, c.total);
        EXPECT_EQ(reading.values->used, c.used);
        EXPECT_EQ(reading.values->free, c.free);
        EXPECT_DOUBLE_EQ(reading.values->percent, c.percent);
        EXPECT_TRUE(reading.problem.empty());
    }
}

TEST(ReadUsage, MissingAndGarbledValuesSayWhatIsWrong) {
    const struct { std::u16string body; std::string problem; } cases[] = {
        {kHead, "<bw> is missing from the answer"},
        {u"<BW>1,1,0,100</BW>", "<bw> is missing from the answer"},
        {u"<bw>1,1,0,100", "<bw> is not closed"},
        {u"</bw><bw>1,1,0,100", "<bw> is not closed"},
        {u"<bw>1,1,0,100</bw><bw>2,1,1,50</bw>", "<bw> appears more than once"},
        {u"<bw></bw>", "<bw> holds 1 field instead of 4"},
        {u"<bw>1,2,3</bw>", "<bw> holds 3 fields instead of 4"},
        {u"<bw>4,1,3,25,</bw>", "<bw> holds 5 fields instead of 4"},
        {u"<bw>" + std::u16string(100000, u',') + u"</bw>", "<bw> holds 100001 fields instead of 4"},
        {u"<bw>,1,3,25</bw>", "<bw> total is empty"},
        {u"<bw>4,,3,25</bw>", "<bw> used is empty"},
        {u"<bw>4,1,3,</bw>", "<bw> percent is empty"},
        {u"<bw> 4,1,3,25</bw>", "<bw> total is no whole number"},
        {u"<bw>4,1,3,25 </bw>", "<bw> percent is no number"},
        {u"<bw>-4,1,3,25</bw>", "<bw> total is no whole number"},
        {u"<bw>4,1.5,3,25</bw>", "<bw> used is no whole number"},
        {u"<bw>4,1,x,25</bw>", "<bw> free is no whole number"},
        {u"<bw>18446744073709551616,1,3,25</bw>", "<bw> total is too large"},
        {u"<bw>" + std::u16string(5000, u'9') + u",1,3,25</bw>", "<bw> total is too large"},
        {u"<bw>4,1,3,-25</bw>", "<bw> percent is no number"},
        {u"<bw>4,1,3,25.</bw>", "<bw> percent is no number"},
        {u"<bw>4,1,3,.5</bw>", "<bw> percent is no number"},
        {u"<bw>4,1,3,2.5.1</bw>", "<bw> percent is no number"},
        {u"<bw>4,1,3,1e2</bw>", "<bw> percent is no number"},
        {u"<bw>4,1,3,100.01</bw>", "<bw> percent is above 100"},
        {u"<bw>4,1,3,1" + std::u16string(400, u'0') + u"</bw>", "<bw> percent is above 100"},
        {u"<bw>0,1,0,100</bw>", "<bw> used is above total"},
        {u"<bw>0,0,0,100.5</bw>", "<bw> percent is above 100"},
        {u"<bw>100,100,0,101</bw>", "<bw> percent is above 100"},
        {u"<bw>100,112,0,150</bw>", "<bw> percent does not follow from used and total"},
        {u"<bw>100,112,0,113</bw>", "<bw> percent does not follow from used and total"},
        {u"<bw>100,112,0,1" + std::u16string(400, u'0') + u"</bw>", "<bw> percent is above 100"},
        {u"<bw>4,\u0661,3,25</bw>", "<bw> used is no whole number"},
    };
    for (const auto& c : cases) {
        const UsageReading reading = ReadUsage(c.body, UsageKind::Bandwidth);
        EXPECT_FALSE(reading.values.has_value()) << c.problem;
        EXPECT_EQ(reading.problem, c.problem);
    }
}

}  // namespace
}  // namespace orbenix
