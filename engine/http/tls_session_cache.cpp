#include "engine/http/tls_session_cache.h"

#include <algorithm>

#include "engine/http/http_component.h"

namespace orbenix::http {

std::string ProxyRoute(const ProxySettings& proxy) {
    if (proxy.kind == ProxyNone) return {};
    std::string route = std::to_string(proxy.kind) + " " + proxy.host + " " + std::to_string(proxy.port);
    if (proxy.authenticate) route += " " + proxy.username;
    return route;
}

void TlsSessionCache::Store(const TlsSessionKey& key, std::shared_ptr<void> session, std::chrono::seconds lifetime,
                            Clock::time_point now) {
    const std::chrono::seconds keep = std::min(lifetime, bounds_.age);
    if (!session || keep <= std::chrono::seconds::zero() || bounds_.entries == 0) return;
    const std::lock_guard lock(mutex_);
    if (!entries_.contains(key)) {
        std::erase_if(entries_, [now](const auto& entry) { return entry.second.expires <= now; });
        if (entries_.size() >= bounds_.entries) {
            entries_.erase(std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
                return a.second.stored < b.second.stored;
            }));
        }
    }
    entries_[key] = Entry{std::move(session), now, now + keep};
}

std::shared_ptr<void> TlsSessionCache::Find(const TlsSessionKey& key, Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) return nullptr;
    if (found->second.expires <= now) {
        entries_.erase(found);
        return nullptr;
    }
    return found->second.session;
}

void TlsSessionCache::Forget(const TlsSessionKey& key) {
    const std::lock_guard lock(mutex_);
    entries_.erase(key);
}

void TlsSessionCache::Clear() {
    const std::lock_guard lock(mutex_);
    entries_.clear();
}

std::size_t TlsSessionCache::Size() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

TlsSessionCache& ProcessTlsSessions() {
    static TlsSessionCache cache(TlsSessionCache::Bounds{});
    return cache;
}

}  // namespace orbenix::http
