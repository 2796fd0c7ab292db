#pragma once
// The plugin's last line of defence for its time limit: should a check still
// run when the limit (plus a grace second) has passed, for example in a name
// lookup no deadline reaches, the expiry action reports and ends the process.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace orbenix::cli {

class Watchdog {
public:
    // `on_expiry` runs on the watchdog's thread and is expected not to return
    // (it ends the process); should it return, the watchdog just stops.
    Watchdog(std::chrono::milliseconds limit, std::function<void()> on_expiry);
    ~Watchdog();  // disarms and joins
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // After this the expiry action never starts. When it has started already,
    // this waits until it is over (it normally ends the process first).
    void Disarm();

private:
    void Watch(std::chrono::milliseconds limit);

    std::function<void()> on_expiry_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool disarmed_ = false;
    std::thread thread_;
};

}  // namespace orbenix::cli
