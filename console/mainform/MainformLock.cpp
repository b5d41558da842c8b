// The client side of the console lock channel: "DBREAD\n" asks the service for the database
// lock, any reply but "NG" grants it, "END\n" gives it back.
#include "mainform/Mainform.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "TcpSocket.h"
#include "app/MessageBoxes.h"

namespace hvn::console {

namespace {

constexpr std::size_t kReplySize = 1025;

// connect() that sees an interrupted connect through to its end. 0 on success, else errno.
int connectLoopback(int fd, std::int32_t port)
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

bool isRefusal(const char *reply, std::ptrdiff_t size)
{
    return size >= 2 && std::toupper(static_cast<unsigned char>(reply[0])) == 'N'
        && std::toupper(static_cast<unsigned char>(reply[1])) == 'G';
}

} // namespace

bool TMainForm::SocketMutexOn()
{
    sock.reset();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        MessageBoxes::warning(this, QStringLiteral("警告"),
                              QStringLiteral("エラー: socket(), Error = %1").arg(error));
        return false;
    }
    sock.reset(fd);

    if (const int error = connectLoopback(sock.get(), RegCtl.GetRegistryInteger("PortNumberConsole"))) {
        RegCtl.SetRegistryString("ErrorMsg", std::strerror(error));
        sock.reset();
        return false;
    }

    char reply[kReplySize];
    const bool sent = platform::sendAll(sock.get(), "DBREAD\n");
    const std::ptrdiff_t received = sent ? platform::recvSome(sock.get(), reply, sizeof reply) : -1;
    if (received <= 0 || isRefusal(reply, received)) {
        sock.reset();
        return false;
    }
    return true;
}

void TMainForm::SocketMutexOff()
{
    if (sock.valid())
        platform::sendAll(sock.get(), "END\n");
    sock.reset();
}

} // namespace hvn::console
