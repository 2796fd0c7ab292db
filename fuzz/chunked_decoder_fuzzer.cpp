// libFuzzer target: the chunked decoder, fed in pieces whose size the first
// byte picks. Decoded data never exceeds the body limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/error.h"
#include "engine/http/chunked_decoder.h"
#include "engine/http/limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = 1 + data[0] % 64;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    orbenix::http::ChunkedDecoder decoder("fuzz.invalid:80");
    std::string body;
    try {
        while (!input.empty() && !decoder.Done()) {
            std::string_view piece = input.substr(0, step);
            const std::size_t before = piece.size();
            decoder.Feed(piece, body);
            const std::size_t used = before - piece.size();
            if (!decoder.Done() && used != before) std::abort();  // unfinished: takes every byte
            input.remove_prefix(used);
            if (decoder.Done()) break;
        }
    } catch (const orbenix::Error&) {
    }
    if (body.size() > orbenix::http::limits::BodyBytes) std::abort();
    return 0;
}
