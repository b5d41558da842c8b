#pragma once

#include <memory>
#include <string>
#include <string_view>

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
    explicit TdmDatabase(TdmRegistryCtl registry = TdmRegistryCtl());
    ~TdmDatabase();

    TdmDatabase(const TdmDatabase &) = delete;
    TdmDatabase &operator=(const TdmDatabase &) = delete;

    // "BEGIN TRANSACTION" / "COMMIT TRANSACTION". Failures propagate.
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
    // 0. Swallows every failure.
    void AddPrintingData(std::string_view body, int userId, int printerId) noexcept;

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
};

} // namespace hvn::retriever
