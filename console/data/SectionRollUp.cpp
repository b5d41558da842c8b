#include "data/SectionRollUp.h"

#include <QSet>
#include <QString>

#include "data/Query.h"

namespace hvn::console {

void setTargetLevel(TDbConnection &conn, int level)
{
    // The roll-up's own queries: users, one section row, the update.
    TQuery users;
    users.SQL() = {QStringLiteral("SELECT UserID,SectionID"), QStringLiteral(" FROM tblUserInfo;")};
    users.open(conn);

    TQuery section;
    section.SQL() = {QStringLiteral("SELECT SectionName,ParentSectionID,SectionLevel"),
                     QStringLiteral(" FROM tblSectionInfo"), QStringLiteral(" WHERE SectionID=:SectionID;")};
    TQuery update;
    update.SQL() = {QStringLiteral("UPDATE tblUserInfo"), QStringLiteral(" SET"),
                    QStringLiteral(" TargetLevelID=:TargetLevelID,"),
                    QStringLiteral(" TargetLevelName=:TargetLevelName"), QStringLiteral(" WHERE UserID=:UserID;")};

    for (int row = 0; row < users.rowCount(); ++row) {
        QString name;
        qlonglong target = 0;
        qlonglong current = users.value(row, QStringLiteral("SectionID")).toLongLong();
        // Each step climbs to the parent, so a tree ends at 0 or at a missing identifier. A
        // damaged table whose parents form a cycle ends the walk where it comes round again.
        QSet<qlonglong> visited;
        while (current != 0 && !visited.contains(current)) {
            visited.insert(current);
            section.close();
            section.setParam(QStringLiteral("SectionID"), current);
            section.open(conn);
            if (section.rowCount() == 0)
                break;
            const qlonglong sectionLevel = section.value(0, QStringLiteral("SectionLevel")).toLongLong();
            const QString sectionName = section.value(0, QStringLiteral("SectionName")).toString();
            if (sectionLevel == level) {
                target = current;
                name = sectionName;
            } else if (sectionLevel > level) {
                name.clear();
            } else if (!name.isEmpty()) {
                name = sectionName + QLatin1Char(' ') + name;
            }
            current = section.value(0, QStringLiteral("ParentSectionID")).toLongLong();
        }
        if (name.isEmpty())
            name = QStringLiteral("No Section");
        update.setParam(QStringLiteral("TargetLevelID"), target);
        update.setParam(QStringLiteral("TargetLevelName"), name);
        update.setParam(QStringLiteral("UserID"), users.value(row, QStringLiteral("UserID")).toLongLong());
        update.execSql(conn);
    }
}

} // namespace hvn::console
