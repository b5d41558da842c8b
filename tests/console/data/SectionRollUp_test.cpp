#include "data/SectionRollUp.h"

#include <cstdint>
#include <set>

#include <gtest/gtest.h>

#include "data/DbConnection.h"
#include "data/Query.h"
#include "TestDatabase.h"

namespace hvn::console {
namespace {

// The roll-up as the plain per-user walk: one SELECT per section climbed and one UPDATE per
// user, each on its own. The set-based statements must leave the same values behind.
void referenceRollUp(SQLite::Database &db, int level)
{
    SQLite::Statement users(db, "SELECT UserID, SectionID FROM tblUserInfo");
    SQLite::Statement section(db, "SELECT SectionName, ParentSectionID, SectionLevel FROM tblSectionInfo"
                                  " WHERE SectionID = ?");
    SQLite::Statement update(db, "UPDATE tblUserInfo SET TargetLevelID = ?, TargetLevelName = ? WHERE UserID = ?");
    while (users.executeStep()) {
        std::string name;
        std::int64_t target = 0;
        std::int64_t current = users.getColumn(1).getInt64();
        std::set<std::int64_t> visited;
        while (current != 0 && visited.insert(current).second) {
            section.reset();
            section.bind(1, current);
            if (!section.executeStep())
                break;
            const std::int64_t sectionLevel = section.getColumn(2).getInt64();
            const std::string sectionName = section.getColumn(0).getString();
            if (sectionLevel == level) {
                target = current;
                name = sectionName;
            } else if (sectionLevel > level) {
                name.clear();
            } else if (!name.empty()) {
                name = sectionName + " " + name;
            }
            current = section.getColumn(1).getInt64();
        }
        update.reset();
        update.bind(1, target);
        update.bind(2, name.empty() ? "No Section" : name);
        update.bind(3, users.getColumn(0).getInt64());
        update.exec();
    }
}

std::vector<std::string> targets(SQLite::Database &db)
{
    std::vector<std::string> rows;
    SQLite::Statement query(db, "SELECT UserID, typeof(TargetLevelID), TargetLevelID, TargetLevelName"
                                " FROM tblUserInfo ORDER BY rowid");
    while (query.executeStep())
        rows.push_back(query.getColumn(0).getString() + ":" + query.getColumn(1).getString() + ":" +
                       query.getColumn(2).getString() + ":" + query.getColumn(3).getString());
    return rows;
}

// A tree A(1) > B(2) > C(3) > D(4); a second section 2 later in the table (the first in
// table order counts); a deleted section; a parent chain that loops (10 <-> 11) and one that
// loops back onto itself below a section of the level (12 -> 13 -> 12); a section whose
// level lies above its parent's (20 under 3, level 2); NULL names and levels; users in no
// section (0 and NULL), in the deleted section, in a section that does not exist, and users
// whose scratch columns hold stale values, one differing from the result only by case.
TEST(SectionRollUp, SetBasedStatementsLeaveWhatThePerUserWalkLeaves)
{
    test::TestDatabase file;
    SQLite::Database &db = file.db();
    db.exec("INSERT INTO tblSectionInfo (SectionID, SectionName, ParentSectionID, SectionLevel, SectionFullName)"
            " VALUES (1, 'A', 0, 1, 'A'), (2, 'B', 1, 2, 'A B'), (3, 'C', 2, 3, 'A B C'), (4, 'D', 3, 4, 'A B C D'),"
            " (2, 'B2', 0, 1, 'B2'), (5, 'delete', -1, -1, 'delete'),"
            " (10, 'x10', 11, 2, 'x10'), (11, 'x11', 10, 1, 'x11'), (12, 'y12', 13, 3, ''), (13, 'y13', 12, 2, ''),"
            " (20, 'E', 3, 2, ''), (21, NULL, 1, 2, ''), (22, 'F', 21, NULL, ''), (23, 'G', NULL, 3, '')");
    int id = 1;
    for (const char *section : {"1", "2", "3", "4", "5", "0", "NULL", "99", "10", "11", "12", "13", "20", "21", "22",
                                "23", "4", "0"}) {
        db.exec("INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName, TargetLevelID, TargetLevelName)"
                " VALUES (" + std::to_string(id) + ", 'u', " + section + ", 'u', 7, 'stale')");
        ++id;
    }
    db.exec("UPDATE tblUserInfo SET TargetLevelID = 0, TargetLevelName = 'no section' WHERE UserID = 6");

    TDbConnection conn(file.connectionString());
    for (int level : {1, 2, 3, 4, 5, 0, -1, 2}) {
        SCOPED_TRACE(level);
        setTargetLevel(conn, level);
        const std::vector<std::string> setBased = targets(db);
        referenceRollUp(db, level);
        EXPECT_EQ(setBased, targets(db));
        db.exec("UPDATE tblUserInfo SET TargetLevelID = 7, TargetLevelName = 'stale' WHERE UserID % 3 = 0");
    }
}

TEST(SectionRollUp, ErrorChangesNoUser)
{
    test::TestDatabase file;
    SQLite::Database &db = file.db();
    file.addUser(1, "u1");
    db.exec("UPDATE tblUserInfo SET TargetLevelID = 7, TargetLevelName = 'old'");
    // Fails only once the first user row has been written.
    db.exec("CREATE TRIGGER refuse AFTER UPDATE ON tblUserInfo BEGIN SELECT RAISE(ABORT, 'refused'); END");
    TDbConnection conn(file.connectionString());
    EXPECT_THROW(setTargetLevel(conn, 1), std::runtime_error);
    EXPECT_EQ(targets(db), std::vector<std::string>{"1:integer:7:old"});
    db.exec("DROP TRIGGER refuse");
    setTargetLevel(conn, 1);
    EXPECT_EQ(targets(db), std::vector<std::string>{"1:integer:0:No Section"});
}

} // namespace
} // namespace hvn::console
