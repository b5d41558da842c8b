// One console per machine: the console program started twice, headless, with its own guard
// file and its message boxes answered through the test build's seams; and the installed
// program, which has no such seams.
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
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// hvnConsoleTestable on the offscreen platform with its boxes answered, its settings store
// and its guard in the folder of work.
ChildProcess startConsole(const QTemporaryDir &work)
{
    return ChildProcess::spawn({
        {HVN_CONSOLE_TESTABLE_BINARY},
        {"QT_QPA_PLATFORM=offscreen", "HALVANE_AUTOANSWER_MESSAGES=1",
         "HALVANE_REGISTRY=" + work.filePath(QStringLiteral("registry.reg")).toStdString(),
         "HALVANE_CONSOLE_GUARD=" + work.filePath(QStringLiteral("hvnConsole.lock")).toStdString()},
        {},
        {},
        work.filePath(QStringLiteral("stderr.txt")).toStdString(),
    });
}

} // namespace

class TstConsoleStart : public QObject {
    Q_OBJECT
private slots:
    void secondConsoleShowsMessageAndExitsWithOne();
    void consoleHoldsGuardWhileRunningAndKernelFreesItWhenKilled();
    void installedConsoleHasNoTestSeams();
};

void TstConsoleStart::secondConsoleShowsMessageAndExitsWithOne()
{
    QTemporaryDir work;
    InstanceGuard running(work.filePath(QStringLiteral("hvnConsole.lock")).toStdString());
    QVERIFY(running.acquired());

    ChildProcess second = startConsole(work);
    const auto status = second.wait(std::chrono::seconds(30));
    QVERIFY(status.has_value());
    QCOMPARE(*status, 1);
    const std::string errors = readFile(work.filePath(QStringLiteral("stderr.txt")).toStdString());
    QVERIFY2(errors.find("error|hvnConsole already Start up\n") != std::string::npos, errors.c_str());
    // The refused start leaves the running instance's guard alone and creates no settings.
    QVERIFY(!InstanceGuard(running.lockPath()).acquired());
    QVERIFY(!QFile::exists(work.filePath(QStringLiteral("registry.reg"))));
}

void TstConsoleStart::consoleHoldsGuardWhileRunningAndKernelFreesItWhenKilled()
{
    QTemporaryDir work;
    const std::string guardFile = work.filePath(QStringLiteral("hvnConsole.lock")).toStdString();
    ChildProcess console = startConsole(work);
    // With no service the first tab's load is refused and ErrorMsg written: by then the window
    // is up, and the guard was taken before any window.
    const hvn::TdmRegistryCtl settings(work.filePath(QStringLiteral("registry.reg")).toStdString());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (settings.GetRegistryString("ErrorMsg").empty() && console.running()
           && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    QVERIFY(console.running());
    QVERIFY(!settings.GetRegistryString("ErrorMsg").empty());
    QCOMPARE(InstanceGuard(guardFile).state(), InstanceGuard::State::AlreadyHeld);

    QVERIFY(console.signal(SIGKILL));
    QVERIFY(console.wait(std::chrono::seconds(10)).has_value());
    QVERIFY(InstanceGuard(guardFile).acquired());
}

// Nothing in the environment may answer the installed program's boxes, move its guard or drive
// its widgets: the names of the test build's variables appear in the test build and nowhere in
// hvnConsole.
void TstConsoleStart::installedConsoleHasNoTestSeams()
{
    const std::string installed = readFile(HVN_CONSOLE_BINARY);
    const std::string testable = readFile(HVN_CONSOLE_TESTABLE_BINARY);
    QVERIFY(!installed.empty());
    for (const char *variable :
         {"HALVANE_AUTOANSWER_MESSAGES", "HALVANE_CONSOLE_GUARD", "HALVANE_CONSOLE_DRIVER"}) {
        QVERIFY2(testable.find(variable) != std::string::npos, variable);
        QVERIFY2(installed.find(variable) == std::string::npos, variable);
    }
}

QTEST_GUILESS_MAIN(TstConsoleStart)
#include "tst_consolestart.moc"
