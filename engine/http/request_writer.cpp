#include "engine/http/request_writer.h"

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/response.h"

namespace orbenix::http {
namespace {

bool IsTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

[[noreturn]] void Fail(std::string_view name, const char16_t* why) {
    throw Error(error_numbers::BadHeader, u"Request header \"" + TextFromUtf8(name) + u"\" " + why);
}

}  // namespace

void ValidateHeader(std::string_view name, std::string_view value) {
    if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
        value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        Fail(name, u"holds CR, LF or NUL");
    }
    if (name.empty()) Fail(name, u"has an empty name");
    for (char c : name) {
        if (!IsTokenChar(c)) Fail(name, u"has a character not allowed in a header name");
    }
    for (const char* own : {"Host", "Content-Length", "Transfer-Encoding", "Connection"}) {
        if (EqualsIgnoreCase(name, own)) Fail(name, u"is written by the component itself");
    }
}

std::string EncodeFormFields(const HeaderList& fields) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    auto encode = [&out](std::string_view text) {
        for (unsigned char c : text) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                c == '.' || c == '_' || c == '*') {
                out += static_cast<char>(c);
            } else if (c == ' ') {
                out += '+';
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
    };
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out += '&';
        encode(name);
        out += '=';
        encode(value);
    }
    return out;
}

std::string WriteRequest(const RequestLine& line, const HeaderList& headers, std::string_view body) {
    std::string out = line.method + " " + line.target + " " + line.version + "\r\nHost: " + line.host + "\r\n";
    bool has_content_type = false;
    for (const auto& [name, value] : headers) {
        out += name + ": " + value + "\r\n";
        has_content_type = has_content_type || EqualsIgnoreCase(name, "Content-Type");
    }
    if (line.method == "POST") {
        if (!has_content_type) out += "Content-Type: application/x-www-form-urlencoded\r\n";
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    out.append(body);
    return out;
}

}  // namespace orbenix::http
