#include <gtest/gtest.h>

#include "cli/proxy_argument.h"

namespace orbenix::cli {
namespace {

TEST(ProxyArgument, EachKindMapsToTheDialogsListIndex) {
    const struct { std::u16string text; int index; std::u16string host; int port; } cases[] = {
        {u"web://proxy.example.com:3128", 0, u"proxy.example.com", 3128},
        {u"socks4://10.0.0.1:1080", 1, u"10.0.0.1", 1080},
        {u"socks4a://gw:1", 2, u"gw", 1},
        {u"socks5://[::1]:65535", 3, u"::1", 65535},
        {u"relay://127.0.0.1:8080/", 4, u"127.0.0.1", 8080},
        {u"SOCKS5://h:9", 3, u"h", 9},
        {u"Web://h:09", 0, u"h", 9},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseProxyArgument(c.text);
        ASSERT_TRUE(std::holds_alternative<ProxyArgument>(parsed)) << std::get<ArgumentError>(parsed).message;
        const auto& proxy = std::get<ProxyArgument>(parsed);
        EXPECT_EQ(proxy.type_index, c.index);
        EXPECT_EQ(proxy.host, c.host);
        EXPECT_EQ(proxy.port, c.port);
    }
}

TEST(ProxyArgument, MalformedArgumentsAreRefusedWithoutRepeatingThem) {
    const std::u16string bad[] = {
        u"",
        u"h:1",
        u"http://h:1",
        u"socks://h:1",
        u"web://h",
        u"web://:1",
        u"web://h:0",
        u"web://h:65536",
        u"web://h:123456",
        u"web://h:-1",
        u"web://h:1x",
        u"web://h:",
        u"web://::1:80",
        u"web://[::1:80",
        u"web://[]:80",
        u"web://[::1]80",
        u"web://h#x:80",
        u"web://h x:80",
        u"socks5://mon:s3cret@h:1080",
    };
    for (const auto& text : bad) {
        const auto parsed = ParseProxyArgument(text);
        ASSERT_TRUE(std::holds_alternative<ArgumentError>(parsed));
        const std::string& message = std::get<ArgumentError>(parsed).message;
        EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
        EXPECT_NE(message.find("--proxy"), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace orbenix::cli
