#include "data/Query.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include <QDate>
#include <QDateTime>
#include <QMetaType>

#include <SQLiteCpp/Database.h>
#include <sqlite3.h>

#include "data/DbConnection.h"

namespace hvn::console {

namespace {

struct StatementDeleter {
    void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

[[noreturn]] void throwEngineError(sqlite3 *db)
{
    throw std::runtime_error(sqlite3_errmsg(db));
}

std::string parameterError(const QString &name, const char *what)
{
    return "parameter :" + name.toStdString() + " " + what;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Only blanks and empty statements may follow the one statement of a query.
bool onlyBlanks(const char *text)
{
    for (; *text; ++text) {
        const char c = *text;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != ';')
            return false;
    }
    return true;
}

void bindText(sqlite3 *db, sqlite3_stmt *stmt, int index, const QByteArray &utf8)
{
    if (sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        throwEngineError(db);
}

void bindValue(sqlite3 *db, sqlite3_stmt *stmt, int index, const QString &name, const QVariant &value)
{
    int rc = SQLITE_OK;
    const QMetaType type = value.metaType();
    if (!value.isValid() || type.id() == QMetaType::Nullptr) {
        rc = sqlite3_bind_null(stmt, index);
    } else if (type == QMetaType::fromType<hvn::DbDateTime>()) {
        const auto dt = value.value<hvn::DbDateTime>();
        if (!dt.isValid())
            throw std::runtime_error(parameterError(name, "holds no valid date and time"));
        bindText(db, stmt, index, QByteArray::fromStdString(dt.toText()));
    } else {
        switch (type.id()) {
        case QMetaType::QDateTime: {
            const QDateTime dt = value.toDateTime();
            if (!dt.isValid())
                throw std::runtime_error(parameterError(name, "holds no valid date and time"));
            bindText(db, stmt, index, dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8());
            break;
        }
        case QMetaType::QDate: {
            const QDate d = value.toDate();
            if (!d.isValid())
                throw std::runtime_error(parameterError(name, "holds no valid date"));
            bindText(db, stmt, index, (d.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00.000")).toUtf8());
            break;
        }
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, index, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
            rc = sqlite3_bind_int64(stmt, index, value.toLongLong());
            break;
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong v = value.toULongLong();
            if (v > static_cast<qulonglong>(std::numeric_limits<std::int64_t>::max()))
                throw std::runtime_error(parameterError(name, "is too large for an integer"));
            rc = sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(v));
            break;
        }
        case QMetaType::Float:
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, index, value.toDouble());
            break;
        case QMetaType::QString:
            bindText(db, stmt, index, value.toString().toUtf8());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(stmt, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default:
            throw std::runtime_error(parameterError(name, "has a value of an unsupported type: ") +
                                     (type.name() ? type.name() : "unknown"));
        }
    }
    if (rc != SQLITE_OK)
        throwEngineError(db);
}

// Prepares the joined lines as one statement and binds every parameter it names.
StatementPtr prepareBound(sqlite3 *db, const QStringList &sql, const QVector<QPair<QString, QVariant>> &params)
{
    const QByteArray text = sql.join(QStringLiteral("\r\n")).toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &raw, &tail);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK)
        throwEngineError(db);
    if (!stmt)
        throw std::runtime_error("the query has no statement");
    if (tail && !onlyBlanks(tail))
        throw std::runtime_error("the query holds more than one statement");

