#pragma once
// One use of Winsock, held for as long as sockets or lookups need it. Winsock
// counts the uses, so it is started once and stays up while any use lives;
// pairing the calls this way keeps WSACleanup out of the DLL's detach, where
// Windows forbids it. Windows-only.
#include <winsock2.h>

#include <mutex>
#include <utility>

namespace orbenix::http {

class WinsockUse {
public:
    WinsockUse() {
        std::lock_guard lock(CountLock());
        owned_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0;
    }
    ~WinsockUse() {
        if (!owned_) return;
        std::lock_guard lock(CountLock());
        WSACleanup();
    }
    WinsockUse(WinsockUse&& other) noexcept : owned_(std::exchange(other.owned_, false)) {}
    WinsockUse& operator=(WinsockUse&&) = delete;
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;

    // False when Winsock could not be started (check right after construction).
    bool started() const { return owned_; }

private:
    // Checks run on several host threads at once, and Wine counts the uses
    // without a lock: a lost count lets the last WSACleanup come early, and
    // that closes every socket of the process (error 10038 in the other
    // threads). One lock over our own calls keeps the count right.
    static std::mutex& CountLock() {
        static std::mutex lock;  // constant-initialised: safe under the loader lock
        return lock;
    }

    WSADATA data_{};
    bool owned_ = false;
};

}  // namespace orbenix::http
