#include "ConsoleDriver.h"

#include <cstdio>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "ConsoleWidgets.h"
#include "mainform/Mainform.h"
#include "widgets/UpDown.h"

namespace hvn::console::test {

namespace {

constexpr int kPollMs = 10;
constexpr int kBusyLimitMs = 30000;

void writeLine(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int visibleModalWindows()
{
    int count = 0;
    for (const QWidget *window : QApplication::topLevelWidgets())
        count += window->isVisible() && window->isModal();
    return count;
}

} // namespace

bool ConsoleDriver::s_failed = false;

ConsoleDriver::ConsoleDriver(const std::string &commandFile, QObject *parent)
    : QObject(parent)
    , m_commands(commandFile)
{
    connect(&m_poll, &QTimer::timeout, this, &ConsoleDriver::poll);
    if (!m_commands) {
        QMetaObject::invokeMethod(
            this, [this, commandFile] { fail(QStringLiteral("cannot read %1").arg(QString::fromStdString(commandFile))); },
            Qt::QueuedConnection);
        return;
    }
    // Started from the event loop: the driver is made while the application object is still
    // being constructed.
    QMetaObject::invokeMethod(this, [this] { m_poll.start(kPollMs); }, Qt::QueuedConnection);
}

// Every command under way but the newest is blocked in the modal dialog it opened; one that
// has returned from its dialog still has its handler to finish.
bool ConsoleDriver::idle()
{
    if (!m_form) {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<TMainForm *>(window))
                m_form = form;
    }
    return m_form && !m_starting && m_form->AllowPageChange && !m_form->sock.valid()
        && !QApplication::overrideCursor() && visibleModalWindows() == m_underWay;
}

void ConsoleDriver::poll()
{
    if (!idle()) {
        if (++m_busyPolls * kPollMs > kBusyLimitMs)
            fail(QStringLiteral("the console is still busy after %1 s").arg(kBusyLimitMs / 1000));
        return;
    }
    m_busyPolls = 0;
    std::string line;
    if (!std::getline(m_commands, line)) {
        m_poll.stop();
        return;
    }
    ++m_lineNumber;
    const QString command = QString::fromStdString(line).trimmed();
    if (command.isEmpty())
        return;
    m_starting = true;
    // Queued, so that a command that opens a modal dialog leaves this poll behind it and the
    // next commands run inside the dialog's event loop.
    QMetaObject::invokeMethod(
        this,
        [this, command] {
            m_starting = false;
            ++m_underWay;
            run(command);
            --m_underWay;
        },
        Qt::QueuedConnection);
}

void ConsoleDriver::fail(const QString &reason)
{
    writeLine(QStringLiteral("driver error: line %1: %2").arg(m_lineNumber).arg(reason));
    s_failed = true;
    m_poll.stop();
    QCoreApplication::exit(3);
}

QWidget *ConsoleDriver::widget(const QString &name)
{
    QWidget *scope = QApplication::activeModalWidget();
    if (!scope)
        scope = m_form;
    QWidget *found = scope->findChild<QWidget *>(name);
    if (!found || !found->isVisible()) {
        fail(QStringLiteral("no visible widget %1 in %2").arg(name, scope->objectName()));
        return nullptr;
    }
    return found;
}

void ConsoleDriver::run(const QString &line)
{
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString name = line.section(QLatin1Char(' '), 1, 1);
    const QString rest = line.section(QLatin1Char(' '), 2);
    if (verb == QLatin1String("echo")) {
        writeLine(QStringLiteral("# ") + line.section(QLatin1Char(' '), 1));
        return;
    }
    if (verb == QLatin1String("trigger"))
        return trigger(name);
    if (verb == QLatin1String("tab"))
        return showTab(name);
    const bool knownVerb = verb == QLatin1String("click") || verb == QLatin1String("type")
        || verb == QLatin1String("select") || verb == QLatin1String("updown") || verb == QLatin1String("dump");
    if (!knownVerb)
        return fail(QStringLiteral("unknown command %1").arg(verb));
    QWidget *target = widget(name);
    if (!target)
        return;
    if (verb == QLatin1String("click")) {
        if (!target->isEnabled())
            return fail(QStringLiteral("%1 is disabled").arg(name));
        // A radio button or check box takes clicks on its indicator and caption only.
        QPoint at = target->rect().center();
        if (qobject_cast<QRadioButton *>(target) || qobject_cast<QCheckBox *>(target))
            at.setX(qMin(8, at.x()));
        QTest::mouseClick(target, Qt::LeftButton, {}, at);
    } else if (verb == QLatin1String("type")) {
        type(target, rest);
    } else if (verb == QLatin1String("select")) {
        select(target, rest);
    } else if (verb == QLatin1String("updown")) {
        bool ok = false;
        const int position = rest.toInt(&ok);
        if (!ok)
            return fail(QStringLiteral("updown needs a number"));
        setUpDown(target, position);
    } else {
        dump(name, target);
    }
}

void ConsoleDriver::trigger(const QString &name)
{
    QAction *action = m_form->findChild<QAction *>(name);
    if (!action)
        return fail(QStringLiteral("no menu item %1").arg(name));
    if (!action->isEnabled())
        return fail(QStringLiteral("%1 is disabled").arg(name));
    action->trigger();
}

void ConsoleDriver::showTab(const QString &sheet)
{
    QTabWidget *pages = m_form->PageControl1;
    for (int index = 0; index < pages->count(); ++index) {
        if (pages->widget(index)->objectName() == sheet) {
            clickTab(pages, index);
            if (pages->currentIndex() != index)
                fail(QStringLiteral("the tab %1 was not shown").arg(sheet));
            return;
        }
    }
    fail(QStringLiteral("no tab %1").arg(sheet));
}

void ConsoleDriver::type(QWidget *target, const QString &text)
{
    auto *edit = qobject_cast<QLineEdit *>(target);
    if (!edit)
        return fail(QStringLiteral("%1 is no line edit").arg(target->objectName()));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(edit, &commit);
    if (edit->text() != text)
        fail(QStringLiteral("%1 holds \"%2\"").arg(edit->objectName(), edit->text()));
}

void ConsoleDriver::select(QWidget *target, const QString &text)
{
    if (auto *combo = qobject_cast<QComboBox *>(target)) {
        const int wanted = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (wanted < 0)
            return fail(QStringLiteral("%1 has no item \"%2\"").arg(combo->objectName(), text));
        // The arrow keys move one item each and report it as chosen, as the user's do.
        while (combo->currentIndex() != wanted) {
            const int before = combo->currentIndex();
            QTest::keyClick(combo, before < wanted ? Qt::Key_Down : Qt::Key_Up);
            if (combo->currentIndex() == before)
                return fail(QStringLiteral("%1 does not move to \"%2\"").arg(combo->objectName(), text));
        }
        return;
    }
    auto *view = qobject_cast<QAbstractItemView *>(target);
    if (!view)
        return fail(QStringLiteral("%1 has no items to select").arg(target->objectName()));
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, text, 1,
                                                       Qt::MatchExactly | Qt::MatchCaseSensitive | Qt::MatchRecursive);
    if (found.isEmpty())
        return fail(QStringLiteral("%1 has no item \"%2\"").arg(view->objectName(), text));
    const QModelIndex item = found.first();
    // A click on the item already chosen would start editing it where the view allows that.
    if (view->currentIndex() == item && view->selectionModel()->isSelected(item))
        return;
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    if (view->currentIndex() != item)
        fail(QStringLiteral("the click did not choose \"%1\" in %2").arg(text, view->objectName()));
}

