// The platform-free reads of the test sockets.
#include <chrono>

#include "tests/support/socks_socket.h"

namespace orbenix::test {
namespace {

int LeftMs(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool TestSocket::ReadExact(std::string& into, std::size_t size, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    into.clear();
    char buffer[512];
    while (into.size() < size) {
        const std::size_t want = size - into.size() < sizeof buffer ? size - into.size() : sizeof buffer;
        const std::size_t got = ReadSome(buffer, want, LeftMs(end));
        if (got == 0) return false;
        into.append(buffer, got);
    }
    return true;
}

std::string TestSocket::ReadUntil(std::string_view end_mark, std::size_t limit, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string text;
    char c = 0;
    while (text.size() < limit) {
        if (ReadSome(&c, 1, LeftMs(end)) == 0) return {};
        text += c;
        if (text.ends_with(end_mark)) return text;
    }
    return {};
}

}  // namespace orbenix::test
