#include "cli/watchdog.h"

namespace orbenix::cli {

Watchdog::Watchdog(std::chrono::milliseconds limit, std::function<void()> on_expiry)
    : on_expiry_(std::move(on_expiry)), thread_([this, limit] { Watch(limit); }) {}

Watchdog::~Watchdog() {
    Disarm();
    thread_.join();
}

void Watchdog::Disarm() {
    std::lock_guard lock(mutex_);
    disarmed_ = true;
    wake_.notify_all();
}

void Watchdog::Watch(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, limit, [this] { return disarmed_; })) return;
    // The lock stays held: whoever disarms now waits until the action is over.
    disarmed_ = true;
    on_expiry_();
}

}  // namespace orbenix::cli
