#pragma once
// The proxy's side of a handshake, played from the fuzzer's bytes over an
// in-memory Stream, and the checks every outcome must pass.
//
//   byte 0:  bits 0-3  the most bytes one Read hands over (1-16; 0 is 4096)
//            bit 6     proxy credentials set (where the target lets the input choose)
//            bit 7     the bytes end in a reset (SocketFailed) instead of a close
//   rest:    what the proxy answers
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/proxy.h"
#include "engine/http/proxy_handshake.h"
#include "engine/http/stream.h"

namespace orbenix::fuzz {

namespace codes = http::error_numbers;

// Plays the proxy's bytes; a Read after the end was reported is a fault
// (an unbounded loop waiting on a closed connection).
class ReplayStream final : public http::Stream {
public:
    ReplayStream(std::string_view bytes, std::size_t piece, bool reset) : rest_(bytes), piece_(piece), reset_(reset) {}
    std::size_t Read(void* buffer, std::size_t size, const http::Deadline&) override {
        if (ended_ || size == 0) std::abort();
        if (rest_.empty()) {
            ended_ = true;
            if (reset_) throw Error(codes::SocketFailed, u"Connection reset by the fuzzer");
            return 0;
        }
        const std::size_t n = std::min({size, piece_, rest_.size()});
        std::memcpy(buffer, rest_.data(), n);
        rest_.remove_prefix(n);
        consumed_ += n;
        return n;
    }
    void Write(const void*, std::size_t size, const http::Deadline&) override {
        written_ += size;
        if (written_ > 4096) std::abort();  // a handshake or one request, never more
    }
    const std::string& PeerName() const override { return peer_; }
    std::size_t consumed() const { return consumed_; }
    bool reset() const { return reset_; }

private:
    std::string_view rest_;
    std::size_t piece_;
    bool reset_;
    bool ended_ = false;
    std::size_t consumed_ = 0;
    std::size_t written_ = 0;
    std::string peer_ = "127.0.0.1:1080";
};

struct Replay {
    std::string_view bytes;
    std::size_t piece = 4096;
    bool credentials = false;
    bool reset = false;
};

inline Replay ReadControl(const std::uint8_t* data, std::size_t size) {
    Replay r;
    if (size == 0) return r;
    r.bytes = std::string_view(reinterpret_cast<const char*>(data + 1), size - 1);
    r.piece = (data[0] & 0x0f) == 0 ? 4096 : (data[0] & 0x0f);
    r.credentials = (data[0] & 0x40) != 0;
    r.reset = (data[0] & 0x80) != 0;
    return r;
}

enum class Credentials { Never, Chosen, Always };

inline http::ProxySettings Proxy(std::int32_t kind, bool credentials) {
    http::ProxySettings p;
    p.kind = kind;
    p.host = "127.0.0.1";
    p.port = 1080;
    p.authenticate = credentials;
    if (credentials) {
        p.username = "pxuser";
        p.password = "secret";
    }
    return p;
}

inline http::Deadline FuzzDeadline() { return http::Deadline(std::chrono::seconds(60)); }

// True when an error text shows a credential the proxy did not itself send back.
inline bool TellsCredentials(const std::string& text, std::string_view reply) {
    for (const std::string_view secret : {"secret", "pxuser"}) {
        if (text.find(secret) != std::string::npos && reply.find(secret) == std::string_view::npos) return true;
    }
    return false;
}

// Error texts end up in the one line the host shows.
inline bool HasControl(const std::string& text) {
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

// A refusal or a broken reply: a numbered proxy error whose text names the
// proxy, never the credentials, and holds no control character of the reply.
inline void CheckRefusal(const Error& e, const http::proxy::Handshake& handshake, const Replay& replay) {
    const bool proxy_error = e.number() == codes::ProxyFailed || e.number() == codes::ProxyAuthFailed;
    if (!proxy_error && !(replay.reset && e.number() == codes::SocketFailed)) std::abort();
    const std::string text = Utf8FromText(e.description());
    if (proxy_error && !text.starts_with(handshake.proxy + " ")) std::abort();
    if (TellsCredentials(text, replay.bytes)) std::abort();
    if (HasControl(text)) std::abort();
}

// Runs `open(stream, proxy, target, deadline, handshake)` on the input.
// Returns the bytes the handshake consumed when it opened the tunnel, or
// -1 after a sound refusal.
template <typename Open>
long PlayHandshake(const std::uint8_t* data, std::size_t size, std::int32_t kind, Credentials credentials,
                   const http::Target& target, Open open) {
    const Replay replay = ReadControl(data, size);
    const bool authenticate =
        credentials == Credentials::Always || (credentials == Credentials::Chosen && replay.credentials);
    const http::ProxySettings proxy = Proxy(kind, authenticate);
    const http::proxy::Handshake handshake = http::proxy::DescribeHandshake(proxy, target);
    ReplayStream stream(replay.bytes, replay.piece, replay.reset);
    try {
        open(stream, proxy, target, FuzzDeadline(), handshake);
    } catch (const Error& e) {
        CheckRefusal(e, handshake, replay);
        return -1;
    }
    return static_cast<long>(stream.consumed());
}

}  // namespace orbenix::fuzz
