#pragma once
// The process's store of TLS sessions for resumption: bounded in count and
// age, safe to share between threads. The sessions are the TLS backend's own
// objects, held here type-erased (tls_openssl.cpp puts SSL_SESSIONs in); this
// file knows only the key rules and the bounds.
//
// A session is only ever resumed under the key it was made under: the same
// host and port, the same SNI name (none for address literals), the same
// verification mode, the same CA file and the same way through a proxy.
#include <chrono>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "engine/http/proxy.h"

namespace orbenix::http {

struct TlsSessionKey {
    std::string host;  // as in the URL; IPv6 literal without brackets
    std::uint16_t port = 0;
    std::string sni;     // the name sent as SNI; empty for address literals
    bool verify = false; // the caller refuses certificates that do not verify
    std::string ca_file; // empty: the system's trust store
    std::string route;   // ProxyRoute(): empty for a direct connection

    auto operator<=>(const TlsSessionKey&) const = default;
};

// The proxy part of the key: kind, proxy host and port, and the user name
// when the proxy authenticates ("" without a proxy).
std::string ProxyRoute(const ProxySettings& proxy);

class TlsSessionCache {
public:
    using Clock = std::chrono::steady_clock;
    struct Bounds {
        std::size_t entries = 256;
        std::chrono::seconds age{600};
    };

    explicit TlsSessionCache(Bounds bounds) : bounds_(bounds) {}

    // Keeps `session` for `key` (replacing the one there) for the smaller of
    // the age bound and `lifetime`, the session's own (0 or less: not kept).
    // When full, the entry stored longest ago makes room.
    void Store(const TlsSessionKey& key, std::shared_ptr<void> session, std::chrono::seconds lifetime,
               Clock::time_point now);
    // The session stored for `key` while it is in date, else null (an
    // expired one is dropped).
    std::shared_ptr<void> Find(const TlsSessionKey& key, Clock::time_point now);
    void Forget(const TlsSessionKey& key);
    void Clear();
    std::size_t Size() const;

private:
    struct Entry {
        std::shared_ptr<void> session;
        Clock::time_point stored;
        Clock::time_point expires;
    };

    const Bounds bounds_;
    mutable std::mutex mutex_;
    std::map<TlsSessionKey, Entry> entries_;
};

// The cache every resuming send of this process shares (256 sessions, 10 minutes).
TlsSessionCache& ProcessTlsSessions();

}  // namespace orbenix::http
