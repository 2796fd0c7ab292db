#pragma once
// Decodes a chunked message body:
//
//   +-----------+-----+------+----------+-----+     +---+-----+----------+-----+
//   | size(hex) | ext | CRLF | data ... | CRLF | ... | 0 | ext | trailers | CRLF |
//   +-----------+-----+------+----------+-----+     +---+-----+----------+-----+
//
// Sizes are hex digits only (no sign, no "0x", no overflow); "; ext" may
// follow after optional blanks. Trailer lines are read and dropped.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/http/line_reader.h"

namespace orbenix::http {

class ChunkedDecoder {
public:
    // `peer` names the server in error texts.
    explicit ChunkedDecoder(std::string peer) : peer_(std::move(peer)) {}

    // Consumes bytes from the front of `input`, appending decoded data to
    // `body` (never beyond the body limit). Stops at the end of the message;
    // bytes after it stay in `input`. Raises BadChunk, BodyTooLarge,
    // HeaderTooLarge or TooManyHeaders.
    void Feed(std::string_view& input, std::string& body);
    bool Done() const { return state_ == State::Done; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done };
    [[noreturn]] void Fail(const std::string& why) const;
    void ParseSize(const std::string& line, std::size_t body_size);

    std::string peer_;
    State state_ = State::Size;
    LineReader line_;
    std::size_t remaining_ = 0;
    std::size_t trailer_bytes_ = 0;
    std::size_t trailer_lines_ = 0;
};

}  // namespace orbenix::http
