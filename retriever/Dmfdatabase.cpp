#include "Dmfdatabase.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>
#include <sqlite3.h>

#include "Connection.h"
#include "RecordBody.h"

namespace hvn::retriever {

namespace {

// Resets a reused statement when its use ends, however it ends, so that it holds no read
// cursor and no stale bindings into the next use.
class StatementUse {
public:
    explicit StatementUse(SQLite::Statement &statement) : m_statement(statement) {}
    ~StatementUse()
    {
        try {
            m_statement.reset();
            m_statement.clearBindings();
        } catch (...) {
            // reset() repeats the error of a failed step; the statement is usable again.
        }
    }
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;

private:
    SQLite::Statement &m_statement;
};

void execute(SQLite::Statement &statement)
{
    StatementUse use(statement);
    statement.exec();
}

} // namespace

TdmDatabase::TdmDatabase(TdmRegistryCtl registry, std::chrono::milliseconds busyTimeout)
    : m_registry(std::move(registry))
{
    hvnDatabaseConnectionBeforeConnect();
    hvnDatabaseConnection = db::openDatabase(m_connectionString, busyTimeout);
    SQLite::Database &db = *hvnDatabaseConnection;
    // A file without the tables fails here, at creation, rather than on the first record.
    auto prepare = [&db](const char *sql) {
        try {
            return std::make_unique<SQLite::Statement>(db, sql);
        } catch (const std::exception &e) {
            throw std::runtime_error("cannot use the database " + db.getFilename() + ": " + e.what());
        }
    };

    m_begin = prepare("BEGIN IMMEDIATE TRANSACTION");
    m_commit = prepare("COMMIT TRANSACTION");
    m_rollback = prepare("ROLLBACK TRANSACTION");

    // The first row in table order is the lowest rowid; UserName and PrinterName are declared
    // COLLATE NOCASE, so the comparison ignores letter case.
    m_findUser = prepare("SELECT UserID FROM tblUserInfo WHERE UserName = ? ORDER BY rowid LIMIT 1");
    m_maxUser = prepare("SELECT MAX(UserID) AS MaxID\r\n FROM tblUserInfo;");
    m_insertUser = prepare("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName)"
                           " VALUES (?1, ?2, 0, ?2)");

    m_findPrinter = prepare(
        "SELECT PrinterID FROM tblPrintingMachineInfo WHERE PrinterName = ? ORDER BY rowid LIMIT 1");
    m_maxPrinter = prepare("SELECT MAX(PrinterID) AS MaxID\r\n FROM tblPrintingMachineInfo;");
    m_insertPrinter = prepare("INSERT INTO tblPrintingMachineInfo"
                              " (PrinterID, PrinterName, ParentPrinterID, GroupPrinterID, CommonPrinterName)"
                              " VALUES (?1, ?2, 0, ?1, ?2)");

    m_insertPrintingData = prepare(
        "INSERT INTO tblPrintingData"
        " (UserID, PrinterID, ComputerName, DocumentPages, SidesOfPaper, SheetsOfPaper, dbDateTime)"
        " VALUES (?, ?, ?, ?, ?, ?, ?)");
    m_lastPrintRow = prepare("SELECT COALESCE(MAX(rowid), 0) FROM tblPrintingData");
}

TdmDatabase::~TdmDatabase()
{
    // A transaction left open by a caller that stopped half-way is not kept.
    RollbackTransaction();
}

void TdmDatabase::hvnDatabaseConnectionBeforeConnect()
{
    m_connectionString = db::replaceDataSource(db::kServiceConnectionString,
                                               m_registry.GetRegistryString("DatabasePath"));
}

void TdmDatabase::BeginTransaction()
{
    execute(*m_begin);
}

void TdmDatabase::CommitTransaction()
{
    execute(*m_commit);
}

void TdmDatabase::RollbackTransaction() noexcept
{
    try {
        if (::sqlite3_get_autocommit(hvnDatabaseConnection->getHandle()) == 0)
            execute(*m_rollback);
    } catch (...) {
        // SQLite has rolled back already when the failure was one that ends the transaction.
    }
}

int TdmDatabase::GetUserID(std::string_view name)
{
    return findOrRegister(*m_findUser, *m_maxUser, *m_insertUser, name);
}

int TdmDatabase::GetPrinterID(std::string_view name)
{
    return findOrRegister(*m_findPrinter, *m_maxPrinter, *m_insertPrinter, name);
}

int TdmDatabase::findOrRegister(SQLite::Statement &find, SQLite::Statement &max,
                                SQLite::Statement &insert, std::string_view name)
{
    const std::string key(name);
    {
        StatementUse use(find);
        find.bind(1, key);
        if (find.executeStep())
            return find.getColumn(0).getInt();
    }
    std::int64_t maxId = 0;
    {
        StatementUse use(max);
        if (max.executeStep())
            maxId = max.getColumn(0).getInt64(); // NULL on an empty table reads as 0
    }
    if (maxId >= std::numeric_limits<int>::max())
        throw std::overflow_error("no identifier left after " + std::to_string(maxId));
    const int newId = static_cast<int>(maxId + 1);
    StatementUse use(insert);
    insert.bind(1, newId);
    insert.bind(2, key);
    insert.exec();
    return newId;
}

void TdmDatabase::AddPrintingData(std::string_view body, int userId, int printerId)
{
    try {
        const std::optional<DbDateTime> when = record::dateTime(body);
        if (!when)
            return;
        SQLite::Statement &insert = *m_insertPrintingData;
        StatementUse use(insert);
        insert.bind(1, userId);
        insert.bind(2, printerId);
        insert.bind(3, record::text(body, record::kComputerName));
        insert.bind(4, record::number(record::raw(body, record::kDocumentPages)).value_or(0));
        insert.bind(5, record::number(record::raw(body, record::kSidesOfPaper)).value_or(0));
        insert.bind(6, record::number(record::raw(body, record::kSheetsOfPaper)).value_or(0));
        insert.bind(7, when->toText());
        insert.exec();
    } catch (const std::exception &e) {
        if (StorageUnavailable(e))
            throw;
        // A row the database refuses is lost without a report; the caller's transaction goes on.
    }
}

std::int64_t TdmDatabase::LastPrintRow()
{
    StatementUse use(*m_lastPrintRow);
    m_lastPrintRow->executeStep();
    return m_lastPrintRow->getColumn(0).getInt64();
}

bool StorageUnavailable(const std::exception &failure)
{
    const auto *sqlite = dynamic_cast<const SQLite::Exception *>(&failure);
    if (!sqlite)
        return false;
    switch (sqlite->getErrorCode() & 0xFF) {
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return false;
    default:
        return true;
    }
}

} // namespace hvn::retriever