    const int count = sqlite3_bind_parameter_count(stmt.get());
    for (int index = 1; index <= count; ++index) {
        const char *rawName = sqlite3_bind_parameter_name(stmt.get(), index);
        if (!rawName || !rawName[0] || !rawName[1])
            throw std::runtime_error("the query has a parameter without a name");
        const QString name = QString::fromUtf8(rawName + 1); // without its ':', '@' or '$'
        const QPair<QString, QVariant> *found = nullptr;
        for (const auto &param : params) {
            if (sameName(param.first, name))
                found = &param;
        }
        if (!found)
            throw std::runtime_error(parameterError(name, "has no value"));
        bindValue(db, stmt.get(), index, name, found->second);
    }
    return stmt;
}

bool isDateTimeType(const char *declType)
{
    if (!declType)
        return false;
    const QString upper = QString::fromUtf8(declType).toUpper();
    return upper.contains(QLatin1String("DATE")) || upper.contains(QLatin1String("TIME"));
}

} // namespace

QStringList &TQuery::SQL()
{
    return m_sql;
}

const QStringList &TQuery::SQL() const
{
    return m_sql;
}

void TQuery::setParam(const QString &name, const QVariant &value)
{
    for (auto &param : m_params) {
        if (sameName(param.first, name)) {
            param.second = value;
            return;
        }
    }
    m_params.append({name, value});
}

void TQuery::setParamDateTime(const QString &name, const hvn::DbDateTime &value)
{
    setParam(name, QVariant::fromValue(value));
}

void TQuery::clearParams()
{
    m_params.clear();
}

void TQuery::StatementEnd::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

void TQuery::open(TDbConnection &conn)
{
    openStream(conn);
    fetch(std::numeric_limits<int>::max());
}

void TQuery::openStream(TDbConnection &conn)
{
    close();
    sqlite3 *db = conn.database().getHandle();
    StatementPtr stmt = prepareBound(db, m_sql, m_params);

    const int columns = sqlite3_column_count(stmt.get());
    QVector<Field> fields;
    fields.reserve(columns);
    std::vector<bool> dateTimeColumns;
    dateTimeColumns.reserve(static_cast<std::size_t>(columns));
    for (int column = 0; column < columns; ++column) {
        const bool dateTime = isDateTimeType(sqlite3_column_decltype(stmt.get(), column));
        fields.append({QString::fromUtf8(sqlite3_column_name(stmt.get(), column)), dateTime});
        dateTimeColumns.push_back(dateTime);
    }
    m_rows.reset(dateTimeColumns);
    m_fields = std::move(fields);
    m_statement.reset(stmt.release());
    m_active = true;
}

bool TQuery::fetch(int maxRows)
{
    if (!m_statement)
        return true;
    for (int fetched = 0; fetched < maxRows; ++fetched) {
        const int rc = sqlite3_step(m_statement.get());
        if (rc == SQLITE_DONE) {
            m_statement.reset();
            return true;
        }
        if (rc != SQLITE_ROW) {
            const std::string error = sqlite3_errmsg(sqlite3_db_handle(m_statement.get()));
            close();
            throw std::runtime_error(error);
        }
        m_rows.appendRow(m_statement.get());
    }
    return false;
}

void TQuery::close()
{
    m_statement.reset();
    m_active = false;
    m_fields.clear();
    m_rows.clear();
}

bool TQuery::active() const
{
    return m_active;
}

int TQuery::rowCount() const
{
    return m_rows.rowCount();
}

int TQuery::fieldCount() const
{
    return static_cast<int>(m_fields.size());
}

QString TQuery::fieldName(int column) const
{
    if (column < 0 || column >= m_fields.size())
        return QString();
    return m_fields[column].name;
}

int TQuery::fieldIndex(const QString &name) const
{
    for (int column = 0; column < m_fields.size(); ++column) {
        if (sameName(m_fields[column].name, name))
            return column;
    }
    return -1;
}

bool TQuery::isDateTimeField(int column) const
{
    return column >= 0 && column < m_fields.size() && m_fields[column].dateTime;
}

QVariant TQuery::value(int row, int column) const
{
    return m_rows.value(row, column);
}

QVariant TQuery::value(int row, const QString &field) const
{
    return value(row, fieldIndex(field));
}

int TQuery::execSql(TDbConnection &conn)
{
    sqlite3 *db = conn.database().getHandle();
    StatementPtr stmt = prepareBound(db, m_sql, m_params);
    for (;;) {
        const int rc = sqlite3_step(stmt.get());
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW)
            throwEngineError(db);
    }
    return sqlite3_stmt_readonly(stmt.get()) ? 0 : sqlite3_changes(db);
}

} // namespace hvn::console
