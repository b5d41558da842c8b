#pragma once

#include <ostream>
#include <string>

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/VariadicBind.h>

#include "Connection.h"
#include "Schema.h"

namespace hvn::console::test {

// A database file with the four tables in a temporary folder that is removed with the object,
// and a writer connection of its own to prepare rows.
class TestDatabase {
public:
    TestDatabase()
        : m_path(m_dir.filePath(QStringLiteral("hvnDatabase.db")).toStdString()),
          m_db(m_path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE)
    {
        hvn::schema::createSchema(m_db);
    }

    const std::string &path() const { return m_path; }
    std::string connectionString() const
    {
        return hvn::db::replaceDataSource(hvn::db::kConsoleConnectionString, m_path);
    }
    SQLite::Database &db() { return m_db; }

    void addUser(int id, const std::string &name)
    {
        exec("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES (?, ?, 0, ?)", id, name,
             name);
    }

    void addPrinter(int id, const std::string &name, const std::string &commonName)
    {
        exec("INSERT INTO tblPrintingMachineInfo (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID,"
             " CommonPrinterName) VALUES (?, ?, 0, ?, ?)",
             id, name, id, commonName);
    }

    void addRecord(int userId, int printerId, const std::string &computer, int pages, int sides, int sheets,
                   const std::string &time)
    {
        exec("INSERT INTO tblPrintingData (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper,"
             " SheetsOfPaper, dbDateTime) VALUES (?, ?, ?, ?, ?, ?, ?)",
             userId, printerId, computer, pages, sides, sheets, time);
    }

private:
    template <typename... Args>
    void exec(const char *sql, const Args &...args)
    {
        SQLite::Statement statement(m_db, sql);
        SQLite::bind(statement, args...);
        statement.exec();
    }

    QTemporaryDir m_dir;
    std::string m_path;
    SQLite::Database m_db;
};

} // namespace hvn::console::test

// Readable failure messages for Qt values.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QVariant &v, std::ostream *os)
{
    if (!v.isValid())
        *os << "<invalid>";
    else
        *os << v.metaType().name() << '(' << v.toString().toStdString() << ')';
}
