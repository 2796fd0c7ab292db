#include <gtest/gtest.h>

#include "core/json_string.h"

namespace orbenix {
namespace {

TEST(JsonString, EscapesWhatJsonRequires) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("l1\nl2\r\t"), "\"l1\\nl2\\r\\t\"");
    EXPECT_EQ(JsonString(std::string("\x01", 1)), "\"\\u0001\"");
    EXPECT_EQ(JsonString("\xC3\xA9"), "\"\xC3\xA9\"");  // UTF-8 passes through
}

}  // namespace
}  // namespace orbenix
