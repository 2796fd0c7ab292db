#pragma once
// Reads an HTTP/1.0 or HTTP/1.1 response from pieces of input:
//
//   HTTP/1.1 SP 200 [SP reason] CRLF       status line (1xx answers skipped)
//   name: value CRLF                       at most 100 lines
//   CRLF                                   64 KiB for all of the above
//   body                                   Content-Length, chunked or until close; <= 1 MiB
//
// Every violation is a numbered Error naming the server.
#include <cstddef>
#include <string>
#include <string_view>

#include "engine/http/chunked_decoder.h"
#include "engine/http/deadline.h"
#include "engine/http/line_reader.h"
#include "engine/http/response.h"
#include "engine/http/stream.h"

namespace orbenix::http {

class ResponseParser {
public:
    // `peer` ("host:port") names the server in error texts.
    explicit ResponseParser(std::string peer);

    // Consumes received bytes; returns true once the response is complete
    // (later bytes are ignored).
    bool Feed(std::string_view data);
    // The server closed the connection: completes a body that runs until
    // close, or raises ConnectionClosed for an incomplete response.
    void FinishAtClose();

    bool Complete() const { return state_ == State::Done; }
    // True once the status line and headers of the final response are in.
    bool HeaderComplete() const { return state_ != State::StatusLine && state_ != State::Headers; }
    const Response& response() const { return response_; }
    Response TakeResponse() { return std::move(response_); }

private:
    enum class State { StatusLine, Headers, LengthBody, ChunkedBody, CloseBody, Done };
    enum class Framing { None, Length, Chunked, Close };

    [[noreturn]] void Fail(std::int32_t number, const std::string& what) const;
    void ParseStatusLine(const std::string& line);
    void ParseHeaderLine(const std::string& line);
    void EndOfHeaders();
    Framing ChooseFraming(std::size_t& length) const;
    void AppendBody(std::string_view data);

    std::string peer_;
    State state_ = State::StatusLine;
    LineReader line_;
    std::size_t header_bytes_ = 0;
    std::size_t header_lines_ = 0;
    std::size_t remaining_ = 0;
    ChunkedDecoder chunked_;
    Response response_;
};

// Reads one response from `stream` until it is complete (later bytes stay
// unread) or the peer closes; `peer` names the server in error texts.
Response ReadResponse(Stream& stream, const std::string& peer, const Deadline& deadline);

}  // namespace orbenix::http
