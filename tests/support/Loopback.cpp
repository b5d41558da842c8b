#include "Loopback.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "TcpSocket.h"

namespace hvn::test {

namespace {

// True when the service could listen on port now, on every interface as for agents and on the
// loopback addresses as for the console; the trial listeners close again at once.
bool bindable(std::uint16_t port)
{
    try {
        platform::listenTcp(port, 1);
        platform::listenLoopback(port, 1);
        return true;
    } catch (const std::system_error &) {
        return false;
    }
}

// The lowest port the kernel hands out to outgoing connections.
unsigned ephemeralLow()
{
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0;
    return range >> low ? low : 32768;
}

} // namespace

std::uint16_t freePort()
{
    // The kernel's own choice (bind to port 0) lies in the ephemeral range, where the next
    // outgoing connection of a test running beside this one may take it before the service
    // binds it. Ports below that range are never taken that way, so pick one there, apart
    // for each process and never twice within one.
    static std::mutex mutex;
    static std::set<std::uint16_t> handedOut;
    static std::mt19937 random(std::random_device{}());
    const std::lock_guard lock(mutex);
    const unsigned high = std::min(ephemeralLow(), 65536u);
    const unsigned low = high > 16384 + 1024 ? high - 16384 : 1024;
    if (high > low + 1024) {
        std::uniform_int_distribution<unsigned> pick(low, high - 1);
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const auto port = static_cast<std::uint16_t>(pick(random));
            if (!handedOut.contains(port) && bindable(port)) {
                handedOut.insert(port);
                return port;
            }
        }
    }
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
