#include "exporter/probe_pool.h"

#include <algorithm>

namespace orbenix::exporter {

struct ProbePool::Ticket {
    std::function<void()> job;
};

ProbePool::ProbePool(int slots) : slots_(slots) {}

ProbePool::~ProbePool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    ready_or_stop_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

std::shared_ptr<ProbePool::Ticket> ProbePool::Submit(std::function<void()> job) {
    auto ticket = std::make_shared<Ticket>(Ticket{std::move(job)});
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(ticket);
        PromoteLocked();
    }
    ready_or_stop_.notify_one();
    return ticket;
}

bool ProbePool::Cancel(const std::shared_ptr<Ticket>& ticket) {
    std::lock_guard lock(mutex_);
    const auto found = std::find(waiting_.begin(), waiting_.end(), ticket);
    if (found == waiting_.end()) return false;
    waiting_.erase(found);
    return true;
}

void ProbePool::SetSlots(int slots) {
    {
        std::lock_guard lock(mutex_);
        slots_ = slots;
        PromoteLocked();
    }
    ready_or_stop_.notify_all();
}

int ProbePool::slots() const {
    std::lock_guard lock(mutex_);
    return slots_;
}

void ProbePool::PromoteLocked() {
    while (!waiting_.empty() && running_ < slots_) {
        ready_.push_back(std::move(waiting_.front()));
        waiting_.pop_front();
        ++running_;
        // An idle thread takes it, or a new one: a thread per slot in use at
        // most, and they stay for the next probes.
        if (idle_ > 0) {
            --idle_;
        } else {
            threads_.emplace_back([this] { Work(); });
        }
    }
}

void ProbePool::Work() {
    std::unique_lock lock(mutex_);
    while (true) {
        ready_or_stop_.wait(lock, [&] { return !ready_.empty() || (stopping_ && waiting_.empty()); });
        if (ready_.empty()) return;
        std::shared_ptr<Ticket> ticket = std::move(ready_.front());
        ready_.pop_front();
        lock.unlock();
        ticket->job();
        ticket.reset();
        lock.lock();
        --running_;
        ++idle_;
        PromoteLocked();
    }
}

}  // namespace orbenix::exporter
