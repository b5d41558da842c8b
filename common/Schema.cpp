#include "Schema.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace hvn::schema {

const char *const kCreateStatements[] = {
    "CREATE TABLE tblPrintingData ("
    " UserID INTEGER,"
    " PrinterID INTEGER,"
    " ComputerName VARCHAR(32) COLLATE NOCASE,"
    " DocumentPages INTEGER,"
    " SidesOfPaper INTEGER,"
    " SheetsOfPaper INTEGER,"
    " dbDateTime DATETIME)",

    "CREATE TABLE tblUserInfo ("
    " UserID INTEGER,"
    " UserName VARCHAR(32) COLLATE NOCASE,"
    " SectionID INTEGER,"
    " UserRealName VARCHAR(64) COLLATE NOCASE,"
    " TargetLevelID INTEGER,"
    " TargetLevelName VARCHAR(255) COLLATE NOCASE)",

    "CREATE TABLE tblPrintingMachineInfo ("
    " PrinterID INTEGER,"
    " PrinterName VARCHAR(64) COLLATE NOCASE,"
    " ParentPrinterID INTEGER,"
    " GroupPrinterID INTEGER,"
    " CommonPrinterName VARCHAR(64) COLLATE NOCASE)",

    "CREATE TABLE tblSectionInfo ("
    " SectionID INTEGER,"
    " SectionName VARCHAR(255) COLLATE NOCASE,"
    " ParentSectionID INTEGER,"
    " SectionLevel INTEGER,"
    " SectionFullName VARCHAR(255) COLLATE NOCASE)",

    // Name lookups of the service, and the joins on identifiers.
    "CREATE INDEX idxUserInfoUserName ON tblUserInfo (UserName)",
    "CREATE INDEX idxUserInfoUserID ON tblUserInfo (UserID)",
    "CREATE INDEX idxUserInfoSectionID ON tblUserInfo (SectionID)",
    "CREATE INDEX idxPrinterPrinterName ON tblPrintingMachineInfo (PrinterName)",
    "CREATE INDEX idxPrinterPrinterID ON tblPrintingMachineInfo (PrinterID)",
    "CREATE INDEX idxPrinterParentPrinterID ON tblPrintingMachineInfo (ParentPrinterID)",
    "CREATE INDEX idxSectionSectionID ON tblSectionInfo (SectionID)",
    // Period queries: the date first, then every column the totals read, so that a
    // period's totals are answered from the index alone.
    ("CREATE INDEX idxPrintingDataPeriod ON tblPrintingData"
     " (dbDateTime, UserID, PrinterID, DocumentPages, SidesOfPaper, SheetsOfPaper, ComputerName)"),
    // Fiscal-year sums of one section's users or one printer group: each identifier's records
    // of two years in date order, with the counts the sums read.
    "CREATE INDEX idxPrintingDataUser ON tblPrintingData (UserID, dbDateTime, DocumentPages, SheetsOfPaper)",
    "CREATE INDEX idxPrintingDataPrinter ON tblPrintingData (PrinterID, dbDateTime, DocumentPages, SheetsOfPaper)",
};
const std::size_t kCreateStatementCount = std::size(kCreateStatements);

void createSchema(SQLite::Database &db)
{
    SQLite::Transaction tx(db);
    for (const char *sql : kCreateStatements)
        db.exec(sql);
    tx.commit();
}

void checkSchema(SQLite::Database &db)
{
    struct Table {
        std::string_view name;
        std::vector<std::string_view> columns;
    };
    const Table tables[] = {
        {kPrintingData,
         {"UserID", "PrinterID", "ComputerName", "DocumentPages", "SidesOfPaper", "SheetsOfPaper",
          "dbDateTime"}},
        {kUserInfo,
         {"UserID", "UserName", "SectionID", "UserRealName", "TargetLevelID", "TargetLevelName"}},
        {kPrintingMachineInfo,
         {"PrinterID", "PrinterName", "ParentPrinterID", "GroupPrinterID", "CommonPrinterName"}},
        {kSectionInfo,
         {"SectionID", "SectionName", "ParentSectionID", "SectionLevel", "SectionFullName"}},
    };
    for (const Table &table : tables) {
        SQLite::Statement info(db, "SELECT name FROM pragma_table_info(?)");
        info.bind(1, std::string(table.name));
        std::set<std::string> present;
        while (info.executeStep()) {
            std::string column = info.getColumn(0).getString();
            for (char &c : column)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            present.insert(column);
        }
        if (present.empty())
            throw std::runtime_error("table " + std::string(table.name) + " is missing");
        for (std::string_view column : table.columns) {
            std::string lower(column);
            for (char &c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!present.count(lower))
                throw std::runtime_error("table " + std::string(table.name) + " has no column " +
                                         std::string(column));
        }
    }
}

} // namespace hvn::schema
