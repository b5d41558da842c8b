// The client side of the console lock channel: "DBREAD\n" asks the service for the database
// lock, any reply but "NG" grants it, "END\n" gives it back.
#include "mainform/Mainform.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>

#include "TcpSocket.h"
#include "app/MessageBoxes.h"
#include "lock/LockChannel.h"

namespace hvn::console {

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

    if (const int error = connectLockPort(sock.get(), RegCtl.GetRegistryInteger("PortNumberConsole"))) {
        RegCtl.SetRegistryString("ErrorMsg", std::strerror(error));
        sock.reset();
        return false;
    }

    char reply[kLockReplySize];
    const bool sent = platform::sendAll(sock.get(), "DBREAD\n");
    const std::ptrdiff_t received = sent ? platform::recvSome(sock.get(), reply, sizeof reply) : -1;
    if (received <= 0 || isLockRefusal(reply, received)) {
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
