#include "component/com/thread_records.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/check_options.h"
#include "core/check_settings.h"
#include "core/error.h"

namespace orbenix::com {
namespace {

class SrwGuard {
public:
    explicit SrwGuard(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    SrwGuard(const SrwGuard&) = delete;
    SrwGuard& operator=(const SrwGuard&) = delete;
    ~SrwGuard() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

// One TLS slot pointing at this thread's record; the list owns the records.
template <typename Record>
class ThreadRecords {
public:
    bool Open() {
        slot_ = TlsAlloc();
        return slot_ != TLS_OUT_OF_INDEXES;
    }

    Record& Current() {
        if (auto* record = static_cast<Record*>(TlsGetValue(slot_))) return *record;
        auto record = std::make_unique<Record>();
        if (!TlsSetValue(slot_, record.get())) throw Error(errors::OutOfMemory);
        SrwGuard guard(lock_);
        records_.push_back(std::move(record));
        return *records_.back();
    }

    void EndThread() {
        auto* record = static_cast<Record*>(TlsGetValue(slot_));
        if (record == nullptr) return;
        TlsSetValue(slot_, nullptr);
        std::unique_ptr<Record> gone;
        SrwGuard guard(lock_);
        auto found = std::find_if(records_.begin(), records_.end(),
                                  [record](const std::unique_ptr<Record>& owned) { return owned.get() == record; });
        if (found != records_.end()) {
            gone = std::move(*found);
            records_.erase(found);
        }
    }

    void Close(bool process_ending) {
        if (slot_ == TLS_OUT_OF_INDEXES) return;
        if (process_ending) {
            // Other threads were stopped wherever they were: leave their records.
            for (auto& owned : records_) (void)owned.release();
        }
        records_.clear();
        TlsFree(slot_);
        slot_ = TLS_OUT_OF_INDEXES;
    }

private:
    DWORD slot_ = TLS_OUT_OF_INDEXES;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<std::unique_ptr<Record>> records_;
};

ThreadRecords<CheckSettings> settings_records;
ThreadRecords<CheckOptions> options_records;

CheckSettings& DllCheckSettings() { return settings_records.Current(); }
CheckOptions& DllCheckOptions() { return options_records.Current(); }

}  // namespace

bool OpenThreadRecords() {
    if (!settings_records.Open() || !options_records.Open()) return false;
    SetCheckSettingsStorage(&DllCheckSettings);
    SetCheckOptionsStorage(&DllCheckOptions);
    return true;
}

void EndThreadRecords() {
    settings_records.EndThread();
    options_records.EndThread();
}

void CloseThreadRecords(bool process_ending) {
    SetCheckSettingsStorage(nullptr);
    SetCheckOptionsStorage(nullptr);
    settings_records.Close(process_ending);
    options_records.Close(process_ending);
}

}  // namespace orbenix::com
