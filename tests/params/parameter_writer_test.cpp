#include <gtest/gtest.h>

#include "params/base64.h"
#include "params/numeric_value.h"
#include "params/parameter_writer.h"
#include "params/read_tag.h"

namespace orbenix {
namespace {

TEST(ParameterWriter, AnEmptyDialogWritesTheTenEntries) {
    EXPECT_EQ(WriteParameterString({}), u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#");
}

TEST(ParameterWriter, TrimsOnlyUrlKeyAndHash) {
    ParameterFields f;
    f.url = u"  https://panel:5656  ";
    f.api_key = u" k ";
    f.api_hash = u" h ";
    f.proxy_host = u" host ";
    f.proxy_username = u" user ";
    f.proxy_password = u" pw ";
    f.use_proxy = true;
    f.use_proxy_authentication = true;
    f.proxy_port_text = u" 3 1 2 ";
    f.proxy_type_index = 3;
    EXPECT_EQ(WriteParameterString(f),
              u"#URL=https://panel:5656#KEY=k#HSH=h#PRU=T#PRH= host #PRP=312#PRT=SOCKS5#PRA=T"
              u"#PRAU= user #PRAP=" + EncodeString(u" pw ") + u"#");
}

TEST(ParameterWriter, PortTextsAreStoredAsTheirNumber) {
    struct Case { std::u16string typed, stored; } cases[] = {
        {u"312", u"312"}, {u" 3 1 2 ", u"312"}, {u"80/tcp", u"80"}, {u"&H50", u"80"},
        {u"proxy", u"0"}, {u"", u"0"}, {u"80.5", u"80.5"}, {u"-1", u"-1"},
        {u"1e400", u"1E+999"},  // beyond every double: still an overflow when read, not port 0
    };
    for (const auto& c : cases) {
        ParameterFields f;
        f.proxy_port_text = c.typed;
        bool quoted = false;
        EXPECT_EQ(ReadTag(WriteParameterString(f), u"PRP", quoted), c.stored);
    }
}

TEST(ProxyTypeCodes, MapIndexToCodeAndBack) {
    const std::u16string codes[] = {u"WST", u"SOCKS4", u"SOCKS4A", u"SOCKS5", u"RELAY"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ProxyTypeCode(i), codes[i]);
        EXPECT_EQ(ProxyTypeIndex(codes[i]), i);
    }
    EXPECT_EQ(ProxyTypeCode(-1), u"WST");
    EXPECT_EQ(ProxyTypeCode(5), u"WST");
    for (const std::u16string unknown : {u"socks5", u"", u"SOCKS", u"\"SOCKS5\""}) {
        EXPECT_EQ(ProxyTypeIndex(unknown), 0);
    }
}

TEST(ParameterWriter, WhatItWritesReadsBack) {
    ParameterFields f;
    f.url = u"https://panel.example:5656/";
    f.api_key = u"KEY1";
    f.api_hash = u"HASH1";
    f.use_proxy = true;
    f.proxy_host = u"127.0.0.1";
    f.proxy_port_text = u"1080";
    f.proxy_type_index = 4;
    f.use_proxy_authentication = true;
    f.proxy_username = u"bob";
    f.proxy_password = u"s\u00e9cret=#";
    const auto s = WriteParameterString(f);
    auto read = [&](const char16_t* tag) { bool q = false; return ReadTag(s, tag, q); };
    EXPECT_EQ(read(u"URL"), f.url);
    EXPECT_EQ(read(u"KEY"), f.api_key);
    EXPECT_EQ(read(u"HSH"), f.api_hash);
    EXPECT_TRUE(IsTrueFlag(read(u"PRU")));
    EXPECT_EQ(read(u"PRH"), f.proxy_host);
    EXPECT_EQ(PortValue(read(u"PRP")), 1080);
    EXPECT_EQ(read(u"PRT"), u"RELAY");
    EXPECT_TRUE(IsTrueFlag(read(u"PRA")));
    EXPECT_EQ(read(u"PRAU"), f.proxy_username);
    EXPECT_EQ(DecodeString(read(u"PRAP")), f.proxy_password);
    EXPECT_EQ(read(u"PAU"), u"");  // never written
}

}  // namespace
}  // namespace orbenix
