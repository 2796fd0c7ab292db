// TCP transport over Winsock: name resolution, non-blocking connect to every
// address in turn, reads and writes bounded by the send's deadline.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/stream.h"
#include "engine/http/system_error_win32.h"
#include "engine/http/transport_errors.h"
#include "engine/http/winsock_use_win32.h"

namespace orbenix::http {
namespace {

class Socket {
public:
    explicit Socket(SOCKET handle) : handle_(handle) {}
    ~Socket() {
        if (handle_ != INVALID_SOCKET) closesocket(handle_);
    }
    Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_SOCKET)) {}
    Socket& operator=(Socket&&) = delete;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return handle_; }

private:
    SOCKET handle_;
};

struct AddressListDeleter {
    void operator()(ADDRINFOW* list) const { FreeAddrInfoW(list); }
};
using AddressList = std::unique_ptr<ADDRINFOW, AddressListDeleter>;

std::string Reason(int code) { return Utf8FromText(SystemErrorText(static_cast<std::uint32_t>(code))); }

enum class Wait { Readable, Writable };

// Waits until the socket is ready or the deadline passes (false). A failed
// connect shows in the exception set, which counts as ready.
bool WaitFor(SOCKET socket, Wait what, const Deadline& deadline) {
    for (;;) {
        const std::int64_t left = deadline.RemainingMs();
        if (left <= 0) return false;
        fd_set ready;
        fd_set failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(socket, &ready);
        FD_SET(socket, &failed);
        timeval timeout{};
        timeout.tv_sec = static_cast<long>(left / 1000);
        timeout.tv_usec = static_cast<long>((left % 1000) * 1000);
        const int count = what == Wait::Readable ? select(0, &ready, nullptr, &failed, &timeout)
                                                 : select(0, nullptr, &ready, &failed, &timeout);
        if (count > 0) return true;
        if (count == SOCKET_ERROR) {
            throw Error(error_numbers::SocketFailed,
                        u"Waiting on a socket failed: " + SystemErrorText(WSAGetLastError()));
        }
    }
}

class TcpStream final : public Stream {
public:
    TcpStream(WinsockUse winsock, Socket socket, std::string peer)
        : winsock_(std::move(winsock)), socket_(std::move(socket)), peer_(std::move(peer)) {}

    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        for (;;) {
            const int got = recv(socket_.get(), static_cast<char*>(buffer), chunk, 0);
            if (got >= 0) return static_cast<std::size_t>(got);
            const int code = WSAGetLastError();
            if (code != WSAEWOULDBLOCK) {
                throw SocketError("Reading from", peer_, Reason(code));
            }
            if (!WaitFor(socket_.get(), Wait::Readable, deadline)) {
                throw TimedOutError(deadline, "reading from", peer_);
            }
        }
    }

    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        const char* next = static_cast<const char*>(data);
        while (size > 0) {
            const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
            const int sent = send(socket_.get(), next, chunk, 0);
            if (sent > 0) {
                next += sent;
                size -= static_cast<std::size_t>(sent);
                continue;
            }
            const int code = WSAGetLastError();
            if (sent == SOCKET_ERROR && code != WSAEWOULDBLOCK) {
                throw SocketError("Writing to", peer_, Reason(code));
            }
            if (!WaitFor(socket_.get(), Wait::Writable, deadline)) {
                throw TimedOutError(deadline, "writing to", peer_);
            }
        }
    }

    const std::string& PeerName() const override { return peer_; }

private:
    WinsockUse winsock_;  // outlives the socket
    Socket socket_;
    std::string peer_;
};

// A socket that processes the host starts do not inherit (a child holding a
// copy would keep the connection open after we close it). Windows 7 before
// SP1 refuses WSA_FLAG_NO_HANDLE_INHERIT (WSAEINVAL); there the flag is
// cleared afterwards.
Socket OpenSocket(const ADDRINFOW& address) {
    constexpr DWORD flags = WSA_FLAG_OVERLAPPED;  // what socket() gives
    SOCKET handle = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol,
                               nullptr, 0, flags | WSA_FLAG_NO_HANDLE_INHERIT);
    if (handle == INVALID_SOCKET && WSAGetLastError() == WSAEINVAL) {
        handle = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr,
                            0, flags);
        if (handle != INVALID_SOCKET) {
            SetHandleInformation(reinterpret_cast<HANDLE>(handle), HANDLE_FLAG_INHERIT, 0);
        }
    }
    return Socket(handle);
}

// One connect attempt. Returns the connected socket, or an invalid one with
// `code` set (WSAETIMEDOUT when the deadline passed).
Socket TryConnect(const ADDRINFOW& address, const Deadline& deadline, int& code) {
    Socket socket = OpenSocket(address);
    if (socket.get() == INVALID_SOCKET) {
        code = WSAGetLastError();
        return socket;
    }
    u_long non_blocking = 1;
    if (ioctlsocket(socket.get(), FIONBIO, &non_blocking) == SOCKET_ERROR) {
        code = WSAGetLastError();
        return Socket(INVALID_SOCKET);
    }
    // Requests go out in few writes; do not let them wait for acknowledgements.
    const BOOL no_delay = TRUE;
    setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
               sizeof no_delay);
    if (connect(socket.get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) {
        code = 0;
    } else {
        code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) return Socket(INVALID_SOCKET);
        if (!WaitFor(socket.get(), Wait::Writable, deadline)) {
            code = WSAETIMEDOUT;
            return Socket(INVALID_SOCKET);
        }
        int result = 0;
        int length = sizeof result;
        if (getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result),
                       &length) == SOCKET_ERROR) {
            result = WSAGetLastError();
        }
        code = result;
        if (code != 0) return Socket(INVALID_SOCKET);
    }
    return socket;
}

}  // namespace

std::unique_ptr<Stream> ConnectTcp(const std::string& host, std::uint16_t port,
                                   const Deadline& deadline) {
    WinsockUse winsock;
    if (!winsock.started()) throw Error(error_numbers::SocketFailed, u"Windows Sockets could not be started");
    const std::string peer = PeerText(host, port);

    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const std::u16string wide_host = TextFromUtf8(host);
    const std::u16string wide_port = TextFromUtf8(std::to_string(port));
    ADDRINFOW* raw = nullptr;
    const int status = GetAddrInfoW(reinterpret_cast<const wchar_t*>(wide_host.c_str()),
                                    reinterpret_cast<const wchar_t*>(wide_port.c_str()), &hints,
                                    &raw);
    const AddressList addresses(raw);
    if (status != 0) throw ResolveError(host, Reason(status));
    if (!addresses) throw ResolveError(host, "no address");

    // Every address is tried in the resolver's order; the first error is
    // reported (a timeout only when nothing else went wrong).
    int first_error = -1;
    for (const ADDRINFOW* address = addresses.get(); address != nullptr;
         address = address->ai_next) {
        if (deadline.Expired()) break;
        int error = 0;
        Socket socket = TryConnect(*address, deadline, error);
        if (socket.get() != INVALID_SOCKET) {
            return std::make_unique<TcpStream>(std::move(winsock), std::move(socket), peer);
        }
        if (first_error == -1 || first_error == WSAETIMEDOUT) first_error = error;
    }
    if (first_error == -1 || first_error == WSAETIMEDOUT) {
        throw TimedOutError(deadline, "connecting to", peer);
    }
    if (first_error == WSAECONNREFUSED) throw ConnectRefusedError(peer);
    throw ConnectError(peer, Reason(first_error));
}

}  // namespace orbenix::http
