#include "tests/wine/dbwin_reader.h"

#include <cstring>

namespace orbenix::wine_tests {
namespace {

constexpr DWORD kSectionSize = 4096;

}  // namespace

DbwinReader::DbwinReader()
    : buffer_ready_(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
      data_ready_(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
      section_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize, L"DBWIN_BUFFER")) {
    if (!buffer_ready_ || !data_ready_ || !section_) return;
    view_ = static_cast<const char*>(MapViewOfFile(section_.get(), FILE_MAP_READ, 0, 0, kSectionSize));
    if (view_ == nullptr) return;
    reading_ = std::thread([this] { Read(); });
}

DbwinReader::~DbwinReader() {
    stop_ = true;
    if (reading_.joinable()) reading_.join();
    if (view_ != nullptr) UnmapViewOfFile(view_);
}

// Layout of the section:
//   +0  DWORD  id of the writing process
//   +4  char[] the text, zero-terminated, at most 4092 bytes
void DbwinReader::Read() {
    const DWORD own_process = GetCurrentProcessId();
    SetEvent(buffer_ready_.get());
    while (!stop_) {
        if (WaitForSingleObject(data_ready_.get(), 50) != WAIT_OBJECT_0) continue;
        DWORD process = 0;
        std::memcpy(&process, view_, sizeof(process));
        const char* text = view_ + sizeof(DWORD);
        const std::string line(text, strnlen(text, kSectionSize - sizeof(DWORD)));
        if (process == own_process) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        }
        SetEvent(buffer_ready_.get());
    }
}

std::vector<std::string> DbwinReader::Lines(DWORD quiet_ms) {
    size_t seen = static_cast<size_t>(-1);
    for (int round = 0; round < 50; ++round) {  // bounded: at most 50 quiet periods
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (lines_.size() == seen) return lines_;
            seen = lines_.size();
        }
        Sleep(quiet_ms);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

}  // namespace orbenix::wine_tests
