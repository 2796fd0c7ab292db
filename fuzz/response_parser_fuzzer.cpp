// libFuzzer target: the response parser. The first byte picks the size of
// the pieces the rest is fed in; a numbered Error is a fine outcome, a crash,
// a hang or a body beyond the limit is not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/error.h"
#include "engine/http/limits.h"
#include "engine/http/response_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    orbenix::http::ResponseParser parser("fuzz.invalid:80");
    try {
        bool complete = false;
        while (!input.empty() && !complete) {
            complete = parser.Feed(input.substr(0, step));
            input.remove_prefix(std::min(step, input.size()));
        }
        if (!complete) parser.FinishAtClose();
        const auto& response = parser.response();
        if (!parser.Complete() || response.body.size() > orbenix::http::limits::BodyBytes ||
            response.status < 200 || response.status > 999 || response.headers.size() > orbenix::http::limits::HeaderLines) {
            std::abort();
        }
    } catch (const orbenix::Error&) {
    }
    return 0;
}
