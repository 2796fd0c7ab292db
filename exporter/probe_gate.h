#pragma once
// Bounds the probes that run at once: a probe waits a while for a free slot
// and is turned away when none comes free.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orbenix::exporter {

class ProbeGate {
public:
    explicit ProbeGate(int slots) : slots_(slots) {}

    // Held while a probe runs; an empty one (no slot came free) is falsy.
    class Slot {
    public:
        Slot() = default;
        explicit Slot(ProbeGate& gate) : gate_(&gate) {}
        Slot(Slot&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
        Slot& operator=(Slot&&) = delete;
        ~Slot() {
            if (gate_) gate_->Release();
        }
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        ProbeGate* gate_ = nullptr;  // not owned
    };

    Slot Enter(std::chrono::duration<double> wait) {
        std::unique_lock lock(mutex_);
        if (!freed_.wait_for(lock, wait, [&] { return busy_ < slots_; })) return Slot();
        ++busy_;
        return Slot(*this);
    }

    // A reload may change the bound; probes running keep their slots.
    void SetSlots(int slots) {
        {
            std::lock_guard lock(mutex_);
            slots_ = slots;
        }
        freed_.notify_all();
    }

    int slots() const {
        std::lock_guard lock(mutex_);
        return slots_;
    }

private:
    void Release() {
        {
            std::lock_guard lock(mutex_);
            --busy_;
        }
        freed_.notify_one();
    }

    mutable std::mutex mutex_;
    std::condition_variable freed_;
    int slots_;
    int busy_ = 0;
};

}  // namespace orbenix::exporter
