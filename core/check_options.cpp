#include "core/check_options.h"

#include <atomic>

namespace orbenix {
namespace {

CheckOptions& ThreadLocalOptions() {
    thread_local CheckOptions options;
    return options;
}

std::atomic<CheckOptionsStorage> storage{&ThreadLocalOptions};

}  // namespace

CheckOptions& ThreadCheckOptions() { return storage.load(std::memory_order_acquire)(); }

void SetCheckOptionsStorage(CheckOptionsStorage replacement) {
    storage.store(replacement != nullptr ? replacement : &ThreadLocalOptions, std::memory_order_release);
}

}  // namespace orbenix
