#include "engine/http/url.h"

#include <string_view>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"

namespace orbenix::http {
namespace {

// Raised with the number the caller wants (BadUrl or BadRedirect).
[[noreturn]] void Fail(std::int32_t number, std::string_view url, std::string_view why) {
    const std::u16string prefix = number == error_numbers::BadUrl ? u"Bad URL \"" : u"Bad redirect target \"";
    throw Error(number, prefix + TextFromUtf8(url) + u"\": " + TextFromUtf8(why));
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Lower(c);
    return out;
}

// Non-ASCII bytes in the path or query travel percent-encoded.
std::string EncodeNonAscii(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x80) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// RFC 3986 section 5.2.4.
std::string RemoveDotSegments(std::string_view input) {
    std::string output;
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./") || input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = {};
            output += '/';
        } else if (input.starts_with("/../") || input == "/..") {
            const auto slash = output.rfind('/');
            output.resize(slash == std::string::npos ? 0 : slash);
            if (input == "/..") output += '/';
            input.remove_prefix(3);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const auto next = input.find('/', 1);
            const std::size_t take = next == std::string_view::npos ? input.size() : next;
            output.append(input.substr(0, take));
            input.remove_prefix(take);
        }
    }
    return output;
}

struct Parts {
    std::string_view scheme, authority, path, query;
    bool has_scheme = false, has_authority = false, has_query = false;
};

Parts Split(std::string_view s) {
    Parts p;
    if (const auto hash = s.find('#'); hash != std::string_view::npos) s = s.substr(0, hash);
    const auto colon = s.find(':');
    if (colon != std::string_view::npos && colon > 0 && IsAlpha(s[0])) {
        bool scheme_chars = true;
        for (char c : s.substr(0, colon)) {
            if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') scheme_chars = false;
        }
        const auto first_slash = s.find('/');
        if (scheme_chars && (first_slash == std::string_view::npos || colon < first_slash)) {
            p.scheme = s.substr(0, colon);
            p.has_scheme = true;
            s = s.substr(colon + 1);
        }
    }
    if (s.starts_with("//")) {
        s = s.substr(2);
        const auto end = s.find_first_of("/?");
        p.authority = s.substr(0, end);
        p.has_authority = true;
        s = end == std::string_view::npos ? std::string_view() : s.substr(end);
    }
    const auto q = s.find('?');
    p.path = s.substr(0, q);
    if (q != std::string_view::npos) {
        p.query = s.substr(q + 1);
        p.has_query = true;
    }
    return p;
}

void CheckCharacters(std::int32_t number, std::string_view url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7f) Fail(number, url, "it contains a space or a control character");
    }
}

void ParseAuthority(std::int32_t number, std::string_view url, std::string_view authority, Url& out) {
    if (authority.find('@') != std::string_view::npos) {
        Fail(number, url, "credentials in the URL are not supported");
    }
    std::string_view host = authority, port;
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) Fail(number, url, "unclosed \"[\" in the host");
        host = authority.substr(1, close - 1);
        const auto rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') Fail(number, url, "unexpected text after the IPv6 address");
            port = rest.substr(1);
        }
        if (host.empty() || host.find(':') == std::string_view::npos) {
            Fail(number, url, "bad IPv6 address");
        }
        for (char c : host) {
            if (!IsHex(c) && c != ':' && c != '.') Fail(number, url, "bad IPv6 address");
        }
    } else {
        const auto colon = authority.find(':');
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
        for (unsigned char c : host) {
            if (c >= 0x80) Fail(number, url, "international host names are not supported");
            if (!IsAlpha(static_cast<char>(c)) && !IsDigit(static_cast<char>(c)) && c != '-' &&
                c != '.' && c != '_') {
                Fail(number, url, "bad character in the host name");
            }
        }
    }
    if (host.empty()) Fail(number, url, "the host is empty");
    out.host = LowerText(host);
    if (!port.empty()) {
        std::uint32_t value = 0;
        for (char c : port) {
            if (!IsDigit(c) || value > 65535) Fail(number, url, "bad port");
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (value == 0 || value > 65535) Fail(number, url, "bad port");
        out.port = static_cast<std::uint16_t>(value);
    }
}

std::string Target(std::string_view path, bool has_query, std::string_view query) {
    std::string target = path.empty() ? "/" : std::string(path);
    if (has_query) {
        target += '?';
        target.append(query);
    }
    return EncodeNonAscii(target);
}

Url ParseAbsolute(std::int32_t number, std::string_view url) {
    CheckCharacters(number, url);
    const Parts p = Split(url);
    if (!p.has_scheme) Fail(number, url, "no scheme (http:// or https://)");
    const std::string scheme = LowerText(p.scheme);
    Url out;
    if (scheme == "https") {
        out.https = true;
    } else if (scheme != "http") {
        Fail(number, url, "unknown scheme \"" + std::string(p.scheme) + "\"");
    }
    if (!p.has_authority) Fail(number, url, "the host is empty");
    out.port = out.https ? 443 : 80;
    ParseAuthority(number, url, p.authority, out);
    out.target = Target(RemoveDotSegments(p.path), p.has_query, p.query);
    if (!out.target.starts_with("/")) out.target = std::string(1, '/').append(out.target);
    return out;
}

// IPv6 literals in brackets.
std::string Bracketed(const std::string& host) {
    if (host.find(':') == std::string::npos) return host;
    std::string text(1, '[');
    text += host;
    text += ']';
    return text;
}

}  // namespace

std::string Url::HostHeader() const {
    std::string text = Bracketed(host);
    if (port != (https ? 443 : 80)) {
        text += ':';
        text += std::to_string(port);
    }
    return text;
}

std::string Url::Authority() const {
    std::string text = Bracketed(host);
    text += ':';
    text += std::to_string(port);
    return text;
}

std::string Url::Text() const {
    return (https ? "https://" : "http://") + HostHeader() + target;
}

Url ParseUrl(const std::u16string& text) {
    return ParseAbsolute(error_numbers::BadUrl, Utf8FromText(text));
}

Url ResolveLocation(const Url& base, const std::string& location) {
    const std::int32_t number = error_numbers::BadRedirect;
    if (location.empty()) Fail(number, location, "the Location is empty");
    CheckCharacters(number, location);
    const Parts p = Split(location);
    if (p.has_scheme) return ParseAbsolute(number, location);
    if (p.has_authority) {
        return ParseAbsolute(number, (base.https ? "https:" : "http:") + location);
    }
    Url out = base;
    const auto base_query = base.target.find('?');
    const std::string base_path = base.target.substr(0, base_query);
    std::string path;
    if (p.path.empty()) {
        path = base_path;
        if (!p.has_query && base_query != std::string::npos) {
            out.target = base.target;  // fragment-only reference
            return out;
        }
    } else if (p.path.starts_with("/")) {
        path = RemoveDotSegments(p.path);
    } else {
        path = RemoveDotSegments(base_path.substr(0, base_path.rfind('/') + 1) + std::string(p.path));
    }
    out.target = Target(path, p.has_query, p.query);
    if (!out.target.starts_with("/")) out.target = std::string(1, '/').append(out.target);
    return out;
}

}  // namespace orbenix::http
