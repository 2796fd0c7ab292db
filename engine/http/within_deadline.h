#pragma once
// Blocking calls without a time limit of their own (the system resolver) run
// on a thread of their own; the caller waits for the result no longer than
// the send's deadline. A call still running then finishes on its own and its
// result is dropped.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "engine/http/deadline.h"

namespace orbenix::http {

// The result of `work()`, or nothing when the deadline passed first.
template <typename Work>
auto RunWithinDeadline(Work work, const Deadline& deadline) -> std::optional<decltype(work())> {
    using Result = decltype(work());
    struct Shared {
        std::mutex mutex;
        std::condition_variable done_signal;
        std::optional<Result> result;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        Result value = work();
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(value);
        shared->done_signal.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    shared->done_signal.wait_for(lock, std::chrono::milliseconds(deadline.RemainingMs()),
                                 [&] { return shared->result.has_value(); });
    return std::move(shared->result);
}

}  // namespace orbenix::http
