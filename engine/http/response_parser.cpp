#include "engine/http/response_parser.h"

#include <algorithm>
#include <array>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/limits.h"

namespace orbenix::http {
namespace {

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return (c < 0x20 && c != '\t') || c == 0x7f;
    });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string Shown(std::string_view s) {
    std::string out(s.substr(0, 60));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return out;
}

}  // namespace

ResponseParser::ResponseParser(std::string peer) : peer_(peer), chunked_(std::move(peer)) {}

void ResponseParser::Fail(std::int32_t number, const std::string& what) const {
    throw Error(number, TextFromUtf8(what) + u" (from " + TextFromUtf8(peer_) + u")");
}

void ResponseParser::ParseStatusLine(const std::string& line) {
    // HTTP/1.1 SP 3DIGIT [SP reason]
    const std::string_view s(line);
    if (!(s.starts_with("HTTP/1.1 ") || s.starts_with("HTTP/1.0 ")) || s.size() < 12) {
        Fail(error_numbers::BadResponse, "Bad status line \"" + Shown(s) + "\"");
    }
    int status = 0;
    for (std::size_t i = 9; i < 12; ++i) {
        if (s[i] < '0' || s[i] > '9') Fail(error_numbers::BadResponse, "Bad status line \"" + Shown(s) + "\"");
        status = status * 10 + (s[i] - '0');
    }
    if (status < 100 || (s.size() > 12 && s[12] != ' ') || HasControl(s)) {
        Fail(error_numbers::BadResponse, "Bad status line \"" + Shown(s) + "\"");
    }
    response_ = Response{};
    response_.status = status;
    response_.reason = s.size() > 13 ? std::string(s.substr(13)) : std::string();
    header_lines_ = 0;
    state_ = State::Headers;
}

void ResponseParser::ParseHeaderLine(const std::string& line) {
    if (++header_lines_ > limits::HeaderLines) {
        Fail(error_numbers::TooManyHeaders,
             "Response has more than " + std::to_string(limits::HeaderLines) + " header lines");
    }
    const std::string_view s(line);
    if (s.front() == ' ' || s.front() == '\t') Fail(error_numbers::BadResponse, "Folded header line");
    const auto colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(colon), IsTokenChar)) {
        Fail(error_numbers::BadResponse, "Bad header line \"" + Shown(s) + "\"");
    }
    const std::string_view value = Trim(s.substr(colon + 1));
    if (HasControl(value)) Fail(error_numbers::BadResponse, "Control character in header " + std::string(s.substr(0, colon)));
    response_.headers.emplace_back(s.substr(0, colon), value);
}

ResponseParser::Framing ResponseParser::ChooseFraming(std::size_t& length) const {
    const int status = response_.status;
    if (status == 204 || status == 304) return Framing::None;
    bool chunked = false, has_length = false;
    for (const auto& [name, value] : response_.headers) {
        if (EqualsIgnoreCase(name, "Transfer-Encoding")) {
            if (!EqualsIgnoreCase(value, "chunked") || chunked) {
                Fail(error_numbers::BadResponse, "Unsupported Transfer-Encoding \"" + Shown(value) + "\"");
            }
            chunked = true;
        } else if (EqualsIgnoreCase(name, "Content-Length")) {
            // Repeated values (in one line or several) must agree.
            std::string_view rest(value);
            do {
                const auto comma = rest.find(',');
                const std::string_view item = Trim(rest.substr(0, comma));
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
                if (item.empty() || !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                    Fail(error_numbers::BadContentLength, "Bad Content-Length \"" + Shown(value) + "\"");
                }
                std::size_t n = 0;
                for (char c : item) {
                    n = n * 10 + static_cast<std::size_t>(c - '0');
                    if (n > limits::BodyBytes) {
                        Fail(error_numbers::BodyTooLarge,
                             "Response body is larger than " + std::to_string(limits::BodyBytes) + " bytes");
                    }
                }
                if (has_length && n != length) Fail(error_numbers::BadContentLength, "Conflicting Content-Length values");
                length = n;
                has_length = true;
            } while (!rest.empty());
        }
    }
    if (chunked && has_length) {
        Fail(error_numbers::BadContentLength, "Response has both Content-Length and Transfer-Encoding");
    }
    if (chunked) return Framing::Chunked;
    if (has_length) return length == 0 ? Framing::None : Framing::Length;
    return Framing::Close;
}

