#pragma once
// Reads the system debugger output as a debug-output viewer does: through
// the shared 4 KiB section DBWIN_BUFFER (a process id, then the text) and
// the events DBWIN_BUFFER_READY and DBWIN_DATA_READY. Keeps the lines that
// this process writes, exactly as written.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/com_client_support.h"

namespace orbenix::wine_tests {

class DbwinReader {
public:
    DbwinReader();  // starts reading; ready() tells whether it could
    DbwinReader(const DbwinReader&) = delete;
    DbwinReader& operator=(const DbwinReader&) = delete;
    ~DbwinReader();

    bool ready() const { return reading_.joinable(); }
    // The lines read so far, after waiting until nothing new arrived for `quiet_ms`.
    std::vector<std::string> Lines(DWORD quiet_ms = 300);

private:
    void Read();

    UniqueHandle buffer_ready_;
    UniqueHandle data_ready_;
    UniqueHandle section_;
    const char* view_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::thread reading_;
};

}  // namespace orbenix::wine_tests
