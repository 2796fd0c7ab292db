// The TLS session cache without sockets: which keys share a session, and the
// count and age bounds, on a clock the test moves.
#include <gtest/gtest.h>

#include "engine/http/http_component.h"
#include "engine/http/tls_session_cache.h"

namespace orbenix::http {
namespace {

using namespace std::chrono_literals;
using Clock = TlsSessionCache::Clock;

const Clock::time_point t0{};

TlsSessionKey Panel() { return {"panel.example", 5656, "panel.example", true, "/etc/ca.pem", ""}; }

std::shared_ptr<void> Session(int id) { return std::make_shared<int>(id); }

int Id(const std::shared_ptr<void>& session) { return session ? *static_cast<int*>(session.get()) : 0; }

TEST(TlsSessionCache, OnlyTheSameKeyFindsTheSession) {
    struct Case {
        const char* name;
        void (*change)(TlsSessionKey&);
        bool found;
    } cases[] = {
        {"the same key", [](TlsSessionKey&) {}, true},
        {"another host", [](TlsSessionKey& k) { k.host = "panel2.example"; k.sni = k.host; }, false},
        {"another port", [](TlsSessionKey& k) { k.port = 443; }, false},
        {"another SNI name", [](TlsSessionKey& k) { k.sni = "other.example"; }, false},
        {"no SNI (address literal)", [](TlsSessionKey& k) { k.sni.clear(); }, false},
        {"verification off", [](TlsSessionKey& k) { k.verify = false; }, false},
        {"another CA file", [](TlsSessionKey& k) { k.ca_file = "/etc/ca2.pem"; }, false},
        {"the system's trust store", [](TlsSessionKey& k) { k.ca_file.clear(); }, false},
        {"through a proxy", [](TlsSessionKey& k) { k.route = "3 proxy.example 3128"; }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TlsSessionCache cache({});
        cache.Store(Panel(), Session(1), 300s, t0);
        TlsSessionKey asked = Panel();
        c.change(asked);
        EXPECT_EQ(Id(cache.Find(asked, t0 + 1s)), c.found ? 1 : 0);
    }
}

TEST(TlsSessionCache, AgeIsTheSmallerOfTheBoundAndTheSessionsOwn) {
    struct Case {
        const char* name;
        std::chrono::seconds lifetime;
        std::chrono::seconds last_found;  // found up to before this age
    } cases[] = {
        {"longer than the bound", 7200s, 600s},
        {"shorter than the bound", 120s, 120s},
        {"exactly the bound", 600s, 600s},
        {"one second", 1s, 1s},
        {"none", 0s, 0s},
        {"negative", -5s, 0s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TlsSessionCache cache({256, 600s});
        cache.Store(Panel(), Session(1), c.lifetime, t0);
        if (c.last_found > 0s) {
            EXPECT_EQ(Id(cache.Find(Panel(), t0 + c.last_found - 1s)), 1);
        }
        EXPECT_EQ(Id(cache.Find(Panel(), t0 + c.last_found)), 0);
        EXPECT_EQ(cache.Size(), 0u) << "an expired session is dropped when asked for";
    }
}

TEST(TlsSessionCache, ANewerSessionReplacesTheOldAndItsAge) {
    TlsSessionCache cache({256, 600s});
    cache.Store(Panel(), Session(1), 600s, t0);
    cache.Store(Panel(), Session(2), 600s, t0 + 500s);
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_EQ(Id(cache.Find(Panel(), t0 + 1000s)), 2);
    EXPECT_EQ(Id(cache.Find(Panel(), t0 + 1100s)), 0);
}

TlsSessionKey Numbered(int n) {
    TlsSessionKey key = Panel();
    key.port = static_cast<std::uint16_t>(1000 + n);
    return key;
}

TEST(TlsSessionCache, CountBoundMakesRoomByTheOldestStoredFirst) {
    TlsSessionCache cache({3, 600s});
    for (int n = 1; n <= 3; ++n) cache.Store(Numbered(n), Session(n), 600s, t0 + std::chrono::seconds(n));
    cache.Store(Numbered(1), Session(11), 600s, t0 + 10s);  // refreshed: now the newest
    cache.Store(Numbered(4), Session(4), 600s, t0 + 11s);
    EXPECT_EQ(cache.Size(), 3u);
    EXPECT_EQ(Id(cache.Find(Numbered(2), t0 + 12s)), 0);
    EXPECT_EQ(Id(cache.Find(Numbered(1), t0 + 12s)), 11);
    EXPECT_EQ(Id(cache.Find(Numbered(3), t0 + 12s)), 3);
    EXPECT_EQ(Id(cache.Find(Numbered(4), t0 + 12s)), 4);
}

TEST(TlsSessionCache, ExpiredEntriesGoBeforeALiveOne) {
    TlsSessionCache cache({2, 600s});
    cache.Store(Numbered(1), Session(1), 600s, t0);
    cache.Store(Numbered(2), Session(2), 10s, t0 + 1s);  // expires at 11 s
    cache.Store(Numbered(3), Session(3), 600s, t0 + 20s);
    EXPECT_EQ(Id(cache.Find(Numbered(1), t0 + 21s)), 1);
    EXPECT_EQ(Id(cache.Find(Numbered(3), t0 + 21s)), 3);
}

TEST(TlsSessionCache, ProxyRouteNamesKindProxyAndUserButNoPassword) {
    const ProxySettings direct;
    ProxySettings connect{ProxyWebStandard, "proxy.example", 3128, false, "", ""};
    ProxySettings socks = connect;
    socks.kind = ProxySocks5;
    ProxySettings other_port = connect;
    other_port.port = 3129;
    ProxySettings alice = connect;
    alice.authenticate = true;
    alice.username = "alice";
    alice.password = "one";
    ProxySettings alice_again = alice;
    alice_again.password = "two";
    ProxySettings bob = alice;
    bob.username = "bob";
    EXPECT_EQ(ProxyRoute(direct), "");
    const std::string routes[] = {ProxyRoute(connect), ProxyRoute(socks), ProxyRoute(other_port), ProxyRoute(alice),
                                  ProxyRoute(bob)};
    for (std::size_t i = 0; i < std::size(routes); ++i) {
        EXPECT_FALSE(routes[i].empty());
        for (std::size_t j = i + 1; j < std::size(routes); ++j) EXPECT_NE(routes[i], routes[j]) << i << " " << j;
    }
    EXPECT_EQ(ProxyRoute(alice), ProxyRoute(alice_again));
    EXPECT_EQ(ProxyRoute(alice).find("one"), std::string::npos);
}

}  // namespace
}  // namespace orbenix::http
