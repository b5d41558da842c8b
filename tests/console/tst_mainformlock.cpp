// The console's lock client against the service's real lock listener on loopback, and the
// bracket that every database operation of the console runs in.
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include "ConsoleTestSupport.h"
#include "app/ErrorDisplay.h"
#include "lock/BusyBracket.h"
#include "mainform/Mainform.h"

using hvn::console::BusyBracket;
using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

// Lowers the soft limit of open files so that the next socket() fails with EMFILE, and puts
// the limit back on destruction.
class DescriptorLimit {
public:
    DescriptorLimit()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit lowered = m_saved;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    rlimit m_saved{};
};

} // namespace

class TstMainformLock : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }

    void grantedLockIsHeldUntilSocketMutexOff();
    void unreachableServiceIsRefusedSilentlyWithErrorMsg_data();
    void unreachableServiceIsRefusedSilentlyWithErrorMsg();
    void socketCreationFailureShowsWarning();
    void bracketUndoesEverythingWhenWorkThrows();
};

void TstMainformLock::grantedLockIsHeldUntilSocketMutexOff()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    TMainForm form;
    for (int round = 0; round < 2; ++round) {
        QVERIFY(form.SocketMutexOn());
        QVERIFY(!databaseMutexFree(std::chrono::milliseconds(200)));
        form.SocketMutexOff();
        QVERIFY(!form.sock.valid());
        QVERIFY(databaseMutexFree());
    }
}

void TstMainformLock::unreachableServiceIsRefusedSilentlyWithErrorMsg_data()
{
    QTest::addColumn<bool>("setPort");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("error");
    QTest::newRow("service stopped") << true << closedPort() << ECONNREFUSED;
    QTest::newRow("port missing reads as 0") << false << 0 << ECONNREFUSED;
    QTest::newRow("port beyond 65535") << true << 70000 << EINVAL;
}

void TstMainformLock::unreachableServiceIsRefusedSilentlyWithErrorMsg()
{
    QFETCH(bool, setPort);
    QFETCH(int, port);
    QFETCH(int, error);
    TestEnvironment env;
    if (setPort)
        env.setConsolePort(port);
    MessageRecorder messages;
    TMainForm form;

    QVERIFY(!form.SocketMutexOn());
    QVERIFY(!form.sock.valid());
    QVERIFY(messages.requests.isEmpty());
    QCOMPARE(env.registry().GetRegistryString("ErrorMsg"), std::string(std::strerror(error)));
}

void TstMainformLock::socketCreationFailureShowsWarning()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    MessageRecorder messages;
    TMainForm form;
    bool granted = true;
    {
        DescriptorLimit limit;
        granted = form.SocketMutexOn();
    }
    QVERIFY(!granted);
    QCOMPARE(messages.requests.size(), 1);
    QCOMPARE(messages.requests[0].caption, QStringLiteral("警告"));
    QCOMPARE(messages.requests[0].icon, QMessageBox::Warning);
    QCOMPARE(messages.requests[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(messages.requests[0].text, QStringLiteral("エラー: socket(), Error = %1").arg(EMFILE));
}

void TstMainformLock::bracketUndoesEverythingWhenWorkThrows()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    MessageRecorder messages;
    TMainForm form;
    bool lockFreeAtMessage = false;
    bool stateRestoredAtMessage = false;
    messages.onMessage = [&](const hvn::console::MessageRequest &) {
        lockFreeAtMessage = databaseMutexFree();
        stateRestoredAtMessage = form.AllowPageChange && form.Button2->isEnabled() && !QApplication::overrideCursor();
    };

    bool workRan = false;
    hvn::console::runReported([&] {
        BusyBracket bracket(form, form.Button2);
        QVERIFY(bracket.granted());
        QVERIFY(!form.AllowPageChange);
        QVERIFY(!form.Button2->isEnabled());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        workRan = true;
        throw std::runtime_error("engine says no");
    });

    QVERIFY(workRan);
    QCOMPARE(messages.requests.size(), 1);
    QCOMPARE(messages.requests[0].text, QStringLiteral("engine says no"));
    QCOMPARE(messages.requests[0].caption, QStringLiteral("hvnConsole"));
    QVERIFY(lockFreeAtMessage);
    QVERIFY(stateRestoredAtMessage);
    QVERIFY(!form.sock.valid());
}

QTEST_MAIN(TstMainformLock)
#include "tst_mainformlock.moc"
