#include "data/DbGridModel.h"

#include <gtest/gtest.h>

#include "data/DbConnection.h"
#include "data/FieldText.h"
#include "data/Query.h"
#include "data/StatisticsQueries.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

TEST(FieldText, DisplayTextsOfValues)
{
    struct Case {
        QVariant value;
        bool dateTimeField;
        QString text;
    };
    const Case cases[] = {
        {QVariant(50.0), false, "50"},
        {QVariant(33.3), false, "33.3"},
        {QVariant(-20.0), false, "-20"},
        {QVariant(-0.0), false, "0"},
        {QVariant(qlonglong(1234567)), false, "1234567"},
        {QVariant(), false, ""},
        {QVariant(QStringLiteral("2004-04-01 09:30:15.250")), true, "2004/04/01 9:30:15"},
        {QVariant(QStringLiteral("2004-12-31 23:05:09.000")), true, "2004/12/31 23:05:09"},
        {QVariant(QStringLiteral("2004-04-01 00:00:00.001")), true, "2004/04/01 0:00:00"},
        {QVariant(QStringLiteral("2004-04-01 00:00:00.000")), true, "2004/04/01"},
        {QVariant(QStringLiteral("2004-04-01 09:30:15.250")), false, "2004-04-01 09:30:15.250"},
        {QVariant(QStringLiteral("not a date")), true, "not a date"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(fieldDisplayText(c.value, c.dateTimeField), c.text);
    }
}

class TDbGridModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        file.addUser(1, "alice");
        file.addPrinter(1, "P1", "P1");
        file.addRecord(1, 1, "PC1", 3, 3, 2, "2004-04-01 09:30:15.250");
        file.addRecord(1, 1, "PC2", 0, 0, 0, "2004-04-02 10:00:00.000");
        query.SQL() = qReciveDataSql();
        query.setParamDateTime(QStringLiteral("iistDate"), *hvn::DbDateTime::make(2004, 4, 1));
        query.setParamDateTime(QStringLiteral("iiedDate"), *hvn::DbDateTime::make(2004, 5, 1));
    }

    QString text(const TDbGridModel &model, int row, int column) const
    {
        return model.data(model.index(row, column)).toString();
    }

    test::TestDatabase file;
    TDbConnection conn{file.connectionString()};
    TQuery query;
};

TEST_F(TDbGridModelTest, ShowsRowsAsTheGridDisplaysThem)
{
    TDbGridModel model(query, dbgReciveDataColumns());
    EXPECT_EQ(model.columnCount(), 8);
    EXPECT_EQ(model.rowCount(), 0);

    query.open(conn);
    model.refresh();
    ASSERT_EQ(model.rowCount(), 2);
    const QStringList newest{"alice", "P1", "PC2", "0", "0", "0", "", "2004/04/02 10:00:00"};
    const QStringList oldest{"alice", "P1", "PC1", "3", "3", "2", "33.3", "2004/04/01 9:30:15"};
    for (int column = 0; column < model.columnCount(); ++column) {
        EXPECT_EQ(text(model, 0, column), newest[column]) << column;
        EXPECT_EQ(text(model, 1, column), oldest[column]) << column;
    }
    EXPECT_EQ(model.data(model.index(1, 6), Qt::EditRole), QVariant(33.3));
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);

    query.close();
    model.refresh();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(TDbGridModelTest, AlignsCellsByColumnAndCentresTitles)
{
    query.open(conn);
    TDbGridModel model(query, dbgReciveDataColumns());
    auto cellAlignment = [&](int column) {
        return Qt::Alignment(model.data(model.index(0, column), Qt::TextAlignmentRole).toInt());
    };
    EXPECT_TRUE(cellAlignment(0) & Qt::AlignLeft);           // UserName
    EXPECT_TRUE(cellAlignment(3) & Qt::AlignRight);          // dp
    EXPECT_TRUE(cellAlignment(6) & Qt::AlignRight);          // Expr1007
    EXPECT_TRUE(cellAlignment(7) & Qt::AlignHCenter);        // dbDateTime
    for (int column = 0; column < model.columnCount(); ++column) {
        EXPECT_EQ(Qt::Alignment(model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt()),
                  Qt::Alignment(Qt::AlignCenter));
    }
    EXPECT_EQ(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("削減率(%)"));
}

TEST_F(TDbGridModelTest, BindsColumnsByFieldNameNotPosition)
{
    query.open(conn);
    const QVector<TGridColumn> columns{
        {QStringLiteral("dbdatetime"), QStringLiteral("when"), 100, true, Qt::AlignCenter},
        {QStringLiteral("sp"), QStringLiteral("sheets"), 80, true, Qt::AlignRight},
        {QStringLiteral("NoSuchField"), QStringLiteral("none"), 80, true, Qt::AlignLeft},
        {QStringLiteral("UserName"), QStringLiteral("user"), 80, true, Qt::AlignLeft},
    };
    TDbGridModel model(query, columns);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(text(model, 1, 0), QStringLiteral("2004/04/01 9:30:15"));
    EXPECT_EQ(text(model, 1, 1), QStringLiteral("2"));
    EXPECT_EQ(text(model, 1, 2), QString());
    EXPECT_EQ(text(model, 1, 3), QStringLiteral("alice"));
}

} // namespace
} // namespace hvn::console
