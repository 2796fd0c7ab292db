// The response parser on its own: every framing fed whole and byte by byte,
// and every malformation and limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/response_parser.h"

namespace orbenix::http {
namespace {

// Feeds `wire` in pieces of `step` bytes, then the close when `close`.
Response Parse(const std::string& wire, std::size_t step, bool close = true) {
    ResponseParser parser("panel.example:5656");
    bool complete = false;
    for (std::size_t i = 0; i < wire.size() && !complete; i += step) {
        complete = parser.Feed(std::string_view(wire).substr(i, step));
    }
    if (!complete && close) parser.FinishAtClose();
    EXPECT_TRUE(parser.Complete());
    return parser.TakeResponse();
}

TEST(ResponseParser, ReadsEveryFramingInAnyPieces) {
    struct Case {
        const char* name;
        std::string wire;
        int status;
        std::string reason;
        std::string body;
        bool needs_close;
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, "OK", "hello", false},
        {"length zero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 200, "OK", "", false},
        {"repeated equal lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2, 2\r\nContent-Length: 02\r\n\r\nab", 200, "OK", "ab", false},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nA\r\n0123456789\r\n0\r\n\r\n", 200,
         "OK", "abc0123456789", false},
        {"chunked upper case, leading zeros, blank before ext",
         "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n00b ;x=y\r\nhello world\r\n0\r\nT: 1\r\n\r\n", 200, "OK",
         "hello world", false},
        {"until close", "HTTP/1.1 200 OK\r\n\r\nrest of it", 200, "OK", "rest of it", true},
        {"1.0 until close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nold", 200, "OK", "old", true},
        {"no reason", "HTTP/1.1 503\r\nContent-Length: 0\r\n\r\n", 503, "", "", false},
        {"reason with spaces", "HTTP/1.1 404 Not  Found \r\nContent-Length: 0\r\n\r\n", 404, "Not  Found ", "", false},
        {"interim answers", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: x\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz",
         200, "OK", "z", false},
        {"304 with length", "HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n", 304, "Not Modified", "", false},
        {"header value blanks trimmed", "HTTP/1.1 200 OK\r\nContent-Length:\t 1 \t\r\n\r\nq", 200, "OK", "q", false},
    };
    for (const auto& test : cases) {
        for (const std::size_t step : {test.wire.size(), std::size_t{1}, std::size_t{7}}) {
            SCOPED_TRACE(std::string(test.name) + " step " + std::to_string(step));
            const Response r = Parse(test.wire, step, test.needs_close);
            EXPECT_EQ(r.status, test.status);
            EXPECT_EQ(r.reason, test.reason);
            EXPECT_EQ(r.body, test.body);
        }
    }
}

TEST(ResponseParser, KeepsHeadersInOrder) {
    const Response r = Parse("HTTP/1.1 302 Found\r\nLocation: /x\r\nX-A: 1\r\nx-a: 2\r\nContent-Length: 0\r\n\r\n", 3);
    ASSERT_EQ(r.headers.size(), 4u);
    EXPECT_EQ(*r.Header("location"), "/x");
    EXPECT_EQ(*r.Header("X-A"), "1");
    EXPECT_EQ(r.Header("Missing"), nullptr);
}

TEST(ResponseParser, RefusesMalformedAndOversizedResponses) {
    std::string many = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 101; ++i) many += "H: v\r\n";
    std::string exactly_100 = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 99; ++i) exactly_100 += "H: v\r\n";
    exactly_100 += "Content-Length: 0\r\n\r\n";
    struct Case {
        const char* name;
        std::string wire;
        std::int32_t number;
    } cases[] = {
        {"not HTTP", "<html>\r\n\r\n", error_numbers::BadResponse},
        {"HTTP/2 status line", "HTTP/2 200 OK\r\n\r\n", error_numbers::BadResponse},
        {"HTTP/1.2", "HTTP/1.2 200 OK\r\n\r\n", error_numbers::BadResponse},
        {"two-digit status", "HTTP/1.1 20 OK\r\n\r\n", error_numbers::BadResponse},
        {"four-digit status", "HTTP/1.1 2000 OK\r\n\r\n", error_numbers::BadResponse},
        {"status below 100", "HTTP/1.1 099 X\r\n\r\n", error_numbers::BadResponse},
        {"101 unasked", "HTTP/1.1 101 Switching Protocols\r\n\r\n", error_numbers::BadResponse},
        {"header without colon", "HTTP/1.1 200 OK\r\nNoColon\r\n\r\n", error_numbers::BadResponse},
        {"blank before colon", "HTTP/1.1 200 OK\r\nName : v\r\n\r\n", error_numbers::BadResponse},
        {"folded header", "HTTP/1.1 200 OK\r\nA: b\r\n c\r\n\r\n", error_numbers::BadResponse},
        {"stray CR", "HTTP/1.1 200 OK\r\nA: b\rc\r\n\r\n", error_numbers::BadResponse},
        {"NUL in value", std::string("HTTP/1.1 200 OK\r\nA: b\0c\r\n\r\n", 27), error_numbers::BadResponse},
        {"gzip transfer coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n", error_numbers::BadResponse},
        {"gzip, chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", error_numbers::BadResponse},
        {"length and chunked", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n",
         error_numbers::BadContentLength},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", error_numbers::BadContentLength},
        {"plus length", "HTTP/1.1 200 OK\r\nContent-Length: +1\r\n\r\n", error_numbers::BadContentLength},
        {"hex length", "HTTP/1.1 200 OK\r\nContent-Length: 0x10\r\n\r\n", error_numbers::BadContentLength},
        {"empty length", "HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n", error_numbers::BadContentLength},
        {"differing lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1, 2\r\n\r\n", error_numbers::BadContentLength},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", error_numbers::BodyTooLarge},
        {"length over 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n", error_numbers::BodyTooLarge},
        {"close body over 1 MiB", "HTTP/1.1 200 OK\r\n\r\n" + std::string(1048577, 'x'), error_numbers::BodyTooLarge},
        {"header section over 64 KiB", "HTTP/1.1 200 OK\r\nA: " + std::string(65536, 'a') + "\r\n\r\n",
         error_numbers::HeaderTooLarge},
        {"interim answers over 64 KiB", [] {
             std::string s;
             for (int i = 0; i < 3000; ++i) s += "HTTP/1.1 100 Continue\r\n\r\n";
             return s;
         }(), error_numbers::HeaderTooLarge},
        {"101 header lines", many, error_numbers::TooManyHeaders},
        {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n", error_numbers::BadChunk},
        {"control before chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\x11" "46\r\n", error_numbers::BadChunk},
        {"chunk size with 0x", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x5\r\nhello\r\n", error_numbers::BadChunk},
        {"chunk size negative", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\n", error_numbers::BadChunk},
        {"chunk size empty", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", error_numbers::BadChunk},
        {"chunk size overflow", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffffff\r\n", error_numbers::BodyTooLarge},
        {"chunks over 1 MiB", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000\r\n" + std::string(0x80000, 'a') +
                                  "\r\n80001\r\n", error_numbers::BodyTooLarge},
        {"chunk longer than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n",
         error_numbers::BadChunk},
        {"chunk size line too long", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;" + std::string(5000, 'e'),
         error_numbers::BadChunk},
        {"control in chunk extension", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;\x01\r\n", error_numbers::BadChunk},
        {"trailer over 64 KiB", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nT: " + std::string(70000, 't'),
         error_numbers::HeaderTooLarge},
        {"truncated length body", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", error_numbers::ConnectionClosed},
        {"truncated chunked body", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc", error_numbers::ConnectionClosed},
        {"missing last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", error_numbers::ConnectionClosed},
        {"truncated header", "HTTP/1.1 200 OK\r\nContent-Len", error_numbers::ConnectionClosed},
        {"nothing", "", error_numbers::ConnectionClosed},
    };
    for (const auto& test : cases) {
        for (const std::size_t step : {test.wire.size() + 1, std::size_t{4096}}) {
            SCOPED_TRACE(std::string(test.name) + " step " + std::to_string(step));
            ResponseParser parser("panel.example:5656");
            try {
                bool complete = false;
                for (std::size_t i = 0; i < test.wire.size() && !complete; i += step) {
                    complete = parser.Feed(std::string_view(test.wire).substr(i, step));
                }
                if (!complete) parser.FinishAtClose();
                ADD_FAILURE() << "accepted";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), test.number) << e.what();
                const std::string text = Utf8FromText(e.description());
                EXPECT_NE(text.find("panel.example:5656"), std::string::npos) << e.what();
                // The text ends up in the check's one-line result.
                EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
                })) << e.what();
            }
        }
    }
    EXPECT_EQ(Parse(exactly_100, 5).status, 200);  // 100 header lines are still fine
}

// Hands `bytes` over in pieces of at most `piece`, then 0 (the close); a read
// after the close is a fault.
class PieceStream final : public Stream {
public:
    PieceStream(std::string bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
    std::size_t Read(void* buffer, std::size_t size, const Deadline&) override {
        EXPECT_FALSE(closed_) << "read after the close";
        const std::size_t n = std::min({size, piece_, bytes_.size() - taken_});
        std::memcpy(buffer, bytes_.data() + taken_, n);
        taken_ += n;
        closed_ = n == 0;
        return n;
    }
    void Write(const void*, std::size_t, const Deadline&) override {}
    const std::string& PeerName() const override { return peer_; }
    std::size_t taken() const { return taken_; }

private:
    std::string bytes_;
    std::size_t piece_;
    std::size_t taken_ = 0;
    bool closed_ = false;
    std::string peer_ = "127.0.0.1:8080";
};

TEST(ResponseParser, ReadResponseStopsAtTheEndOrTheClose) {
    struct Case {
        const char* name;
        std::string wire;
        std::string body;
        std::int32_t number;  // 0: a response with `body`, else the error
        std::size_t unread;   // bytes a complete response leaves in the stream
    } cases[] = {
        {"length, later bytes unread", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokHTTP/1.1", "ok", 0, 8},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", "ok", 0, 0},
        {"until close", "HTTP/1.1 200 OK\r\n\r\nall of it", "all of it", 0, 0},
        {"closed inside the body", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", "", error_numbers::ConnectionClosed, 0},
        {"closed at once", "", "", error_numbers::ConnectionClosed, 0},
    };
    for (const auto& test : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{65536}}) {
            SCOPED_TRACE(std::string(test.name) + " piece " + std::to_string(piece));
            PieceStream stream(test.wire, piece);
            const Deadline deadline(std::chrono::seconds(5));
            try {
                const Response r = ReadResponse(stream, "panel.example:5656", deadline);
                EXPECT_EQ(test.number, 0);
                EXPECT_EQ(r.body, test.body);
                if (piece == 1) {
                    EXPECT_EQ(test.wire.size() - stream.taken(), test.unread);
                }
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), test.number) << e.what();
                EXPECT_NE(Utf8FromText(e.description()).find("panel.example:5656"), std::string::npos) << e.what();
            }
        }
    }
}

}  // namespace
}  // namespace orbenix::http
