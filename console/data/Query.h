#pragma once

#include <memory>

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "DbDateTime.h"
#include "data/CompactRows.h"
#include "data/DbDateTimeVariant.h"

namespace hvn::console {

class TDbConnection;

// A query as the windows use it: SQL text set line by line, named parameters set by name just
// before opening, results read by field name. The rows are fetched in full by open() and kept,
// compactly (CompactRows.h), until close(), which gives their memory back; SQL and parameter
// values stay set across close() and open(). UI thread only.
class TQuery {
public:
    // The statement's lines, sent joined by "\r\n". Exactly one statement: text after its
    // closing ";" other than blanks is an error when the query opens.
    QStringList &SQL();
    const QStringList &SQL() const;

    // Sets the value of the parameter ":name" (name given without the ':'). Binding by type:
    // an invalid or null QVariant binds NULL; integers and bool bind as integers; float and
    // double as reals; QString as text; QByteArray as a blob; a hvn::DbDateTime, QDateTime or
    // QDate as the date/time text "YYYY-MM-DD HH:MM:SS.SSS". Other types fail at open().
    // Values for names the statement does not use are ignored.
    void setParam(const QString &name, const QVariant &value);
    void setParamDateTime(const QString &name, const hvn::DbDateTime &value);
    // Forgets every parameter value.
    void clearParams();

    // Prepares the statement, binds every parameter by name and fetches every row; reopens an
    // open query. Throws std::runtime_error with the engine's text when the statement fails, and
    // when a parameter of the statement has no value set; the query is closed afterwards.
    void open(TDbConnection &conn);
    // As open(), but fetches no row: the query is active with its fields and no rows, and
    // fetch() brings the rows in slices from the statement, which stays open on the connection
    // (and in its transaction) until the last row or close().
    void openStream(TDbConnection &conn);
    // Appends up to maxRows rows from the statement opened by openStream(). True once every
    // row is in (the statement is finished then), also when nothing was streaming. On an engine
    // error it throws with the engine's text and the query is closed.
    bool fetch(int maxRows);
    // True between openStream() and the last row.
    bool fetching() const { return m_statement != nullptr; }
    // Finishes the statement early; the rows fetched so far stay.
    void endFetch() { m_statement.reset(); }
    // Finishes the statement and forgets the rows and the field list.
    void close();
    bool active() const;

    // 0 while closed.
    int rowCount() const;
    // Heap bytes held for the fetched rows.
    std::size_t rowBytes() const { return m_rows.bytesUsed(); }
    int fieldCount() const;
    // Result column names as SQLite reports them.
    QString fieldName(int column) const;
    // -1 when absent or closed. Names compare case-insensitively.
    int fieldIndex(const QString &name) const;
    // True when the column comes straight from a table column declared as a date or time
    // (its values are then the date/time text form).
    bool isDateTimeField(int column) const;

    // NULL or out of range -> invalid QVariant; integers as qlonglong, reals as double, text as
    // QString, blobs as QByteArray.
    QVariant value(int row, int column) const;
    QVariant value(int row, const QString &field) const;

    // Runs a statement without rows on its own (no transaction); returns the number of rows it
    // changed. Same binding and errors as open(); does not touch the fetched rows.
    int execSql(TDbConnection &conn);

private:
    struct Field {
        QString name;
        bool dateTime = false;
    };

    struct StatementEnd {
        void operator()(sqlite3_stmt *stmt) const;
    };

    QStringList m_sql;
    QVector<QPair<QString, QVariant>> m_params;
    bool m_active = false;
    QVector<Field> m_fields;
    CompactRows m_rows;
    std::unique_ptr<sqlite3_stmt, StatementEnd> m_statement; // while rows remain to fetch
};

} // namespace hvn::console
