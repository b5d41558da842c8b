#pragma once

#include <optional>

#include <QList>
#include <QString>

class QTreeWidget;
class QTreeWidgetItem;

namespace hvn::console {

class DatabaseLock;
class ReadSnapshot;
class TDbConnection;
class TQuery;

// The section tree as the section editor and the membership dialog show it: one node per
// live section of tblSectionInfo, labelled with its name, carrying its SectionID. "Tree order"
// is every node, expanded or not, each before its children, siblings in their order.
// GUI thread only.

// One column, no header, indent 19, one node selected at most, the selection drawn the same
// with or without focus.
void setUpSectionTree(QTreeWidget &tree);

int sectionID(const QTreeWidgetItem *node);
QTreeWidgetItem *selectedNode(const QTreeWidget &tree);
// Selects the node (nullptr: nothing) and makes it current.
void selectNode(QTreeWidget &tree, QTreeWidgetItem *node);
QList<QTreeWidgetItem *> treeOrder(const QTreeWidget &tree);
// The first node in tree order whose SectionID is id, or nullptr.
QTreeWidgetItem *findNodeByID(const QTreeWidget &tree, int id);
// Selects the first node in tree order whose SectionID is id; leaves the selection alone when
// there is none.
void SelectNodeByID(QTreeWidget &tree, int id);
// The labels from the top-level ancestor down to the node, joined by the separator.
QString nodePath(const QTreeWidgetItem *node, const QString &separator);

struct SectionTreeLoad {
    // The highest SectionID of every row read, deleted rows included, so that an identifier
    // once given is never given again; 0 for an empty table.
    int maxSectionID = 0;
    // False when a database error ended the reading; the tree then holds the nodes built so far.
    bool complete = false;
};

// Empties the tree and builds it from "SELECT * FROM tblSectionInfo" in ascending SectionID
// order, so every parent comes before its children. Rows whose ParentSectionID is -1 are
// deleted sections and are skipped; ParentSectionID 0 makes a top-level node; any other row
// goes under the node SelectNodeByID finds for its parent, or, when there is none, under the
// node of the row placed before it. A database error is not thrown: it ends the reading.
// Leaves the first node selected, or nothing when the tree is empty. The caller holds the lock.
SectionTreeLoad loadSectionTree(QTreeWidget &tree, TQuery &query, TDbConnection &connection,
                                bool editableLabels);

// The read snapshot a tree load runs on (the lock goes back with it). Empty when it cannot be
// fixed: the lock is then still held and loadSectionTree() meets the same failure and reports
// it as an incomplete load, as it does every failure of its reading.
std::optional<ReadSnapshot> sectionTreeSnapshot(DatabaseLock &lock, TDbConnection &connection);

} // namespace hvn::console
