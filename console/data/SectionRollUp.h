#pragma once

#include <QStringList>

namespace hvn::console {

class TDbConnection;

// The section roll-up (SetTargetLevel): rewrites the scratch columns TargetLevelID and
// TargetLevelName of every user for the given level of the section tree, as set-based
// statements in one transaction.
//
// Per user: the walk up the user's chain from its SectionID (own section, parent, ...), through
// the first row in table order of each identifier, which ends at 0, at an identifier without a
// row, or where the chain comes round to a section it passed (a damaged table). TargetLevelID
// becomes the section at the level met on the way, or 0. TargetLevelName becomes that
// section's name, prefixed by the name and one blank of each section above it up to the first
// one below the level met above it (which empties the name), or "No Section" when empty: in a
// well-formed tree the names from the top down to the section at the level. A user with
// SectionID 0 or NULL gets 0 and "No Section".
//
// The caller holds the console's database lock for the call and for every read of the two
// columns that follows. A database error throws std::exception with the engine's text and no
// user's values change. The two columns are scratch that every reader rebuilds first, so the
// transaction is committed without waiting for the disk. UI thread only (the connection's
// thread).
void setTargetLevel(TDbConnection &conn, int level);

// The statements, for benchmarks: rollUpTargetsSql() computes the result per distinct
// SectionID of the users into the temporary table temp.hvnTargetLevel (made by
// rollUpPrepareSql(), emptied by rollUpClearSql()), taking the level as ":Level";
// rollUpApplySql() writes it into tblUserInfo, touching only the users whose values change.
QStringList rollUpPrepareSql();
QStringList rollUpClearSql();
QStringList rollUpTargetsSql();
QStringList rollUpApplySql();

} // namespace hvn::console
