#pragma once
// The request as it goes on the wire:
//
//   POST /path?query HTTP/1.1
//   Host: panel.example:5656
//   <caller's headers, in order added>
//   Content-Type: application/x-www-form-urlencoded
//   Content-Length: 42
//   Connection: close
//
//   key=...&hash=...&action=info&status=true
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orbenix::http {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RequestLine {
    std::string method;   // "POST" or "GET"
    std::string target;   // origin form "/path?q" or absolute form "http://host/path"
    std::string version;  // "HTTP/1.1" or "HTTP/1.0"
    std::string host;     // the Host header value
};

// Raises BadHeader when a name is not a token or a name or value holds CR,
// LF or NUL, or the name is one the component writes itself.
void ValidateHeader(std::string_view name, std::string_view value);

// application/x-www-form-urlencoded: unreserved bytes as they are, space as
// "+", everything else %XX; fields joined with "&" in order.
std::string EncodeFormFields(const HeaderList& fields);

// The whole request. A body is sent with Content-Type and Content-Length;
// an empty `body` with method POST still says "Content-Length: 0".
std::string WriteRequest(const RequestLine& line, const HeaderList& headers, std::string_view body);

}  // namespace orbenix::http
