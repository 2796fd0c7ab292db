// The CONNECT tunnel through an HTTP proxy (web standard, and relay for
// https targets).
//
//   CONNECT host:port HTTP/1.1          HTTP/1.x 2xx ...   -> tunnel open
//   Host: host:port                     (headers, up to the empty line;
//   [Proxy-Authorization: Basic ...]     Content-Length and
//                                        Transfer-Encoding of a 2xx ignored)
#include <string>

#include "engine/http/http_errors.h"
#include "engine/http/proxy_handshake.h"

namespace orbenix::http::proxy {
namespace {

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

// The answer's header section, read a byte at a time so that nothing of the
// tunnel is consumed.
std::string ReadHeaderSection(Stream& stream, const Deadline& deadline, const Handshake& handshake) {
    std::string head;
    char c = 0;
    for (std::size_t taken = 0;; ++taken) {
        if (taken > kMaxHeaderBytes) {
            handshake.Fail(error_numbers::ProxyFailed,
                           "sent more than 64 KiB of headers in answer to the CONNECT to " + handshake.target);
        }
        const std::size_t got = stream.Read(&c, 1, deadline);
        if (got == 0) {
            handshake.Fail(error_numbers::ProxyFailed,
                           head.empty() ? "closed the connection without answering the CONNECT to " + handshake.target
                                        : "closed the connection in the middle of its answer to the CONNECT to " +
                                              handshake.target);
        }
        if (head.empty() && (c == '\r' || c == '\n')) continue;  // blank lines before the status line
        head += c;
        if (head.ends_with("\n\n") || head.ends_with("\n\r\n")) return head;
    }
}

}  // namespace

// Printable ASCII of the reason phrase, at most 80 characters.
std::string CleanReason(std::string_view reason) {
    std::string out;
    for (char c : reason) {
        if (out.size() >= 80) break;
        if (c == '\r') break;
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '?')) out.pop_back();
    return out;
}

bool ParseStatusLine(std::string_view head, int& status, std::string& reason) {
    const std::string_view line = head.substr(0, head.find('\n'));
    // "HTTP/1.x SSS[ reason]"
    const bool well_formed = line.size() >= 12 && line.starts_with("HTTP/1.") && line[7] >= '0' &&
                             line[7] <= '9' && line[8] == ' ' && line[9] >= '1' && line[9] <= '5' &&
                             line[10] >= '0' && line[10] <= '9' && line[11] >= '0' && line[11] <= '9' &&
                             (line.size() == 12 || line[12] == ' ' || line[12] == '\r');
    if (!well_formed) return false;
    status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    reason = line.size() > 13 ? std::string(line.substr(13)) : std::string();
    return true;
}

void OpenHttpTunnel(Stream& stream, const ProxySettings& proxy, const Target& target, const Deadline& deadline,
                    const Handshake& handshake) {
    // The authority form, never shortened (HostPort shortens for texts only).
    const std::string authority = (target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host) +
                                  ":" + std::to_string(target.port);
    std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (proxy.authenticate) request += "Proxy-Authorization: " + BasicCredentials(proxy) + "\r\n";
    request += "\r\n";
    stream.Write(request.data(), request.size(), deadline);

    int status = 0;
    std::string raw_reason;
    for (int interim = 0; interim <= 10; ++interim) {  // 1xx answers come before the real one
        const std::string head = ReadHeaderSection(stream, deadline, handshake);
        if (!ParseStatusLine(head, status, raw_reason)) {
            handshake.Fail(error_numbers::ProxyFailed, "answered the CONNECT to " + handshake.target +
                                                           " with something other than an HTTP status line");
        }
        if (status >= 200) break;
    }
    if (status >= 200 && status <= 299) return;
    const std::string reason = CleanReason(raw_reason);
    const std::string code = "HTTP " + std::to_string(status);
    if (status == 407 || status == 401) {
        handshake.Fail(error_numbers::ProxyAuthFailed, proxy.authenticate
                                                           ? "refused the credentials (" + code + ")"
                                                           : "requires authentication, and none is set (" + code + ")");
    }
    handshake.Fail(error_numbers::ProxyFailed, "could not open a tunnel to " + handshake.target + ": " + code +
                                                   (reason.empty() ? "" : " " + reason));
}

}  // namespace orbenix::http::proxy
