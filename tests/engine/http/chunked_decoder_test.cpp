// The chunked decoder on its own: where it stops and what it leaves.
#include <gtest/gtest.h>

#include "core/error.h"
#include "engine/http/chunked_decoder.h"
#include "engine/http/http_errors.h"

namespace orbenix::http {
namespace {

TEST(ChunkedDecoder, StopsAtTheEndAndLeavesLaterBytes) {
    ChunkedDecoder decoder("h:1");
    std::string body;
    std::string_view input = "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\nNEXT";
    decoder.Feed(input, body);
    EXPECT_TRUE(decoder.Done());
    EXPECT_EQ(body, "Wikipedia");
    EXPECT_EQ(input, "NEXT");
}

TEST(ChunkedDecoder, AcceptsEverySplitPoint) {
    const std::string wire = "1a;ext=\"q\"\r\nabcdefghijklmnopqrstuvwxyz\r\n2\r\n!!\r\n0\r\nTrailer: x\r\n\r\n";
    for (std::size_t split = 0; split <= wire.size(); ++split) {
        SCOPED_TRACE(split);
        ChunkedDecoder decoder("h:1");
        std::string body;
        std::string_view first = std::string_view(wire).substr(0, split);
        std::string_view second = std::string_view(wire).substr(split);
        decoder.Feed(first, body);
        EXPECT_TRUE(first.empty());
        decoder.Feed(second, body);
        EXPECT_TRUE(decoder.Done());
        EXPECT_EQ(body, "abcdefghijklmnopqrstuvwxyz!!");
    }
}

TEST(ChunkedDecoder, RefusesTooManyTrailerLines) {
    std::string wire = "0\r\n";
    for (int i = 0; i < 101; ++i) wire += "T: v\r\n";
    ChunkedDecoder decoder("h:1");
    std::string body;
    std::string_view input = wire;
    try {
        decoder.Feed(input, body);
        ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), error_numbers::TooManyHeaders);
    }
}

}  // namespace
}  // namespace orbenix::http
