#pragma once
// The check engine's one diagnostic channel: whole lines, no terminator.
// Windows: OutputDebugStringA in the ANSI code page. Elsewhere: nothing, or
// stderr when a caller (orbenix-check -v) asks for it. Tests install a
// capturing sink for their own thread.
#include <string>
#include <string_view>
#include <vector>

namespace orbenix {

class DebugSink {
public:
    virtual ~DebugSink() = default;
    virtual void Write(std::u16string_view line) = 0;
};

// Writes one line to this thread's sink, or to the platform's channel.
void DebugLog(std::u16string_view line);

// Also writes every line (UTF-8, one per line) to stderr. On Windows the
// debugger channel keeps getting the lines as well.
void SetDebugLogToStderr(bool on);

// Collects the lines written on this thread while it is installed.
class CapturingDebugSink final : public DebugSink {
public:
    CapturingDebugSink();
    ~CapturingDebugSink() override;
    CapturingDebugSink(const CapturingDebugSink&) = delete;
    CapturingDebugSink& operator=(const CapturingDebugSink&) = delete;

    void Write(std::u16string_view line) override { lines.emplace_back(line); }
    std::vector<std::u16string> lines;

private:
    DebugSink* previous_;
};

// The platform's own channel (debug_log_win32.cpp / debug_log_posix.cpp).
void PlatformDebugLog(std::u16string_view line);

}  // namespace orbenix
