#include "lock/LockChannel.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "TcpSocket.h"

namespace hvn::console {

int connectLockPort(int fd, std::int32_t port)
{
    if (port < 0 || port > 65535)
        return EINVAL;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return 0;
    if (errno != EINTR)
        return errno;
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int rc = ::poll(&p, 1, -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0)
            return errno;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return errno;
        return error;
    }
}

bool isLockRefusal(const char *reply, std::ptrdiff_t size)
{
    return size >= 2 && std::toupper(static_cast<unsigned char>(reply[0])) == 'N'
        && std::toupper(static_cast<unsigned char>(reply[1])) == 'G';
}

LockSession::LockSession(Outcome outcome, platform::UniqueFd channel, std::string error)
    : m_outcome(outcome)
    , m_channel(std::move(channel))
    , m_error(std::move(error))
{
}

LockSession LockSession::acquire(std::int32_t port)
{
    platform::UniqueFd channel(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!channel)
        return LockSession(Outcome::SocketFailed, {}, std::strerror(errno));
    if (const int error = connectLockPort(channel.get(), port))
        return LockSession(Outcome::Unreachable, {}, std::strerror(error));
    char reply[kLockReplySize];
    const bool sent = platform::sendAll(channel.get(), "DBREAD\n");
    const std::ptrdiff_t received = sent ? platform::recvSome(channel.get(), reply, sizeof reply) : -1;
    if (received <= 0 || isLockRefusal(reply, received))
        return LockSession(Outcome::Refused, {}, {});
    return LockSession(Outcome::Granted, std::move(channel), {});
}

LockSession::~LockSession()
{
    release();
}

void LockSession::release()
{
    if (m_channel)
        platform::sendAll(m_channel.get(), "END\n");
    m_channel.reset();
}

} // namespace hvn::console