void ResponseParser::EndOfHeaders() {
    if (response_.status < 200) {
        if (response_.status == 101) Fail(error_numbers::BadResponse, "Unexpected 101 Switching Protocols");
        state_ = State::StatusLine;  // interim answer: the real one follows
        return;
    }
    std::size_t length = 0;
    switch (ChooseFraming(length)) {
        case Framing::None: state_ = State::Done; break;
        case Framing::Length: remaining_ = length; state_ = State::LengthBody; break;
        case Framing::Chunked: state_ = State::ChunkedBody; break;
        case Framing::Close: state_ = State::CloseBody; break;
    }
}

void ResponseParser::AppendBody(std::string_view data) {
    if (data.size() > limits::BodyBytes - response_.body.size()) {
        Fail(error_numbers::BodyTooLarge, "Response body is larger than " + std::to_string(limits::BodyBytes) + " bytes");
    }
    response_.body.append(data);
}

bool ResponseParser::Feed(std::string_view data) {
    while (!data.empty() && state_ != State::Done) {
        switch (state_) {
            case State::StatusLine:
            case State::Headers: {
                const auto status = line_.Take(data, limits::HeaderSectionBytes - header_bytes_);
                if (status == LineReader::Status::NeedMore) break;
                if (status == LineReader::Status::TooLong) {
                    Fail(error_numbers::HeaderTooLarge, "Response header section is larger than " +
                                                            std::to_string(limits::HeaderSectionBytes) + " bytes");
                }
                if (status == LineReader::Status::BadCr) Fail(error_numbers::BadResponse, "Stray CR in the response header");
                header_bytes_ += line_.raw_size();
                if (state_ == State::StatusLine) {
                    ParseStatusLine(line_.line());
                } else if (line_.line().empty()) {
                    EndOfHeaders();
                } else {
                    ParseHeaderLine(line_.line());
                }
                break;
            }
            case State::LengthBody: {
                const std::size_t take = std::min(remaining_, data.size());
                AppendBody(data.substr(0, take));
                data.remove_prefix(take);
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::Done;
                break;
            }
            case State::ChunkedBody:
                chunked_.Feed(data, response_.body);
                if (chunked_.Done()) state_ = State::Done;
                break;
            case State::CloseBody:
                AppendBody(data);
                data = {};
                break;
            case State::Done:
                break;
        }
    }
    return state_ == State::Done;
}

void ResponseParser::FinishAtClose() {
    switch (state_) {
        case State::Done:
            return;
        case State::CloseBody:
            state_ = State::Done;
            return;
        case State::StatusLine:
        case State::Headers:
            Fail(error_numbers::ConnectionClosed, header_bytes_ == 0 && state_ == State::StatusLine
                                                      ? "Connection closed before any response arrived"
                                                      : "Connection closed before the response header was complete");
        case State::LengthBody:
            Fail(error_numbers::ConnectionClosed,
                 "Connection closed after " + std::to_string(response_.body.size()) + " of " +
                     std::to_string(response_.body.size() + remaining_) + " body bytes");
        case State::ChunkedBody:
            Fail(error_numbers::ConnectionClosed, "Connection closed inside the chunked body");
    }
}

Response ReadResponse(Stream& stream, const std::string& peer, const Deadline& deadline) {
    ResponseParser parser(peer);
    std::array<char, 16384> buffer;
    for (;;) {
        const std::size_t n = stream.Read(buffer.data(), buffer.size(), deadline);
        if (n == 0) {
            parser.FinishAtClose();
            break;
        }
        if (parser.Feed(std::string_view(buffer.data(), n))) break;
    }
    return parser.TakeResponse();
}

}  // namespace orbenix::http
