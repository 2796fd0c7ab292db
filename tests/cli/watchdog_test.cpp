#include <gtest/gtest.h>

#include <atomic>

#include "cli/watchdog.h"

namespace orbenix::cli {
namespace {

using namespace std::chrono_literals;

TEST(Watchdog, FiresOnceWhenTheLimitPasses) {
    std::atomic<int> fired{0};
    {
        Watchdog watchdog(20ms, [&] { ++fired; });
        for (int i = 0; i < 500 && fired == 0; ++i) std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(fired, 1);
}

TEST(Watchdog, DisarmedInTimeNeverFires) {
    std::atomic<int> fired{0};
    {
        Watchdog watchdog(10s, [&] { ++fired; });
        watchdog.Disarm();
    }  // joins at once: the wait ends when disarmed, not when the limit passes
    EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace orbenix::cli
