#include "engine/usage_values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace orbenix {
namespace {

constexpr std::size_t kFieldCount = 4;
constexpr const char* kFieldNames[kFieldCount] = {"total", "used", "free", "percent"};

double TwoDecimals(double value) { return std::round(value * 100) / 100; }

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A whole number of bytes; an empty text on success, else what is wrong.
std::string ReadBytes(std::u16string_view text, std::uint64_t& value) {
    if (text.empty()) return "is empty";
    value = 0;
    for (const char16_t c : text) {
        if (!IsDigit(c)) return "is no whole number";
        const auto digit = static_cast<std::uint64_t>(c - u'0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return "is too large";
        value = value * 10 + digit;
    }
    return "";
}

// Digits, optionally followed by "." and more digits; any size a double holds.
std::string ReadPercent(std::u16string_view text, double& value) {
    if (text.empty()) return "is empty";
    const std::size_t dot = text.find(u'.');
    std::string narrow;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = IsDigit(text[i]);
        const bool edge = i == 0 || i + 1 == text.size();
        if (!digit && !(i == dot && !edge)) return "is no number";
        narrow += static_cast<char>(text[i]);
    }
    const auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error != std::errc() || end != narrow.data() + narrow.size()) return "is above 100";
    return "";
}

// What is wrong with the panel's percent beside used and total, or an empty
// text. Over its quota a server uses more than its total, and the panel's
// percent may then pass 100, rounded to a whole percent at most; a percent
// above 100 that used and total cannot give is garbled.
std::string CheckPercent(const UsageValues& values, double exact) {
    if (values.panel_percent <= 100) return "";
    if (values.used <= values.total) return "percent is above 100";
    if (std::abs(values.panel_percent - exact) >= 1) return "percent does not follow from used and total";
    return "";
}

}  // namespace

UsageReading ReadUsage(std::u16string_view body, UsageKind kind) {
    const std::u16string tag(UsageTag(kind));
    const std::u16string open = u"<" + tag + u">";
    const std::u16string close = u"</" + tag + u">";
    // Built by appending: "literal" + std::string trips a false -Wrestrict in g++ 12 at -O3.
    auto fail = [&](std::string_view what, std::string_view more = {}) {
        std::string problem(1, '<');
        problem.append(tag.begin(), tag.end()).append("> ").append(what).append(more);
        return UsageReading{std::nullopt, problem};
    };

    const std::size_t start = body.find(open);
    if (start == std::u16string_view::npos) return fail("is missing from the answer");
    if (body.find(open, start + open.size()) != std::u16string_view::npos) return fail("appears more than once");
    const std::size_t content = start + open.size();
    const std::size_t end = body.find(close, content);
    if (end == std::u16string_view::npos) return fail("is not closed");

    //  <bw>  total , used , free , percent  </bw>
    std::u16string_view fields[kFieldCount];
    std::u16string_view rest = body.substr(content, end - content);
    std::size_t count = 0;
    while (true) {
        const std::size_t comma = rest.find(u',');
        if (count < kFieldCount) fields[count] = rest.substr(0, comma);
        ++count;
        if (comma == std::u16string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    if (count != kFieldCount) {
        std::string holds("holds ");
        holds.append(std::to_string(count)).append(count == 1 ? " field" : " fields").append(" instead of 4");
        return fail(holds);
    }

    UsageValues values;
    std::uint64_t* bytes[] = {&values.total, &values.used, &values.free};
    for (std::size_t i = 0; i < 3; ++i) {
        if (auto wrong = ReadBytes(fields[i], *bytes[i]); !wrong.empty()) {
            return fail(kFieldNames[i], " " + wrong);
        }
    }
    if (auto wrong = ReadPercent(fields[3], values.panel_percent); !wrong.empty()) {
        return fail(kFieldNames[3], " " + wrong);
    }
    // Used above a total of 0 gives no percent at all.
    if (values.total == 0 && values.used > 0) return fail("used is above total");
    const double exact = values.total > 0
                             ? static_cast<double>(values.used) * 100 / static_cast<double>(values.total)
                             : values.panel_percent;
    if (auto wrong = CheckPercent(values, exact); !wrong.empty()) return fail(wrong);
    // The panel rounds its percent; ours is exact to two decimals.
    values.percent = TwoDecimals(exact);
    return UsageReading{values, ""};
}

}  // namespace orbenix
