#include "data/CompactRows.h"

#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "data/DbConnection.h"
#include "data/Query.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

// What the statement returned, read straight from SQLite: the reference for the packed rows.
QVariant plain(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column))));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, column)),
                                   sqlite3_column_bytes(stmt, column)));
    default:
        return QVariant();
    }
}

// Every kind SQLite can return, mixed within columns, in values that need each byte width,
// over more rows than one block holds, with date/time texts that pack and texts that only
// look like them.
TEST(CompactRows, GivesBackExactlyWhatTheStatementReturned)
{
    test::TestDatabase file;
    SQLite::Database &db = file.db();
    db.exec("CREATE TABLE t (i INTEGER, r REAL, s TEXT, d DATETIME, m)");
    db.exec("BEGIN");
    const qlonglong big = std::numeric_limits<qlonglong>::max();
    SQLite::Statement insert(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)");
    for (int row = 0; row < 9000; ++row) {
        insert.bind(1, static_cast<std::int64_t>(row % 7 == 0 ? -row : row * (row > 5000 ? 100000LL : 1LL)));
        insert.bind(2, row * 0.1 - 3.0);
        insert.bind(3, row % 3 == 0 ? "名前" + std::to_string(row % 11) : "name" + std::to_string(row % 5));
        char date[32];
        std::snprintf(date, sizeof date, "2004-%02d-%02d 09:%02d:15.%03d", 1 + row % 12, 1 + row % 28, row % 60,
                      row % 1000);
        insert.bind(4, date);
        insert.bind(5, row);
        insert.exec();
        insert.reset();
    }
    db.exec("INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL)");
    db.exec("INSERT INTO t VALUES (9223372036854775807, -0.0, 'NAME1', '2004-04-01 09:30:15', 2.5)");
    db.exec("INSERT INTO t VALUES (-9223372036854775808, 1e300, '', '2004-04-01 09:30:15.2500', 'text')");
    db.exec("INSERT INTO t VALUES ('x', 'y', 3, 20040401, x'00ff')");
    db.exec("INSERT INTO t VALUES (1, 2.0, 'name1', '9999-99-99 99:99:99.999', NULL)");
    db.exec("COMMIT");

    TDbConnection conn(file.connectionString());
    TQuery query;
    query.SQL() = {QStringLiteral("SELECT i, r, s, d, m FROM t ORDER BY rowid")};
    query.open(conn);
    ASSERT_TRUE(query.isDateTimeField(3));

    sqlite3_stmt *reference = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db.getHandle(), "SELECT i, r, s, d, m FROM t ORDER BY rowid", -1, &reference, nullptr),
              SQLITE_OK);
    int row = 0;
    while (sqlite3_step(reference) == SQLITE_ROW) {
        for (int column = 0; column < 5; ++column) {
            const QVariant expected = plain(reference, column);
            const QVariant actual = query.value(row, column);
            ASSERT_EQ(actual.metaType(), expected.metaType()) << row << ":" << column;
            ASSERT_EQ(actual, expected) << row << ":" << column;
        }
        ++row;
    }
    sqlite3_finalize(reference);
    EXPECT_EQ(query.rowCount(), row);
    EXPECT_EQ(query.value(row - 4, 0).toLongLong(), big);
    EXPECT_FALSE(query.value(row, 0).isValid());

    query.close();
    EXPECT_EQ(query.rowCount(), 0);
    EXPECT_EQ(query.rowBytes(), 0u);
}

// Texts the index must keep apart although their slots say the same about them: a shared
// first nine bytes, lengths past the 255 the slot records, the empty text; and enough distinct
// texts that the index grows several times while earlier ones repeat.
TEST(CompactRows, KeepsTextsApartThatShareTheirHead)
{
    test::TestDatabase file;
    SQLite::Database &db = file.db();
    db.exec("CREATE TABLE t (s TEXT)");
    std::vector<std::string> texts{"", "user00001", "user000012", "user000013", "user00001\xe3\x81\x82", "名前名"};
    for (const std::size_t length : {300, 301, 600})
        texts.push_back(std::string(length - 1, 'x') + "y");
    texts.push_back(std::string(300, 'x'));
    for (int i = 0; i < 3000; ++i)
        texts.push_back("user" + std::to_string(100000 + i));
    db.exec("BEGIN");
    SQLite::Statement insert(db, "INSERT INTO t VALUES (?)");
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::string &text : texts) {
            insert.bind(1, text);
            insert.exec();
            insert.reset();
        }
    }
    db.exec("COMMIT");

    TDbConnection conn(file.connectionString());
    TQuery query;
    query.SQL() = {QStringLiteral("SELECT s FROM t ORDER BY rowid")};
    query.open(conn);
    ASSERT_EQ(query.rowCount(), 2 * static_cast<int>(texts.size()));
    for (int row = 0; row < query.rowCount(); ++row) {
        const std::string &text = texts[static_cast<std::size_t>(row) % texts.size()];
        ASSERT_EQ(query.value(row, 0).toString(), QString::fromStdString(text)) << row;
    }
}

// The print-record grid's rows cost a few dozen bytes each, whatever their texts.
TEST(CompactRows, StoresRecordRowsInFewBytes)
{
    test::TestDatabase file;
    SQLite::Database &db = file.db();
    db.exec("BEGIN");
    for (int i = 1; i <= 300; ++i) {
        file.addUser(i, "user-with-a-long-name-" + std::to_string(i));
        file.addPrinter(i, "printer-" + std::to_string(i), "printer-" + std::to_string(i));
    }
    for (int i = 0; i < 20000; ++i) {
        char date[32];
        std::snprintf(date, sizeof date, "2004-04-%02d %02d:%02d:%02d.%03d", 1 + i % 28, i % 24, i % 60, i % 60, i % 1000);
        file.addRecord(1 + i % 300, 1 + (i * 7) % 300, "PC" + std::to_string(i % 500), 1 + i % 40, 1 + i % 40,
                       1 + i % 20, date);
    }
    db.exec("COMMIT");
    TDbConnection conn(file.connectionString());
    TQuery query;
    query.SQL() = {QStringLiteral("SELECT u.UserName, m.PrinterName, p.ComputerName, p.DocumentPages,"
                                  " p.SidesOfPaper, p.SheetsOfPaper, p.dbDateTime,"
                                  " ROUND(CAST(p.DocumentPages - p.SheetsOfPaper AS REAL) / p.DocumentPages * 100, 1)"
                                  " FROM tblPrintingData p JOIN tblUserInfo u ON p.UserID = u.UserID"
                                  " JOIN tblPrintingMachineInfo m ON p.PrinterID = m.PrinterID")};
    query.open(conn);
    ASSERT_EQ(query.rowCount(), 20000);
    EXPECT_LE(query.rowBytes() / 20000.0, 40.0);
}

} // namespace
} // namespace hvn::console
