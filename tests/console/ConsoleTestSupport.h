#pragma once

// Shared pieces of the console's widget tests: a temporary settings store and database
// file, a real console lock server on loopback, and a recorder for message boxes.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QList>
#include <QStringList>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/VariadicBind.h>

#include "ConsoleWidgets.h"
#include "Consolethread.h"
#include "Dmregistry.h"
#include "NamedMutex.h"
#include "Newserverthread.h"
#include "Schema.h"
#include "ServerSocket.h"
#include "app/MessageBoxes.h"
#include "mainform/Mainform.h"

namespace hvn::console::test {

// A settings store in a temporary folder, named by HALVANE_REGISTRY for the object's
// lifetime, and the path of a database file beside it (created by createDatabase()).
class TestEnvironment {
public:
    TestEnvironment()
        : m_registryPath(m_dir.filePath(QStringLiteral("registry.reg")).toStdString())
        , m_databasePath(m_dir.filePath(QStringLiteral("hvnDatabase.db")).toStdString())
        , m_registry(m_registryPath)
    {
        qputenv("HALVANE_REGISTRY", QByteArray::fromStdString(m_registryPath));
    }
    ~TestEnvironment() { qunsetenv("HALVANE_REGISTRY"); }

    const TdmRegistryCtl &registry() const { return m_registry; }
    const std::string &registryPath() const { return m_registryPath; }
    const std::string &databasePath() const { return m_databasePath; }
    QString dir() const { return m_dir.path(); }

    void setSetting(const char *name, int value)
    {
        m_registry.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProgramSettingKey, name, value);
    }
    int setting(const char *name) const
    {
        return m_registry.GetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProgramSettingKey, name);
    }
    void setConsolePort(int port)
    {
        // The product key holds ports as REG_DWORD; SetSettingInteger writes that type.
        m_registry.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey, "PortNumberConsole",
                                     port);
    }
    void setDatabasePath(const std::string &path) { m_registry.SetRegistryString("DatabasePath", path); }

    // Creates the database file with the four tables and points DatabasePath at it.
    SQLite::Database createDatabase()
    {
        SQLite::Database db(m_databasePath, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        schema::createSchema(db);
        setDatabasePath(m_databasePath);
        return db;
    }

private:
    QTemporaryDir m_dir;
    std::string m_registryPath;
    std::string m_databasePath;
    TdmRegistryCtl m_registry;
};

template <typename... Args>
void exec(SQLite::Database &db, const char *sql, const Args &...args)
{
    SQLite::Statement statement(db, sql);
    if constexpr (sizeof...(Args) > 0)
        SQLite::bind(statement, args...);
    statement.exec();
}

// The service's console lock listener on a free loopback port, with its real workers.
class LockServer {
public:
    LockServer()
        : m_server([] { return std::make_unique<retriever::TConsoleSocket>(); }, 0)
    {
        m_server.Open();
    }
    int port() const { return m_server.LocalPort(); }

private:
    retriever::TServerSocket m_server;
};

// True once the database mutex can be taken, i.e. no lock is granted; waits up to timeout,
// since the service releases it on its own thread after "END" arrives.
inline bool databaseMutexFree(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    platform::NamedMutex mutex{retriever::kDatabaseMutexName};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (mutex.tryLock()) {
            mutex.unlock();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

// A port on which nothing listens: bound once, then closed.
inline int closedPort()
{
    LockServer server;
    return server.port();
}

// Runs action on the event loop once the form holds no lock channel and the dialog is shown:
// a modal dialog's load behind the lock has finished then, also when the lock wait kept the
// event loop turning. For tests that drive a modal dialog from inside its exec().
inline void whenDialogLoaded(TMainForm &form, QWidget &dialog, std::function<void()> action)
{
    auto *poll = new QTimer(&dialog);
    QObject::connect(poll, &QTimer::timeout, &dialog, [poll, &form, &dialog, action = std::move(action)] {
        if (!dialog.isVisible() || form.sock.valid())
            return;
        poll->stop();
        poll->deleteLater();
        action();
    });
    poll->start(5);
}

// Shows the main window and waits until its first tab's show handler, which runs after the
// first paint, has finished (AllowPageChange turns true then). False after 10 s.
inline bool showAndLoad(TMainForm &form)
{
    form.show();
    return QTest::qWaitFor([&form] { return form.AllowPageChange; }, 10000);
}

// Records every message box while it lives and answers each with the next entry of answers,
// or OK once they are used up. onMessage, when set, runs inside the box, so a test can look at
// the window's state at that moment.
class MessageRecorder {
public:
    MessageRecorder()
        : m_scope([this](const MessageRequest &request) {
            requests.append(request);
            if (onMessage)
                onMessage(request);
            return answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
        })
    {
    }

    QStringList texts() const
    {
        QStringList result;
        for (const MessageRequest &request : requests)
            result << request.text;
        return result;
    }

    QList<MessageRequest> requests;
    QList<QMessageBox::StandardButton> answers;
    std::function<void(const MessageRequest &)> onMessage;

private:
    ScopedMessageHandler m_scope;
};

// A settings store, a database with the four tables and a running lock server, as every
// maintenance dialog test needs them; refuseLock() points the console at a closed port.
struct DialogFixture {
    TestEnvironment env;
    LockServer server;
    SQLite::Database db = env.createDatabase();

    DialogFixture() { env.setConsolePort(server.port()); }
    void refuseLock() { env.setConsolePort(closedPort()); }
    void grantLock() { env.setConsolePort(server.port()); }

    // The rows of a query, each row's columns joined by '|'.
    QStringList rows(const char *sql)
    {
        QStringList result;
        SQLite::Statement query(db, sql);
        while (query.executeStep()) {
            QStringList cells;
            for (int column = 0; column < query.getColumnCount(); ++column)
                cells << QString::fromStdString(query.getColumn(column).getString());
            result << cells.join(QLatin1Char('|'));
        }
        return result;
    }
};

// A maintenance dialog attached to a main window over the fixture's database; prepare, when
// given, writes the test's rows before anything is shown.
template <typename Dialog>
struct AttachedDialogFixture : DialogFixture {
    explicit AttachedDialogFixture(void (*prepare)(SQLite::Database &) = nullptr)
    {
        if (prepare)
            prepare(db);
        dialog.attach(form);
    }
    TMainForm form;
    Dialog dialog;
};

} // namespace hvn::console::test
