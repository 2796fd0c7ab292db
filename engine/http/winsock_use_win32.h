#pragma once
// One use of Winsock, held for as long as sockets or lookups need it. Winsock
// counts the uses, so it is started once and stays up while any use lives;
// pairing the calls this way keeps WSACleanup out of the DLL's detach, where
// Windows forbids it. Windows-only.
#include <winsock2.h>

#include <utility>

namespace orbenix::http {

class WinsockUse {
public:
    WinsockUse() : owned_(WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
    ~WinsockUse() {
        if (owned_) WSACleanup();
    }
    WinsockUse(WinsockUse&& other) noexcept : owned_(std::exchange(other.owned_, false)) {}
    WinsockUse& operator=(WinsockUse&&) = delete;
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;

    // False when Winsock could not be started (check right after construction).
    bool started() const { return owned_; }

private:
    WSADATA data_{};
    bool owned_;
};

}  // namespace orbenix::http
