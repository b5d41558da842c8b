#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "Connection.h"
#include "Dmregistry.h"

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace hvn::retriever {

// The service's database module: one connection to the database at DatabasePath and the
// operations with which a print-record worker stores one record.
//
// The connection opens in the constructor, which throws std::runtime_error with the reason when
// the database cannot be opened. Statements are prepared once and reused. Names are UTF-8 text;
// AddPrintingData takes the record body as it came off the wire (CP932). One thread at a time:
// each worker owns its instance, and callers serialise database work through the named mutex
// hvnDatabase, which makes the MAX+1 identifier allocation safe.
class TdmDatabase {
public:
    // busyTimeout: how long a statement waits for a write lock that another connection holds.
    explicit TdmDatabase(TdmRegistryCtl registry = TdmRegistryCtl(),
                         std::chrono::milliseconds busyTimeout = db::kDefaultBusyTimeout);
    ~TdmDatabase();

    TdmDatabase(const TdmDatabase &) = delete;
    TdmDatabase &operator=(const TdmDatabase &) = delete;

    // "BEGIN IMMEDIATE TRANSACTION" / "COMMIT TRANSACTION". The write lock is taken at the
    // beginning (waiting up to the busy timeout), so that a write by another connection
    // between the lookups and the inserts cannot fail the record half-way. Failures propagate.
    void BeginTransaction();
    void CommitTransaction();
    // Ends an open transaction without keeping its changes; no effect when none is open.
    // Never throws: it is the recovery path after a failed record.
    void RollbackTransaction() noexcept;

    // The UserID of the first row in table order with this UserName (compared without regard
    // to letter case); a new name is registered with MAX(UserID)+1, SectionID 0 and
    // UserRealName = name. Failures propagate.
    int GetUserID(std::string_view name);
    // The same on tblPrintingMachineInfo; a new printer leads a group of its own:
    // ParentPrinterID 0, GroupPrinterID = its PrinterID, CommonPrinterName = name.
    int GetPrinterID(std::string_view name);

    // Parses the record body (wire layout, CP932 text) and appends one print row. A body
    // whose date or time is invalid stores nothing; a count that is not a number is stored as
    // 0. A row the database refuses (a rule of its own) is dropped without a word, but a
    // database that cannot take writes now (StorageUnavailable) throws, so that the caller
    // does not commit the record without its row.
    void AddPrintingData(std::string_view body, int userId, int printerId);

    // The largest rowid of tblPrintingData, 0 when it is empty. Failures propagate.
    std::int64_t LastPrintRow();

    // The connection string after hvnDatabaseConnectionBeforeConnect.
    const std::string &ConnectionString() const { return m_connectionString; }

private:
    void hvnDatabaseConnectionBeforeConnect();
    int findOrRegister(SQLite::Statement &find, SQLite::Statement &max, SQLite::Statement &insert,
                       std::string_view name);

    TdmRegistryCtl m_registry;
    std::string m_connectionString;
    std::unique_ptr<SQLite::Database> hvnDatabaseConnection;

    std::unique_ptr<SQLite::Statement> m_begin;
    std::unique_ptr<SQLite::Statement> m_commit;
    std::unique_ptr<SQLite::Statement> m_rollback;
    std::unique_ptr<SQLite::Statement> m_findUser;
    std::unique_ptr<SQLite::Statement> m_maxUser;
    std::unique_ptr<SQLite::Statement> m_insertUser;
    std::unique_ptr<SQLite::Statement> m_findPrinter;
    std::unique_ptr<SQLite::Statement> m_maxPrinter;
    std::unique_ptr<SQLite::Statement> m_insertPrinter;
    std::unique_ptr<SQLite::Statement> m_insertPrintingData;
    std::unique_ptr<SQLite::Statement> m_lastPrintRow;
};

// True when a failure of a TdmDatabase operation says that the database cannot take writes
// now (locked past the busy timeout, full, read-only, an I/O error, damaged or gone), so the
// record is worth keeping for later; false when the database refuses this record itself (a
// constraint, a value out of range) or the failure is not the database's.
bool StorageUnavailable(const std::exception &failure);

} // namespace hvn::retriever
