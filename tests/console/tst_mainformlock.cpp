// The console's lock client against the service's real lock listener on loopback, and the
// bracket that every database operation of the console runs in.
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <stdexcept>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ConsoleTestSupport.h"
#include "Loopback.h"
#include "TcpSocket.h"
#include "app/ErrorDisplay.h"
#include "lock/BusyBracket.h"
#include "lock/DatabaseLock.h"
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

// A lock service that answers the console's first request with a fixed reply (none: it
// closes the connection at once) and then records what the console sends until it closes.
class ScriptedService {
public:
    explicit ScriptedService(std::optional<std::string> reply)
        : m_listener(hvn::platform::listenTcp(0))
        , m_thread([this, reply = std::move(reply)] { serve(reply); })
    {
    }
    ~ScriptedService() { m_thread.join(); }
    int port() const { return hvn::platform::localPort(m_listener.get()); }
    // Everything the console sent; call after the console closed its connection.
    std::string received()
    {
        m_thread.join();
        m_thread = std::thread([] {});
        return m_received;
    }

private:
    void serve(const std::optional<std::string> &reply)
    {
        hvn::platform::UniqueFd peer(::accept(m_listener.get(), nullptr, nullptr));
        std::string line = hvn::test::receiveSome(peer.get(), std::chrono::seconds(10));
        if (reply && hvn::platform::sendAll(peer.get(), *reply)) {
            char buffer[256];
            std::ptrdiff_t n;
            while ((n = hvn::platform::recvSome(peer.get(), buffer, sizeof buffer)) > 0)
                line.append(buffer, static_cast<std::size_t>(n));
        }
        m_received = line;
    }

    hvn::platform::UniqueFd m_listener;
    std::string m_received;
    std::thread m_thread;
};

} // namespace

class TstMainformLock : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("hvnConsole")); }

    void grantedLockIsHeldUntilSocketMutexOff();
    void serviceReplyDecidesGrant_data();
    void serviceReplyDecidesGrant();
    void waitForLockKeepsPaintingAndSaysSo();
    void unreachableServiceIsRefusedSilentlyWithErrorMsg_data();
    void unreachableServiceIsRefusedSilentlyWithErrorMsg();
    void socketCreationFailureShowsWarning();
    void bracketUndoesEverythingWhenWorkThrows();
    void readSnapshotGivesLockBackButKeepsBracketBusy();
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

void TstMainformLock::serviceReplyDecidesGrant_data()
{
    QTest::addColumn<std::optional<std::string>>("reply");
    QTest::addColumn<bool>("granted");
    QTest::newRow("accepted and closed without a reply") << std::optional<std::string>() << false;
    QTest::newRow("NG") << std::optional<std::string>("NG\n") << false;
    QTest::newRow("ng") << std::optional<std::string>("ng\n") << false;
    QTest::newRow("NGx") << std::optional<std::string>("NGx") << false;
    QTest::newRow("OK") << std::optional<std::string>("OK\n") << true;
    QTest::newRow("N alone") << std::optional<std::string>("N") << true;
    QTest::newRow("any other reply") << std::optional<std::string>("GO AHEAD\n") << true;
}

void TstMainformLock::serviceReplyDecidesGrant()
{
    QFETCH(std::optional<std::string>, reply);
    QFETCH(bool, granted);
    TestEnvironment env;
    ScriptedService service(reply);
    env.setConsolePort(service.port());
    MessageRecorder messages;
    TMainForm form;

    QCOMPARE(form.SocketMutexOn(), granted);
    QCOMPARE(form.sock.valid(), granted);
    if (granted)
        form.SocketMutexOff();
    QVERIFY(!form.sock.valid());
    QCOMPARE(service.received(), std::string(granted ? "DBREAD\nEND\n" : "DBREAD\n"));
    QVERIFY(messages.requests.isEmpty());
}

