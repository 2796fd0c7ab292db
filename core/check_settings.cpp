#include "core/check_settings.h"

#include <atomic>

namespace orbenix {
namespace {

CheckSettings& ThreadLocalSettings() {
    thread_local CheckSettings settings;
    return settings;
}

std::atomic<CheckSettingsStorage> storage{&ThreadLocalSettings};

}  // namespace

CheckSettings& ThreadCheckSettings() { return storage.load(std::memory_order_acquire)(); }

void SetCheckSettingsStorage(CheckSettingsStorage replacement) {
    storage.store(replacement != nullptr ? replacement : &ThreadLocalSettings, std::memory_order_release);
}

}  // namespace orbenix
