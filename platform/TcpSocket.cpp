#include "TcpSocket.h"

#include <cerrno>
#include <system_error>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hvn::platform {

namespace {

[[noreturn]] void throwErrno(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// Binds and listens on one address. False with errno set when bind fails; listen failures
// throw.
bool bindAndListen(int fd, const sockaddr *address, socklen_t length, int backlog)
{
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, address, length) != 0)
        return false;
    if (::listen(fd, backlog) != 0)
        throwErrno("listen");
    return true;
}

} // namespace

WaitResult waitReadable(int fd, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeout.count() < 0;
    const auto deadline = Clock::now() + (unlimited ? std::chrono::milliseconds(0) : timeout);
    for (;;) {
        int waitMs = -1;
        if (!unlimited) {
            // Rounded up: poll counts whole milliseconds, and a wait must never end before
            // the full limit has passed.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        pollfd p{fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, waitMs);
        if (rc > 0)
            return WaitResult::Ready;
        if (rc == 0)
            return WaitResult::Timeout;
        if (errno != EINTR)
            return WaitResult::Error;
    }
}

std::ptrdiff_t recvSome(int fd, void *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, 0);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

bool sendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void closeAfterPeer(UniqueFd &fd)
{
    if (!fd)
        return;
    // The peer's end of stream has arrived when the connection is in CLOSE-WAIT; nothing is
    // unread when the receive queue is empty. A shutdown of the reading side changes neither.
    tcp_info info{};
    socklen_t infoSize = sizeof info;
    int unread = 0;
    const bool peerDone = ::getsockopt(fd.get(), IPPROTO_TCP, TCP_INFO, &info, &infoSize) == 0 &&
                          info.tcpi_state == TCP_CLOSE_WAIT && ::ioctl(fd.get(), FIONREAD, &unread) == 0 &&
                          unread == 0;
    if (!peerDone) {
        const linger abort{1, 0};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    fd.reset();
}

UniqueFd connectTcp(const std::string &host, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    const std::string service = std::to_string(port);
    const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0)
        throw std::system_error(EHOSTUNREACH, std::generic_category(),
                                "cannot resolve " + host + ": " + ::gai_strerror(rc));
    int lastErrno = ECONNREFUSED;
    for (addrinfo *ai = list; ai; ai = ai->ai_next) {
        UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol));
        if (!fd) {
            lastErrno = errno;
            continue;
        }
        int r;
        do {
            r = ::connect(fd.get(), ai->ai_addr, ai->ai_addrlen);
        } while (r < 0 && errno == EINTR);
        if (r == 0) {
            ::freeaddrinfo(list);
            const int one = 1;
            ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        lastErrno = errno;
    }
    ::freeaddrinfo(list);
    errno = lastErrno;
    throwErrno("connect");
}

UniqueFd listenTcp(std::uint16_t port, int backlog)
{
    const int one = 1;
    UniqueFd fd(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd) {
        const int zero = 0;
        ::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
        ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in6 addr{};
        addr.sin6_family = AF_INET6;
        addr.sin6_addr = in6addr_any;
        addr.sin6_port = htons(port);
        if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            if (::listen(fd.get(), backlog) != 0)
                throwErrno("listen");
            return fd;
        }
        if (errno != EAFNOSUPPORT && errno != EADDRNOTAVAIL)
            throwErrno("bind");
    } else if (errno != EAFNOSUPPORT) {
        throwErrno("socket");
    }

    fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        throwErrno("socket");
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throwErrno("bind");
    if (::listen(fd.get(), backlog) != 0)
        throwErrno("listen");
    return fd;
}

std::vector<UniqueFd> listenLoopback(std::uint16_t port, int backlog)
{
    // With port 0 the IPv4 socket picks the port, and ::1 may hold it already for another
    // program: then the pair is tried again on a new port.
    constexpr int kAttempts = 20;
    for (int attempt = 0;; ++attempt) {
        std::vector<UniqueFd> listeners;
        UniqueFd v4(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!v4)
            throwErrno("socket");
        sockaddr_in addr4{};
        addr4.sin_family = AF_INET;
        addr4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr4.sin_port = htons(port);
        if (!bindAndListen(v4.get(), reinterpret_cast<sockaddr *>(&addr4), sizeof addr4, backlog))
            throwErrno("bind");
        const std::uint16_t bound = localPort(v4.get());
        listeners.push_back(std::move(v4));

        UniqueFd v6(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!v6) {
            if (errno == EAFNOSUPPORT)
                return listeners;
            throwErrno("socket");
        }
        const int one = 1;
        ::setsockopt(v6.get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        sockaddr_in6 addr6{};
        addr6.sin6_family = AF_INET6;
        addr6.sin6_addr = in6addr_loopback;
        addr6.sin6_port = htons(bound);
        if (bindAndListen(v6.get(), reinterpret_cast<sockaddr *>(&addr6), sizeof addr6, backlog)) {
            listeners.push_back(std::move(v6));
            return listeners;
        }
        if (errno == EADDRNOTAVAIL || errno == EAFNOSUPPORT)
            return listeners; // no IPv6 loopback on this machine
        if (errno != EADDRINUSE || port != 0 || attempt + 1 >= kAttempts)
            throwErrno("bind");
    }
}

std::uint16_t localPort(int fd)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        throwErrno("getsockname");
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
}

} // namespace hvn::platform
