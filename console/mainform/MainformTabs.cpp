// Tab changes of PageControl1: the veto while a handler works, and the show and hide
// handlers of the sheets.
#include "mainform/Mainform.h"

#include <QKeyEvent>
#include <QTabBar>
#include <QTabWidget>

namespace hvn::console {

// The first tab's show handler may wait for the lock or end in an error box; it runs only
// once the window is on screen and painted, so the administrator sees the window first.
void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_tabsLive && !m_firstShowQueued)
        m_firstShowPending = true;
}

void TMainForm::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    if (!m_firstShowPending)
        return;
    m_firstShowPending = false;
    m_firstShowQueued = true;
    // Queued: the painted frame reaches the screen before the handler starts.
    QMetaObject::invokeMethod(this, &TMainForm::runFirstShowHandler, Qt::QueuedConnection);
}

void TMainForm::runFirstShowHandler()
{
    if (m_tabsLive)
        return;
    m_tabsLive = true;
    m_visibleTab = PageControl1->currentIndex();
    runShowHandler(m_visibleTab);
}

void TMainForm::PageControl1Changing(bool &AllowChange)
{
    AllowChange = AllowPageChange;
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == PageControl1 || watched == m_tabBar) && tabChangeRequest(event)) {
        bool allowChange = true;
        PageControl1Changing(allowChange);
        if (!allowChange)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The user's ways of asking for another tab: clicks and the wheel on the tab bar, the arrow
// keys on the focused tab bar, and Ctrl+Tab / Ctrl+PgUp / Ctrl+PgDn anywhere in the pages.
bool TMainForm::tabChangeRequest(QEvent *event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    case QEvent::KeyPress: {
        const auto *key = static_cast<const QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return key->modifiers().testFlag(Qt::ControlModifier);
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}

void TMainForm::PageControl1Change(int index)
{
    if (!m_tabsLive || index == m_visibleTab)
        return;
    const int previous = m_visibleTab;
    m_visibleTab = index;
    runHideHandler(previous);
    runShowHandler(index);
}

void TMainForm::runShowHandler(int index)
{
    QWidget *page = PageControl1->widget(index);
    if (page == tabRecive)
        tabReciveShow();
    else if (page == tabUser)
        tabUserShow();
    else if (page == tabPrinter)
        tabPrinterShow();
    else if (page == tabComputer)
        tabComputerShow();
    else if (page == tabSection)
        tabSectionShow();
    else if (page == tabSectionCalc)
        tabSectionCalcShow();
    else if (page == tabPrintCalc)
        tabPrintCalcShow();
}

void TMainForm::runHideHandler(int index)
{
    QWidget *page = PageControl1->widget(index);
    if (page == tabRecive)
        tabReciveHide();
    else if (page == tabUser)
        tabUserHide();
    else if (page == tabPrinter)
        tabPrinterHide();
    else if (page == tabComputer)
        tabComputerHide();
}

} // namespace hvn::console
