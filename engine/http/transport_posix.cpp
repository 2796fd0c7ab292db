// TCP over POSIX sockets: non-blocking, every wait bounded by the deadline.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>
#include <utility>

#include "engine/http/http_errors.h"
#include "engine/http/stream.h"
#include "engine/http/transport_errors.h"
#include "engine/http/within_deadline.h"

namespace orbenix::http {
namespace {

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Socket& operator=(Socket&&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

struct AddressList {
    addrinfo* head = nullptr;
    int status = 0;      // getaddrinfo's result
    int system_error = 0;
    ~AddressList() {
        if (head != nullptr) freeaddrinfo(head);
    }
};

void Lookup(const std::string& host, const std::string& port, int flags, AddressList& into) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    into.status = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &into.head);
    into.system_error = errno;
}

// Address literals resolve at once. Names are looked up on a thread of their
// own so that a slow resolver cannot hold the send past its deadline; the
// thread finishes on its own and frees what it found.
std::shared_ptr<AddressList> Resolve(const std::string& host, std::uint16_t port, const Deadline& deadline) {
    auto literal = std::make_shared<AddressList>();
    Lookup(host, std::to_string(port), AI_NUMERICHOST, *literal);
    if (literal->status == 0) return literal;

    auto found = RunWithinDeadline(
        [host, port] {
            auto result = std::make_shared<AddressList>();
            Lookup(host, std::to_string(port), 0, *result);
            return result;
        },
        deadline);
    if (!found) throw TimedOutError(deadline, "resolving", host);
    return *found;
}

// Waits for `events`; false when the deadline passed first.
bool WaitFor(int fd, short events, const Deadline& deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const auto left = deadline.RemainingMs();
        if (left == 0) return false;
        const int r = ::poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return true;  // let the following call report the error
    }
}

class TcpStream final : public Stream {
public:
    TcpStream(Socket socket, std::string peer) : socket_(std::move(socket)), peer_(std::move(peer)) {}

    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        for (;;) {
            const ssize_t n = ::recv(socket_.get(), buffer, size, 0);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) throw SocketError("Reading from", peer_, std::strerror(errno));
            if (!WaitFor(socket_.get(), POLLIN, deadline)) throw TimedOutError(deadline, "reading from", peer_);
        }
    }

    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::send(socket_.get(), p, size, MSG_NOSIGNAL);
            if (n >= 0) {
                p += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) throw SocketError("Writing to", peer_, std::strerror(errno));
            if (!WaitFor(socket_.get(), POLLOUT, deadline)) throw TimedOutError(deadline, "writing to", peer_);
        }
    }

    const std::string& PeerName() const override { return peer_; }

private:
    Socket socket_;
    std::string peer_;
};

// One address: a connected socket, or the errno that stopped it (0: the deadline).
std::optional<Socket> TryConnect(const addrinfo& address, const Deadline& deadline, int& error) {
    Socket s(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
    if (s.get() < 0) {
        error = errno;
        return std::nullopt;
    }
    if (::connect(s.get(), address.ai_addr, address.ai_addrlen) == 0) return s;
    if (errno != EINPROGRESS) {
        error = errno;
        return std::nullopt;
    }
    if (!WaitFor(s.get(), POLLOUT, deadline)) {
        error = 0;
        return std::nullopt;
    }
    socklen_t length = sizeof error;
    if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return std::nullopt;
    return s;
}

}  // namespace

std::unique_ptr<Stream> ConnectTcp(const std::string& host, std::uint16_t port, const Deadline& deadline) {
    const std::string peer = PeerText(host, port);
    const auto addresses = Resolve(host, port, deadline);
    if (addresses->status != 0) {
        throw ResolveError(host, addresses->status == EAI_SYSTEM ? std::strerror(addresses->system_error)
                                                                 : ::gai_strerror(addresses->status));
    }
    // Every address is tried in the resolver's order; the first error is reported.
    int first_error = -1;
    for (const addrinfo* a = addresses->head; a != nullptr; a = a->ai_next) {
        if (deadline.Expired()) break;
        int error = 0;
        if (auto socket = TryConnect(*a, deadline, error)) {
            return std::make_unique<TcpStream>(std::move(*socket), peer);
        }
        if (first_error == -1 || first_error == 0) first_error = error;
    }
    if (first_error <= 0) throw TimedOutError(deadline, "connecting to", peer);
    if (first_error == ECONNREFUSED) throw ConnectRefusedError(peer);
    throw ConnectError(peer, std::strerror(first_error));
}

}  // namespace orbenix::http
