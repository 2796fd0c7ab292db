#include "engine/debug_log.h"

#include <atomic>
#include <cstdio>

#include "core/utf8.h"

namespace orbenix {
namespace {

thread_local DebugSink* thread_sink = nullptr;
std::atomic<bool> to_stderr{false};

}  // namespace

void DebugLog(std::u16string_view line) {
    if (thread_sink != nullptr) {
        thread_sink->Write(line);
        return;
    }
    PlatformDebugLog(line);
    if (to_stderr.load(std::memory_order_relaxed)) {
        const std::string text = Utf8FromText(line) + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

void SetDebugLogToStderr(bool on) { to_stderr.store(on, std::memory_order_relaxed); }

CapturingDebugSink::CapturingDebugSink() : previous_(thread_sink) { thread_sink = this; }
CapturingDebugSink::~CapturingDebugSink() { thread_sink = previous_; }

}  // namespace orbenix
