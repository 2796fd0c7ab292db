#pragma once
// One overall deadline per send: connect, proxy handshake, TLS and the whole
// response share it.
#include <chrono>
#include <cstdint>

namespace orbenix::http {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;
    explicit Deadline(std::chrono::milliseconds budget)
        : budget_(budget), end_(Clock::now() + budget) {}

    bool Expired() const { return Clock::now() >= end_; }
    // Milliseconds left, at least 0 (for poll/select timeouts).
    std::int64_t RemainingMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now());
        return left.count() > 0 ? left.count() : 0;
    }
    std::chrono::milliseconds budget() const { return budget_; }

private:
    std::chrono::milliseconds budget_;
    Clock::time_point end_;
};

}  // namespace orbenix::http
