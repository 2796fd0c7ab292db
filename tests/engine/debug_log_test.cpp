#include <gtest/gtest.h>

#include "engine/debug_log.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace orbenix {
namespace {

TEST(DebugLog, CapturingSinkTakesThisThreadsLinesWhileInstalled) {
    CapturingDebugSink outer;
    {
        CapturingDebugSink inner;
        DebugLog(u"one");
        EXPECT_EQ(inner.lines, std::vector<std::u16string>{u"one"});
    }
    DebugLog(u"two");
    EXPECT_EQ(outer.lines, std::vector<std::u16string>{u"two"});
}

TEST(DebugLog, StderrOnlyWhenAsked) {
    ::testing::internal::CaptureStderr();
    DebugLog(u"quiet");
    SetDebugLogToStderr(true);
    DebugLog(u"[SOLUS CHECKER] caf\u00e9");
    SetDebugLogToStderr(false);
    DebugLog(u"quiet again");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[SOLUS CHECKER] caf\xc3\xa9\n");
}

#ifdef _WIN32
// Reads what OutputDebugStringA hands to a debug monitor: the shared 4 KiB
// buffer holds the writer's process id and the ANSI text with its NUL.
TEST(DebugLog, WindowsLinesReachTheDebugMonitorAsAnsiWithoutTerminator) {
    HANDLE buffer_ready = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    HANDLE data_ready = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
    ASSERT_NE(buffer_ready, nullptr);
    ASSERT_NE(data_ready, nullptr);
    ASSERT_NE(mapping, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096);
    ASSERT_NE(view, nullptr);

    SetEvent(buffer_ready);
    DebugLog(u"[webapp] - Redirect http://127.0.0.1/caf\u00e9");
    ASSERT_EQ(WaitForSingleObject(data_ready, 5000), WAIT_OBJECT_0);
    const auto* bytes = static_cast<const char*>(view);
    DWORD pid = 0;
    memcpy(&pid, bytes, sizeof pid);
    EXPECT_EQ(pid, GetCurrentProcessId());
    EXPECT_EQ(std::string(bytes + sizeof pid), "[webapp] - Redirect http://127.0.0.1/caf\xe9");

    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(data_ready);
    CloseHandle(buffer_ready);
}
#endif

}  // namespace
}  // namespace orbenix
