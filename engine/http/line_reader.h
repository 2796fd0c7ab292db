#pragma once
// Collects one protocol line (ended by LF, CR LF accepted) from pieces of
// input, refusing lines longer than a limit and bare CRs inside.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orbenix::http {

class LineReader {
public:
    enum class Status { NeedMore, Line, TooLong, BadCr };

    // Takes bytes from the front of `input` (advancing it) until a line is
    // complete or `input` is used up. `limit` counts the line's bytes with
    // its terminator.
    Status Take(std::string_view& input, std::size_t limit);
    // The completed line without its terminator; valid until the next Take.
    const std::string& line() const { return line_; }
    // Bytes of the completed line with its terminator.
    std::size_t raw_size() const { return raw_size_; }

private:
    std::string line_;
    std::size_t raw_size_ = 0;
    bool complete_ = false;
};

}  // namespace orbenix::http
