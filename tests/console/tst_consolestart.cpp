// One console per machine: the guard class itself, and the real hvnConsole program started
// twice, headless, with the message boxes answered through the test hook.
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <QTemporaryDir>
#include <QTest>

#include "ChildProcess.h"
#include "Dmregistry.h"
#include "InstanceGuard.h"

using hvn::platform::ChildProcess;
using hvn::platform::InstanceGuard;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}


} // namespace

class TstConsoleStart : public QObject {
    Q_OBJECT
private slots:
    void guardRefusesSecondHolderUntilFirstGoes();
    void secondConsoleShowsMessageAndExitsWithOne();
    void consoleHoldsGuardWhileRunningAndKernelFreesItWhenKilled();
};

void TstConsoleStart::guardRefusesSecondHolderUntilFirstGoes()
{
    {
        InstanceGuard first("hvnConsole");
        QVERIFY(first.acquired());
        InstanceGuard second("hvnConsole");
        QCOMPARE(second.state(), InstanceGuard::State::AlreadyHeld);
    }
    QVERIFY(InstanceGuard("hvnConsole").acquired());
}

void TstConsoleStart::secondConsoleShowsMessageAndExitsWithOne()
{
    QTemporaryDir work;
    InstanceGuard running("hvnConsole");
    QVERIFY(running.acquired());

    const std::string errPath = work.filePath(QStringLiteral("stderr.txt")).toStdString();
    ChildProcess second = ChildProcess::spawn({
        {HVN_CONSOLE_BINARY},
        {"QT_QPA_PLATFORM=offscreen", "HALVANE_AUTOANSWER_MESSAGES=1",
         "HALVANE_REGISTRY=" + work.filePath(QStringLiteral("registry.reg")).toStdString()},
        {},
        {},
        errPath,
    });
    const auto status = second.wait(std::chrono::seconds(30));
    QVERIFY(status.has_value());
    QCOMPARE(*status, 1);
    QVERIFY2(readFile(errPath).find("error|hvnConsole already Start up\n") != std::string::npos,
             readFile(errPath).c_str());
    // The refused start leaves the running instance's guard alone and creates no settings.
    QVERIFY(!InstanceGuard("hvnConsole").acquired());
    QVERIFY(!QFile::exists(work.filePath(QStringLiteral("registry.reg"))));
}

void TstConsoleStart::consoleHoldsGuardWhileRunningAndKernelFreesItWhenKilled()
{
    QTemporaryDir work;
    const std::string registry = work.filePath(QStringLiteral("registry.reg")).toStdString();
    ChildProcess console = ChildProcess::spawn({
        {HVN_CONSOLE_BINARY},
        {"QT_QPA_PLATFORM=offscreen", "HALVANE_AUTOANSWER_MESSAGES=1",
         "HALVANE_REGISTRY=" + registry},
        {},
        {},
        work.filePath(QStringLiteral("stderr.txt")).toStdString(),
    });
    // With no service the first tab's load is refused and ErrorMsg written: by then the window
    // is up, and the guard was taken before any window.
    const hvn::TdmRegistryCtl settings(registry);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (settings.GetRegistryString("ErrorMsg").empty() && console.running()
           && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY(console.running());
    QVERIFY(!settings.GetRegistryString("ErrorMsg").empty());
    QCOMPARE(InstanceGuard("hvnConsole").state(), InstanceGuard::State::AlreadyHeld);

    QVERIFY(console.signal(SIGKILL));
    QVERIFY(console.wait(std::chrono::seconds(10)).has_value());
    QVERIFY(InstanceGuard("hvnConsole").acquired());
}

QTEST_GUILESS_MAIN(TstConsoleStart)
#include "tst_consolestart.moc"
