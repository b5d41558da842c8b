#include "data/SectionRollUp.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include "data/DbConnection.h"
#include "data/Query.h"

namespace hvn::console {

namespace {

// Restores full durability when the roll-up ends, however it ends.
class RelaxedSync {
public:
    explicit RelaxedSync(SQLite::Database &db) : m_db(db) { m_db.exec("PRAGMA synchronous=NORMAL"); }
    ~RelaxedSync()
    {
        try {
            m_db.exec("PRAGMA synchronous=FULL");
        } catch (...) {
        }
    }
    RelaxedSync(const RelaxedSync &) = delete;
    RelaxedSync &operator=(const RelaxedSync &) = delete;

private:
    SQLite::Database &m_db;
};

void run(TDbConnection &conn, TQuery &query, const QStringList &sql)
{
    query.close();
    query.SQL() = sql;
    query.execSql(conn);
}

} // namespace

QStringList rollUpPrepareSql()
{
    // Not a rowid table: a SectionID that is no integer is kept as it is.
    return {QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS hvnTargetLevel"),
            QStringLiteral(" (SectionID INTEGER PRIMARY KEY, TargetLevelID INTEGER, TargetLevelName TEXT)"),
            QStringLiteral(" WITHOUT ROWID;")};
}

QStringList rollUpClearSql()
{
    return {QStringLiteral("DELETE FROM temp.hvnTargetLevel;")};
}

// One walk per distinct SectionID of the users, a step per section climbed; `path` holds the
// identifiers passed, so a cycle ends the walk, and the deepest step of each walk is its end.
QStringList rollUpTargetsSql()
{
    return {
        QStringLiteral("INSERT INTO temp.hvnTargetLevel (SectionID, TargetLevelID, TargetLevelName)"),
        QStringLiteral("SELECT start, target, CASE WHEN name = '' THEN 'No Section' ELSE name END"),
        QStringLiteral(" FROM ("),
        QStringLiteral("  WITH RECURSIVE walk(start, cur, name, target, path, depth) AS ("),
        QStringLiteral("   SELECT DISTINCT SectionID, SectionID, '', 0, ',', 0"),
        QStringLiteral("    FROM tblUserInfo WHERE SectionID <> 0"),
        QStringLiteral("   UNION ALL"),
        QStringLiteral("   SELECT w.start, COALESCE(s.ParentSectionID, 0),"),
        QStringLiteral("    CASE WHEN COALESCE(s.SectionLevel, 0) = :Level THEN COALESCE(s.SectionName, '')"),
        QStringLiteral("         WHEN COALESCE(s.SectionLevel, 0) > :Level THEN ''"),
        QStringLiteral("         WHEN w.name <> '' THEN COALESCE(s.SectionName, '') || ' ' || w.name"),
        QStringLiteral("         ELSE '' END,"),
        QStringLiteral("    CASE WHEN COALESCE(s.SectionLevel, 0) = :Level THEN w.cur ELSE w.target END,"),
        QStringLiteral("    w.path || w.cur || ',', w.depth + 1"),
        QStringLiteral("    FROM walk AS w JOIN tblSectionInfo AS s"),
        QStringLiteral("     ON s.rowid = (SELECT MIN(rowid) FROM tblSectionInfo WHERE SectionID = w.cur)"),
        QStringLiteral("    WHERE w.cur <> 0 AND instr(w.path, ',' || w.cur || ',') = 0"),
        QStringLiteral("  )"),
        QStringLiteral("  SELECT start, target, name, MAX(depth) FROM walk GROUP BY start"),
        QStringLiteral(" );"),
    };
}

// Names compare as written (BINARY), so a change of letter case is written too.
QStringList rollUpApplySql()
{
    return {
        QStringLiteral("UPDATE tblUserInfo"),
        QStringLiteral(" SET TargetLevelID = n.id, TargetLevelName = n.name"),
        QStringLiteral(" FROM (SELECT u.rowid AS r, COALESCE(t.TargetLevelID, 0) AS id,"),
        QStringLiteral("        COALESCE(t.TargetLevelName, 'No Section') AS name"),
        QStringLiteral("       FROM tblUserInfo AS u"),
        QStringLiteral("       LEFT JOIN temp.hvnTargetLevel AS t ON t.SectionID = u.SectionID) AS n"),
        QStringLiteral(" WHERE tblUserInfo.rowid = n.r"),
        QStringLiteral("   AND (tblUserInfo.TargetLevelID IS NOT n.id"),
        QStringLiteral("        OR tblUserInfo.TargetLevelName IS NOT n.name COLLATE BINARY);"),
    };
}

void setTargetLevel(TDbConnection &conn, int level)
{
    TQuery query;
    SQLite::Database &db = conn.database();
    RelaxedSync relaxed(db);
    SQLite::Transaction transaction(db);
    query.setParam(QStringLiteral("Level"), level);
    run(conn, query, rollUpPrepareSql());
    run(conn, query, rollUpClearSql());
    run(conn, query, rollUpTargetsSql());
    run(conn, query, rollUpApplySql());
    transaction.commit();
}

} // namespace hvn::console
