#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace hvn::console {

// The plain controls of the fixed-layout dialogs, each a child of parent with its object name
// and geometry in pixels. Buttons never become the default through focus, so Enter keeps to
// the dialog's declared default. GUI thread only.
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry);
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry);
QLineEdit *makeEdit(QWidget *parent, const char *name, const QRect &geometry);
// A list of names with at most one entry selected.
QListWidget *makeList(QWidget *parent, const char *name, const QRect &geometry);

// The list's texts, top to bottom.
QStringList listEntries(const QListWidget &list);

} // namespace hvn::console