// While an agent connection (here a test client holding the lock) keeps the service from
// granting, the window goes on painting, the status line says why, and tabs stay locked.
void TstMainformLock::waitForLockKeepsPaintingAndSaysSo()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    env.createDatabase();
    MessageRecorder messages;
    TMainForm form;
    QVERIFY(showAndLoad(form));
    hvn::platform::UniqueFd holder = hvn::test::connectLoopback(static_cast<std::uint16_t>(server.port()));
    hvn::test::sendBytes(holder.get(), "DBREAD\n");
    QCOMPARE(hvn::test::receiveSome(holder.get(), std::chrono::seconds(5)), std::string("OK\n"));

    int paintsWhileWaiting = 0;
    QString statusWhileWaiting;
    bool tabsLockedWhileWaiting = false;
    struct PaintCounter : QObject {
        int *count;
        bool eventFilter(QObject *, QEvent *event) override
        {
            *count += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    counter.count = &paintsWhileWaiting;
    QTimer::singleShot(300, &form, [&] {
        statusWhileWaiting = form.StatusLine->currentMessage();
        form.StatusLine->installEventFilter(&counter);
        form.StatusLine->update();
        QTimer::singleShot(200, &form, [&] {
            form.StatusLine->removeEventFilter(&counter);
            form.AllowPageChange = false; // as the handler around the wait has it
            QTest::mouseClick(form.PageControl1->tabBar(), Qt::LeftButton, {},
                              form.PageControl1->tabBar()->tabRect(2).center());
            tabsLockedWhileWaiting = form.PageControl1->currentIndex() == 0;
            hvn::test::sendBytes(holder.get(), "END\n");
        });
    });
    QVERIFY(form.SocketMutexOn());
    form.SocketMutexOff();

    QCOMPARE(statusWhileWaiting, QStringLiteral("サービスがデータベースを解放するのを待っています…"));
    QVERIFY(paintsWhileWaiting > 0);
    QVERIFY(tabsLockedWhileWaiting);
    QVERIFY(form.StatusLine->currentMessage().isEmpty());
    QVERIFY(databaseMutexFree());
    QVERIFY(messages.requests.isEmpty());
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

// A reader's bracket: the lock goes back as soon as the snapshot is fixed, so the service can
// store meanwhile, while the cursor, the button and the tabs stay busy to the bracket's end;
// the snapshot still shows the database of the moment the lock was granted.
void TstMainformLock::readSnapshotGivesLockBackButKeepsBracketBusy()
{
    TestEnvironment env;
    LockServer server;
    env.setConsolePort(server.port());
    SQLite::Database db = env.createDatabase();
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (1, 'a', 0, 'a')");
    TMainForm form;
    auto users = [&form] {
        hvn::console::TQuery count;
        count.SQL() = {QStringLiteral("SELECT count(*) FROM tblUserInfo;")};
        count.open(form.DBConection);
        return count.value(0, 0).toInt();
    };
    {
        BusyBracket bracket(form, form.Button2);
        QVERIFY(bracket.granted());
        QVERIFY(!databaseMutexFree(std::chrono::milliseconds(50)));
        const hvn::console::ReadSnapshot snapshot = bracket.readSnapshot(form.DBConection);
        QVERIFY(bracket.granted());
        QVERIFY(!form.sock.valid());
        QVERIFY(databaseMutexFree());
        exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (2, 'b', 0, 'b')");
        QCOMPARE(users(), 1);
        QVERIFY(!form.AllowPageChange);
        QVERIFY(!form.Button2->isEnabled());
        QVERIFY(QApplication::overrideCursor());
    }
    QVERIFY(form.AllowPageChange && form.Button2->isEnabled() && !QApplication::overrideCursor());
    QCOMPARE(users(), 2);

    // A writer keeps the lock to its end.
    hvn::console::DatabaseLock writer(form);
    QVERIFY(writer.held());
    QVERIFY(!databaseMutexFree(std::chrono::milliseconds(50)));
}

QTEST_MAIN(TstMainformLock)
#include "tst_mainformlock.moc"
