#include "windows/SectionTree.h"

#include <algorithm>
#include <exception>

#include <QHeaderView>
#include <QPalette>
#include <QTreeWidget>

#include "data/Query.h"
#include "lock/DatabaseLock.h"

namespace hvn::console {

void setUpSectionTree(QTreeWidget &tree)
{
    tree.setColumnCount(1);
    tree.setHeaderHidden(true);
    tree.setIndentation(19);
    tree.setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette palette = tree.palette();
    palette.setBrush(QPalette::Inactive, QPalette::Highlight, palette.brush(QPalette::Active, QPalette::Highlight));
    palette.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                     palette.brush(QPalette::Active, QPalette::HighlightedText));
    tree.setPalette(palette);
}

int sectionID(const QTreeWidgetItem *node)
{
    return node ? node->data(0, Qt::UserRole).toInt() : 0;
}

QTreeWidgetItem *selectedNode(const QTreeWidget &tree)
{
    const QList<QTreeWidgetItem *> selected = tree.selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void selectNode(QTreeWidget &tree, QTreeWidgetItem *node)
{
    if (!node) {
        tree.clearSelection();
        tree.setCurrentItem(nullptr);
        return;
    }
    tree.setCurrentItem(node);
    node->setSelected(true);
}

namespace {

void appendSubtree(QTreeWidgetItem *node, QList<QTreeWidgetItem *> &order)
{
    order.append(node);
    for (int i = 0; i < node->childCount(); ++i)
        appendSubtree(node->child(i), order);
}

QTreeWidgetItem *appendNode(QTreeWidget &tree, QTreeWidgetItem *parent, const QString &label, int id)
{
    auto *node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(&tree);
    node->setText(0, label);
    node->setData(0, Qt::UserRole, id);
    return node;
}

} // namespace

QList<QTreeWidgetItem *> treeOrder(const QTreeWidget &tree)
{
    QList<QTreeWidgetItem *> order;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        appendSubtree(tree.topLevelItem(i), order);
    return order;
}

QTreeWidgetItem *findNodeByID(const QTreeWidget &tree, int id)
{
    for (QTreeWidgetItem *node : treeOrder(tree)) {
        if (sectionID(node) == id)
            return node;
    }
    return nullptr;
}

void SelectNodeByID(QTreeWidget &tree, int id)
{
    if (QTreeWidgetItem *node = findNodeByID(tree, id))
        selectNode(tree, node);
}

QString nodePath(const QTreeWidgetItem *node, const QString &separator)
{
    if (!node)
        return QString();
    QString path = node->text(0);
    for (const QTreeWidgetItem *up = node->parent(); up; up = up->parent())
        path = up->text(0) + separator + path;
    return path;
}

SectionTreeLoad loadSectionTree(QTreeWidget &tree, TQuery &query, TDbConnection &connection,
                                bool editableLabels)
{
    SectionTreeLoad result;
    selectNode(tree, nullptr);
    tree.clear();
    // The node of the row placed last stands for the selection that each added node takes.
    QTreeWidgetItem *current = nullptr;
    try {
        query.close();
        query.clearParams();
        query.SQL() = QStringList{QStringLiteral("SELECT * FROM tblSectionInfo ORDER BY SectionID;")};
        query.open(connection);
        for (int row = 0; row < query.rowCount(); ++row) {
            const int parentID = query.value(row, QStringLiteral("ParentSectionID")).toInt();
            const int id = query.value(row, QStringLiteral("SectionID")).toInt();
            result.maxSectionID = std::max(result.maxSectionID, id);
            if (parentID == -1)
                continue;
            QTreeWidgetItem *parent = nullptr;
            if (parentID != 0) {
                if (QTreeWidgetItem *found = findNodeByID(tree, parentID))
                    current = found;
                parent = current;
            }
            current = appendNode(tree, parent, query.value(row, QStringLiteral("SectionName")).toString(), id);
            if (editableLabels)
                current->setFlags(current->flags() | Qt::ItemIsEditable);
        }
        result.complete = true;
    } catch (const std::exception &) {
        // The tree keeps the nodes built so far; the caller knows from `complete`.
    }
    query.close();
    selectNode(tree, tree.topLevelItem(0));
    return result;
}

std::optional<ReadSnapshot> sectionTreeSnapshot(DatabaseLock &lock, TDbConnection &connection)
{
    try {
        return lock.readSnapshot(connection);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace hvn::console
