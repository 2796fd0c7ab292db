// The request bytes and the form encoding.
#include <gtest/gtest.h>

#include "core/error.h"
#include "engine/http/http_errors.h"
#include "engine/http/request_writer.h"

namespace orbenix::http {
namespace {

TEST(RequestWriter, WritesTheWholeRequest) {
    const HeaderList headers = {{"Pragma", "no-cache"}, {"User-Agent", "UA/1"}};
    EXPECT_EQ(WriteRequest({"POST", "/api?x", "HTTP/1.1", "panel.example:5656"}, headers, "a=1"),
              "POST /api?x HTTP/1.1\r\nHost: panel.example:5656\r\nPragma: no-cache\r\nUser-Agent: UA/1\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\nConnection: close\r\n\r\na=1");
    EXPECT_EQ(WriteRequest({"GET", "/", "HTTP/1.0", "h"}, {}, ""),
              "GET / HTTP/1.0\r\nHost: h\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(WriteRequest({"POST", "/", "HTTP/1.1", "h"}, {{"content-type", "text/plain"}}, ""),
              "POST / HTTP/1.1\r\nHost: h\r\ncontent-type: text/plain\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

TEST(RequestWriter, EncodesFormFieldsInOrder) {
    struct Case {
        HeaderList fields;
        const char* expected;
    } cases[] = {
        {{{"key", "abc"}, {"hash", "def"}, {"action", "info"}, {"status", "true"}},
         "key=abc&hash=def&action=info&status=true"},
        {{{"z", "1"}, {"a", "2"}}, "z=1&a=2"},
        {{{"k", ""}, {"", "v"}}, "k=&=v"},
        {{{"sp ace", "a b+c&d=e%f"}}, "sp+ace=a+b%2Bc%26d%3De%25f"},
        {{{"u", "\xC3\xA4\xE2\x82\xAC"}}, "u=%C3%A4%E2%82%AC"},
        {{{"safe", "AZaz09-._*"}}, "safe=AZaz09-._*"},
        {{{"ctl", std::string("\r\n\0/?#", 6)}}, "ctl=%0D%0A%00%2F%3F%23"},
        {{}, ""},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(EncodeFormFields(test.fields), test.expected);
    }
}

TEST(RequestWriter, RefusesHeadersThatWouldBreakTheRequest) {
    const std::pair<std::string, std::string> bad[] = {
        {"X", "a\r\nEvil: 1"}, {"X", "a\nb"}, {"X", "a\rb"}, {"X", std::string("a\0b", 3)},
        {"X\r\nY", "v"},      {"", "v"},     {"A B", "v"},  {"A:B", "v"},
        {"Host", "h"},        {"CONTENT-LENGTH", "1"}, {"Transfer-Encoding", "chunked"}, {"Connection", "keep-alive"},
    };
    for (const auto& [name, value] : bad) {
        SCOPED_TRACE(name);
        try {
            ValidateHeader(name, value);
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), error_numbers::BadHeader);
        }
    }
    EXPECT_NO_THROW(ValidateHeader("User-Agent", "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"));
    EXPECT_NO_THROW(ValidateHeader("X-Empty", ""));
}

}  // namespace
}  // namespace orbenix::http