void ConsoleDriver::setUpDown(QWidget *target, int position)
{
    auto *upDown = qobject_cast<UpDown *>(target);
    if (!upDown)
        return fail(QStringLiteral("%1 is no up-down control").arg(target->objectName()));
    while (upDown->position() != position) {
        const int before = upDown->position();
        QTest::mouseClick(before < position ? upDown->upButton() : upDown->downButton(),
                          Qt::LeftButton);
        if (qAbs(upDown->position() - position) >= qAbs(before - position))
            return fail(QStringLiteral("%1 does not move to %2").arg(upDown->objectName()).arg(position));
    }
}

void ConsoleDriver::dump(const QString &name, QWidget *target)
{
    QStringList lines;
    if (const auto *grid = qobject_cast<QTableView *>(target)) {
        lines = shownRows(grid, QLatin1Char('|'));
    } else if (const auto *combo = qobject_cast<QComboBox *>(target)) {
        for (int index = 0; index < combo->count(); ++index)
            lines << combo->itemText(index);
    } else {
        return fail(QStringLiteral("%1 is neither a grid nor a combo box").arg(name));
    }
    writeLine(QLatin1Char('[') + name + QLatin1Char(']'));
    for (const QString &line : lines)
        writeLine(line);
}

} // namespace hvn::console::test
