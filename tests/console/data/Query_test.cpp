#include "data/Query.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include "data/DbConnection.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

class TQueryTest : public ::testing::Test {
protected:
    test::TestDatabase file;
    TDbConnection conn{file.connectionString()};
    TQuery query;

    // Opens the query and returns the engine's message, or an empty text when it opened.
    std::string openError()
    {
        try {
            query.open(conn);
            return {};
        } catch (const std::exception &e) {
            return e.what();
        }
    }
};

TEST_F(TQueryTest, ParametersBindByNameWithTheirTypes)
{
    struct Case {
        const char *name;
        QVariant in;
        QVariant out;
    };
    const Case cases[] = {
        {"int as integer", QVariant(42), QVariant(qlonglong(42))},
        {"bool as integer", QVariant(true), QVariant(qlonglong(1))},
        {"double as real", QVariant(2.5), QVariant(2.5)},
        {"Japanese text", QVariant(QStringLiteral("山田 太郎")), QVariant(QStringLiteral("山田 太郎"))},
        {"empty text is not NULL", QVariant(QString()), QVariant(QString())},
        {"invalid as NULL", QVariant(), QVariant()},
        {"DbDateTime as date text", QVariant::fromValue(*hvn::DbDateTime::make(2004, 4, 1, 9, 30, 15, 7)),
         QVariant(QStringLiteral("2004-04-01 09:30:15.007"))},
        {"QDateTime as date text", QVariant(QDateTime(QDate(2005, 1, 2), QTime(3, 4, 5, 60))),
         QVariant(QStringLiteral("2005-01-02 03:04:05.060"))},
        {"QDate as midnight", QVariant(QDate(2003, 12, 31)), QVariant(QStringLiteral("2003-12-31 00:00:00.000"))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        query.SQL() = QStringList{QStringLiteral("SELECT :v AS v, typeof(:v) AS t,"),
                                  QStringLiteral(" :other AS other")};
        query.setParam(QStringLiteral("other"), QStringLiteral("x"));
        query.setParam(QStringLiteral("v"), c.in);
        ASSERT_EQ(openError(), "");
        ASSERT_EQ(query.rowCount(), 1);
        const QVariant got = query.value(0, QStringLiteral("v"));
        EXPECT_EQ(got.metaType(), c.out.metaType()) << query.value(0, QStringLiteral("t")).toString().toStdString();
        EXPECT_EQ(got, c.out);
        EXPECT_EQ(query.value(0, QStringLiteral("other")), QVariant(QStringLiteral("x")));
    }
}

TEST_F(TQueryTest, ParameterNamesAndFieldNamesIgnoreCaseAndLaterValueWins)
{
    query.SQL() << QStringLiteral("SELECT :SectionID AS SectionID, :sectionid + 1 AS Next");
    query.setParam(QStringLiteral("sectionID"), 1);
    query.setParam(QStringLiteral("SECTIONID"), 7);
    ASSERT_EQ(openError(), "");
    EXPECT_EQ(query.fieldCount(), 2);
    EXPECT_EQ(query.fieldName(1), QStringLiteral("Next"));
    EXPECT_EQ(query.fieldIndex(QStringLiteral("next")), 1);
    EXPECT_EQ(query.fieldIndex(QStringLiteral("absent")), -1);
    EXPECT_EQ(query.value(0, QStringLiteral("sectionid")).toLongLong(), 7);
    EXPECT_EQ(query.value(0, QStringLiteral("NEXT")).toLongLong(), 8);
    EXPECT_FALSE(query.value(0, QStringLiteral("absent")).isValid());
    EXPECT_FALSE(query.value(1, 0).isValid());
}

TEST_F(TQueryTest, LinesAreSentAsSeparateLines)
{
    // Joined without line breaks, the comment would swallow the second column.
    query.SQL() << QStringLiteral("SELECT 1 AS one -- the first column") << QStringLiteral(", 2 AS two");
    ASSERT_EQ(openError(), "");
    EXPECT_EQ(query.fieldCount(), 2);
}

TEST_F(TQueryTest, FailedOpenLeavesQueryClosedWithoutStaleRows)
{
    file.addUser(1, "alice");
    struct Case {
        const char *name;
        QStringList sql;
        QVariant param;
        const char *messagePart;
    };
    const Case cases[] = {
        {"engine error at prepare", {QStringLiteral("SELECT * FROM tblNoSuchTable")}, QVariant(), "no such table"},
        {"missing parameter", {QStringLiteral("SELECT * FROM tblUserInfo WHERE UserID = :UserID AND"),
                               QStringLiteral(" UserName = :iiedDate")}, QVariant(), ":iiedDate has no value"},
        {"engine error while stepping", {QStringLiteral("SELECT SUM(v) FROM (SELECT 9223372036854775807 AS v"),
                                         QStringLiteral(" UNION ALL SELECT 1)")}, QVariant(), "integer overflow"},
        {"date parameter never computed", {QStringLiteral("SELECT :UserID")},
         QVariant::fromValue(hvn::DbDateTime{}), ":UserID holds no valid date"},
        {"unsupported parameter type", {QStringLiteral("SELECT :UserID")}, QVariant(QStringList{}),
         ":UserID has a value of an unsupported type"},
        {"no statement", {QStringLiteral(" "), QStringLiteral(";")}, QVariant(), "no statement"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        query.clearParams();
        query.SQL() = QStringList{QStringLiteral("SELECT UserName FROM tblUserInfo")};
        ASSERT_EQ(openError(), "");
        ASSERT_EQ(query.rowCount(), 1);

        query.SQL() = c.sql;
        query.setParam(QStringLiteral("UserID"), c.param);
        const std::string error = openError();
        EXPECT_NE(error.find(c.messagePart), std::string::npos) << error;
        EXPECT_FALSE(query.active());
        EXPECT_EQ(query.rowCount(), 0);
        EXPECT_EQ(query.fieldCount(), 0);
    }
}

TEST_F(TQueryTest, SecondStatementIsRejectedNotSilentlyDropped)
{
    file.addUser(1, "alice");
    query.SQL() << QStringLiteral("SELECT 1;") << QStringLiteral("DELETE FROM tblUserInfo;");
    EXPECT_NE(openError().find("more than one statement"), std::string::npos);
    EXPECT_THROW(query.execSql(conn), std::runtime_error);
    SQLite::Statement count(file.db(), "SELECT COUNT(*) FROM tblUserInfo");
    ASSERT_TRUE(count.executeStep());
    EXPECT_EQ(count.getColumn(0).getInt(), 1);
}

TEST_F(TQueryTest, ExecSqlReportsChangedRowsAndCloseKeepsParameters)
{
    file.addUser(1, "alice");
    file.addUser(2, "bob");
    file.addUser(3, "carol");

    query.SQL() << QStringLiteral("UPDATE tblUserInfo SET SectionID = :SectionID") << QStringLiteral(" WHERE UserID >= :UserID;")
                << QString();
    query.setParam(QStringLiteral("SectionID"), 5);
    query.setParam(QStringLiteral("UserID"), 2);
    EXPECT_EQ(query.execSql(conn), 2);

    TQuery read;
    read.SQL() << QStringLiteral("SELECT UserName FROM tblUserInfo WHERE SectionID = :SectionID ORDER BY UserID");
    read.setParam(QStringLiteral("SectionID"), 5);
    read.open(conn);
    ASSERT_EQ(read.rowCount(), 2);
    EXPECT_EQ(read.value(0, 0).toString(), QStringLiteral("bob"));
    EXPECT_EQ(read.execSql(conn), 0); // a statement with rows changes none

    read.close();
    EXPECT_FALSE(read.active());
    EXPECT_EQ(read.rowCount(), 0);
    read.open(conn);
    EXPECT_EQ(read.rowCount(), 2);
}

} // namespace
} // namespace hvn::console
