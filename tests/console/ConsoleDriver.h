#pragma once

#include <fstream>
#include <string>

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace hvn::console {

class TMainForm;

namespace test {

// Drives the running console from a file of commands, one a line, for the process tests. A
// command runs only once the console is idle: the first tab has loaded, no lock bracket or
// busy cursor is open, and every command still under way is waiting in a modal dialog it
// opened. Commands act through the real widgets, found by object name in the topmost modal
// dialog, or in the main window when none is open:
//   trigger ACTION        the main window's menu item (it may open a modal dialog)
//   click WIDGET          a left click in the middle of the widget
//   type WIDGET TEXT      replaces a line edit's text, committed as an input method does
//   select WIDGET TEXT    clicks the item of a list or tree with that text, or moves a combo
//                         box to that item with the arrow keys
//   updown WIDGET N       clicks an up-down control's buttons until its position is N
//   tab SHEET             clicks the title of the main window's tab with that sheet
//   dump WIDGET           writes "[WIDGET]", then a grid's visible title row (when shown) and
//                         rows, or a combo box's items, one a line, cells joined by '|'
//   echo TEXT             writes "# TEXT"
// Output goes to standard output. A command that cannot be carried out, or a console still
// busy after 30 s, writes "driver error: line N: ..." and ends the program; failed() then
// says so. The file may be a pipe: a line is read only when the next command may run.
// GUI thread only.
class ConsoleDriver : public QObject {
    Q_OBJECT
public:
    ConsoleDriver(const std::string &commandFile, QObject *parent);

    static bool failed() { return s_failed; }

private:
    bool idle();
    void poll();
    void run(const QString &line);
    void fail(const QString &reason);
    QWidget *widget(const QString &name);

    void trigger(const QString &name);
    void select(QWidget *target, const QString &text);
    void setUpDown(QWidget *target, int position);
    void showTab(const QString &sheet);
    void type(QWidget *target, const QString &text);
    void dump(const QString &name, QWidget *target);

    std::ifstream m_commands;
    QTimer m_poll;
    QPointer<TMainForm> m_form;
    int m_lineNumber = 0;
    int m_underWay = 0;        // commands started whose handlers have not returned
    bool m_starting = false;   // a command is queued and has not started yet
    int m_busyPolls = 0;
    static bool s_failed;
};

} // namespace test
} // namespace hvn::console
