#pragma once

namespace hvn::console {

class TDbConnection;

// The section roll-up (SetTargetLevel): rewrites the scratch columns TargetLevelID and
// TargetLevelName of every user for the given level of the section tree. TargetLevelID becomes
// the SectionID of the section at that level on the user's chain (the user's own section, its
// parent, ...), or 0; TargetLevelName the names from the top of the chain down to it, joined by
// single blanks, or "No Section". A SectionID or parent not in tblSectionInfo ends a user's
// walk, and so does a parent chain that comes round to a section already visited.
//
// The caller holds the console's database lock for the call and for every read of the two
// columns that follows. Each user's UPDATE takes effect on its own; a database error throws
// std::exception with the engine's text, and the users done so far keep their new values.
// UI thread only (the connection's thread).
void setTargetLevel(TDbConnection &conn, int level);

} // namespace hvn::console
