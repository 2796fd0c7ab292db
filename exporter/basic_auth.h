#pragma once
// Basic authentication against the bcrypt hashes of the web configuration.
// bcrypt is slow on purpose, so it runs on a small bounded pool of its own:
// a flood of wrong passwords waits for that pool and never for the threads
// that serve /metrics or probes. A verified pair is remembered as a keyed
// hash (never the password), so a scrape every 15 s costs one bcrypt, not one
// per scrape.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "exporter/web_config.h"

namespace orbenix::exporter {

enum class AuthVerdict {
    Allowed,
    Denied,  // no credentials, a malformed header, an unknown user or a wrong password
    Busy,    // the password pool's queue is full: answer 503, check nothing
};

// Threads that run password checks, with a bounded queue. It outlives
// reloads; the destructor lets the queued jobs run and joins the threads.
class PasswordPool {
public:
    PasswordPool(int threads, std::size_t queue_bound);
    ~PasswordPool();
    PasswordPool(const PasswordPool&) = delete;
    PasswordPool& operator=(const PasswordPool&) = delete;

    // False (and the job dropped) when the queue is full.
    bool Post(std::function<void()> job);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class BasicAuth {
public:
    // No users: every request is allowed.
    BasicAuth(std::vector<BasicAuthUser> users, std::shared_ptr<PasswordPool> pool);
    ~BasicAuth();

    bool enabled() const;

    // `authorization` is the Authorization header's value, nullopt when the
    // request has none. Calls `done` exactly once: at once when the verdict
    // needs no bcrypt (no users, no or a malformed header, a remembered pair,
    // a full queue), else on a pool thread. `done` must not block.
    void Check(std::optional<std::string_view> authorization, std::function<void(AuthVerdict)> done) const;

private:
    struct State;
    std::shared_ptr<State> state_;  // shared with the pool's jobs, which may outlive this object
};

}  // namespace orbenix::exporter
