// The threads that run bcrypt, below the priority of the rest of the process.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

#include "exporter/basic_auth.h"

namespace orbenix::exporter {
namespace {

// How much nicer than the process a password thread runs: a flood of wrong
// passwords then takes only the time the scrapes and probes leave over.
constexpr int kNicer = 10;

// The queue the threads share. The threads hold it too, so that the pool can
// be destroyed even from one of its own jobs.
class JobQueue {
public:
    explicit JobQueue(std::size_t bound) : bound_(bound) {}

    bool Post(std::function<void()> job) {
        {
            const std::lock_guard lock(mutex_);
            if (stopping_ || jobs_.size() >= bound_) return false;
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
        return true;
    }

    // Runs jobs until Stop() and an empty queue.
    void Serve() {
        while (true) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            try {
                job();
            } catch (...) {
                // A job's failure is its own; the thread serves the next one.
            }
        }
    }

    void Stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
    }

private:
    const std::size_t bound_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
};

void LowerThisThreadsPriority() {
    // On Linux a thread id names just that thread, so only the pool slows down.
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (errno == 0 && now < 19) setpriority(PRIO_PROCESS, self, std::min(19, now + kNicer));
}

}  // namespace

struct PasswordPool::Impl {
    std::shared_ptr<JobQueue> queue;
    std::vector<std::thread> threads;
};

PasswordPool::PasswordPool(int threads, std::size_t queue_bound) : impl_(std::make_unique<Impl>()) {
    impl_->queue = std::make_shared<JobQueue>(queue_bound);
    for (int i = 0; i < threads; ++i) {
        impl_->threads.emplace_back([queue = impl_->queue] {
            LowerThisThreadsPriority();
            queue->Serve();
        });
    }
}

PasswordPool::~PasswordPool() {
    impl_->queue->Stop();
    for (std::thread& thread : impl_->threads) {
        // A job that dropped the last owner of the pool runs on one of its threads.
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else {
            thread.join();
        }
    }
}

bool PasswordPool::Post(std::function<void()> job) { return impl_->queue->Post(std::move(job)); }

}  // namespace orbenix::exporter
