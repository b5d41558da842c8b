// The client side of the console lock channel: "DBREAD\n" asks the service for the database
// lock, any reply but "NG" grants it, "END\n" gives it back. The wait for the reply has no
// time limit; meanwhile the window keeps painting but takes no input.
#include "mainform/Mainform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStatusBar>

#include "TcpSocket.h"
#include "app/MessageBoxes.h"
#include "lock/LockChannel.h"

namespace hvn::console {

namespace {

const QString kWaitingText = QStringLiteral("サービスがデータベースを解放するのを待っています…");
// An idle service answers at once; only a longer wait turns the event loop and says so.
constexpr std::chrono::milliseconds kQuietWait{200};

bool readableWithin(int fd, std::chrono::milliseconds timeout)
{
    return platform::waitReadable(fd, timeout) == platform::WaitResult::Ready;
}

// Refuses every window's close request while it lives: a handler that waits for the lock
// goes on to its end, as it would with the window thread blocked.
class CloseRefusal : public QObject {
public:
    CloseRefusal() { QCoreApplication::instance()->installEventFilter(this); }
    ~CloseRefusal() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Close; }
};

// Waits until fd is readable (a reply, a close or an error), serving paint, timer and socket
// events but no user input meanwhile. False when the program's event loops were told to end
// before that.
bool waitReadable(int fd)
{
    if (readableWithin(fd, std::chrono::milliseconds(0)) || !QCoreApplication::instance())
        return true;
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&loop] { loop.exit(1); });
    const CloseRefusal refusal;
    return loop.exec(QEventLoop::ExcludeUserInputEvents) == 1;
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

    if (const int error = connectLockPort(sock.get(), RegCtl.GetRegistryInteger("PortNumberConsole"))) {
        RegCtl.SetRegistryString("ErrorMsg", std::strerror(error));
        sock.reset();
        return false;
    }

    char reply[kLockReplySize];
    std::ptrdiff_t received = -1;
    if (platform::sendAll(sock.get(), "DBREAD\n")) {
        bool replied = readableWithin(sock.get(), kQuietWait);
        if (!replied) {
            StatusLine->showMessage(kWaitingText);
            replied = waitReadable(sock.get());
            StatusLine->clearMessage();
        }
        if (replied)
            received = platform::recvSome(sock.get(), reply, sizeof reply);
    }
    if (received <= 0 || isLockRefusal(reply, received)) {
        sock.reset();
        return false;
    }
    m_lockGrantedAt = std::chrono::steady_clock::now();
    return true;
}

void TMainForm::SocketMutexOff()
{
    if (sock.valid())
        platform::sendAll(sock.get(), "END\n");
    sock.reset();
    if (m_lockGrantedAt)
        m_longestLockHold = std::max(m_longestLockHold, std::chrono::steady_clock::now() - *m_lockGrantedAt);
    m_lockGrantedAt.reset();
}

} // namespace hvn::console
