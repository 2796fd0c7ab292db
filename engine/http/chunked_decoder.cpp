#include "engine/http/chunked_decoder.h"

#include <algorithm>

#include "core/error.h"
#include "core/hex_digit.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/limits.h"

namespace orbenix::http {
namespace {

// The start of a bad size line as an error text shows it: the text ends up
// in the check's one-line result, so control characters become "?".
std::string ShownSizeLine(const std::string& line) {
    std::string shown = line.substr(0, 40);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
    return shown;
}

}  // namespace

void ChunkedDecoder::Fail(const std::string& why) const {
    throw Error(error_numbers::BadChunk,
                u"Bad chunked encoding: " + TextFromUtf8(why) + u" (from " + TextFromUtf8(peer_) + u")");
}

void ChunkedDecoder::ParseSize(const std::string& line, std::size_t body_size) {
    std::size_t i = 0, size = 0;
    for (; i < line.size() && HexDigitValue(line[i]) >= 0; ++i) {
        size = size * 16 + static_cast<std::size_t>(HexDigitValue(line[i]));
        if (size > limits::BodyBytes - body_size) {
            throw Error(error_numbers::BodyTooLarge,
                        u"Response body is larger than " + TextFromUtf8(std::to_string(limits::BodyBytes)) +
                            u" bytes (from " + TextFromUtf8(peer_) + u")");
        }
    }
    if (i == 0) Fail("chunk size \"" + ShownSizeLine(line) + "\" is not a hex number");
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] != ';') Fail("unexpected text after the chunk size");
    for (; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7f) Fail("control character in a chunk extension");
    }
    remaining_ = size;
    state_ = size == 0 ? State::Trailer : State::Data;
}

void ChunkedDecoder::Feed(std::string_view& input, std::string& body) {
    while (!input.empty() && state_ != State::Done) {
        switch (state_) {
            case State::Size:
            case State::DataEnd: {
                const bool data_end = state_ == State::DataEnd;
                const auto status = line_.Take(input, data_end ? 2 : limits::ChunkSizeLineBytes);
                if (status == LineReader::Status::NeedMore) return;
                if (status == LineReader::Status::TooLong) {
                    Fail(data_end ? "chunk data not followed by CRLF" : "chunk size line too long");
                }
                if (status == LineReader::Status::BadCr) Fail("stray CR in a chunk size line");
                if (state_ == State::DataEnd) {
                    if (!line_.line().empty()) Fail("chunk data not followed by CRLF");
                    state_ = State::Size;
                } else {
                    ParseSize(line_.line(), body.size());
                }
                break;
            }
            case State::Data: {
                const std::size_t take = std::min(remaining_, input.size());
                body.append(input.substr(0, take));
                input.remove_prefix(take);
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::DataEnd;
                break;
            }
            case State::Trailer: {
                const auto status = line_.Take(input, limits::HeaderSectionBytes - trailer_bytes_);
                if (status == LineReader::Status::NeedMore) return;
                if (status == LineReader::Status::TooLong) {
                    throw Error(error_numbers::HeaderTooLarge,
                                u"Response trailer section is larger than " +
                                    TextFromUtf8(std::to_string(limits::HeaderSectionBytes)) + u" bytes (from " +
                                    TextFromUtf8(peer_) + u")");
                }
                if (status == LineReader::Status::BadCr) Fail("stray CR in a trailer line");
                trailer_bytes_ += line_.raw_size();
                if (line_.line().empty()) {
                    state_ = State::Done;
                } else if (++trailer_lines_ > limits::HeaderLines) {
                    throw Error(error_numbers::TooManyHeaders,
                                u"Response has more than " + TextFromUtf8(std::to_string(limits::HeaderLines)) +
                                    u" trailer lines (from " + TextFromUtf8(peer_) + u")");
                }
                break;
            }
            case State::Done:
                break;
        }
    }
}

}  // namespace orbenix::http
