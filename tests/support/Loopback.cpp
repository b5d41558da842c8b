#include "Loopback.h"

#include <cerrno>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "TcpSocket.h"

namespace hvn::test {

std::uint16_t freePort()
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind");
    return platform::localPort(fd.get());
}

platform::UniqueFd connectLoopback(std::uint16_t port)
{
    return platform::connectTcp("127.0.0.1", port);
}

void sendBytes(int fd, std::string_view bytes)
{
    if (!platform::sendAll(fd, bytes))
        throw std::system_error(errno, std::generic_category(), "send");
}

std::string receiveSome(int fd, std::chrono::milliseconds timeout)
{
    if (platform::waitReadable(fd, timeout) != platform::WaitResult::Ready)
        return {};
    char buffer[256];
    const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool peerClosed(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[256];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || platform::waitReadable(fd, left) != platform::WaitResult::Ready)
            return false;
        if (platform::recvSome(fd, buffer, sizeof buffer) <= 0)
            return true;
    }
}

bool finishAndWaitForClose(int fd, std::chrono::milliseconds timeout)
{
    ::shutdown(fd, SHUT_WR);
    return peerClosed(fd, timeout);
}

} // namespace hvn::test
