#pragma once
// The threads probes run on, at most `slots` at once. A probe that finds
// every slot taken waits in line until one comes free or its caller takes it
// back (the wait for a slot is bounded by the caller's timer, not here).
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orbenix::exporter {

class ProbePool {
public:
    explicit ProbePool(int slots);
    // Runs what is in line, then joins the threads.
    ~ProbePool();
    ProbePool(const ProbePool&) = delete;
    ProbePool& operator=(const ProbePool&) = delete;

    struct Ticket;  // one submitted job

    // Starts `job` on a worker when a slot is free, else puts it in line.
    std::shared_ptr<Ticket> Submit(std::function<void()> job);
    // Takes a job out of line: true when it had not started (and never will).
    bool Cancel(const std::shared_ptr<Ticket>& ticket);

    // A reload may change the bound; running jobs keep their slots.
    void SetSlots(int slots);
    int slots() const;

private:
    void Work();
    void PromoteLocked();  // moves waiting jobs to ready while slots are free

    mutable std::mutex mutex_;
    std::condition_variable ready_or_stop_;
    std::deque<std::shared_ptr<Ticket>> waiting_;  // in line for a slot
    std::deque<std::shared_ptr<Ticket>> ready_;    // holding a slot, not yet on a thread
    std::vector<std::thread> threads_;
    int slots_;
    int running_ = 0;  // jobs holding a slot (ready or on a thread)
    int idle_ = 0;     // threads waiting with no ready job meant for them
    bool stopping_ = false;
};

}  // namespace orbenix::exporter
