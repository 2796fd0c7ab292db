#include "exporter/request_target.h"

#include "core/hex_digit.h"

namespace orbenix::exporter {

std::string PercentDecode(std::string_view text, bool plus_is_blank) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexDigitValue(text[i + 1]);
            const int low = HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += (plus_is_blank && c == '+') ? ' ' : c;
    }
    return out;
}

RequestTarget SplitTarget(std::string_view target) {
    const std::size_t question = target.find('?');
    RequestTarget split;
    split.path = PercentDecode(target.substr(0, question), false);
    if (question != std::string_view::npos) split.query = std::string(target.substr(question + 1));
    return split;
}

std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = pair.find('=');
        if (PercentDecode(pair.substr(0, equals), true) != name) continue;
        return equals == std::string_view::npos ? std::string() : PercentDecode(pair.substr(equals + 1), true);
    }
    return std::nullopt;
}

}  // namespace orbenix::exporter
