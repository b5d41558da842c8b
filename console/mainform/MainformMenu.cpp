// The menu bar, its commands, the hint line and the connection's data source.
#include "mainform/Mainform.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "Connection.h"
#include "app/ErrorDisplay.h"
#include "lock/DatabaseLock.h"
#include "windows/Aboutbox.h"
#include "windows/Dlgsection.h"
#include "windows/Dlgsectionmember.h"
#include "windows/Frmdatadelete.h"
#include "windows/Frmprinterset.h"
#include "windows/HelpWindow.h"

namespace hvn::console {

namespace {

QAction *addItem(QMenu *menu, const char *name, const QString &caption, const QString &hint)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setStatusTip(hint);
    return action;
}

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

} // namespace

void TMainForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));

    FileMenu = addMenu(bar, "FileMenu", QStringLiteral("ファイル(&F)"));
    FilePrintItem = addItem(FileMenu, "FilePrintItem", QStringLiteral("印刷(&P)..."),
                            QStringLiteral("ファイルを印刷します"));
    FilePreviewItem = addItem(FileMenu, "FilePreviewItem", QStringLiteral("プレビュー"), QString());
    FilePrintSetupItem = addItem(FileMenu, "FilePrintSetupItem", QStringLiteral("プリンタの設定(&R)..."),
                                 QStringLiteral("プリンタの設定を変更します"));
    FileMenu->addSeparator();
    FileExitItem = addItem(FileMenu, "FileExitItem", QStringLiteral("終了(&X)"),
                           QStringLiteral("このアプリケーションを終了します"));

    MainteMenu = addMenu(bar, "MainteMenu", QStringLiteral("メンテナンス(&M)"));
    MainteSectionItem = addItem(MainteMenu, "MainteSectionItem", QStringLiteral("部署設定..."),
                                QStringLiteral("部署を登録できます"));
    MainteSectionMemberItem = addItem(MainteMenu, "MainteSectionMemberItem", QStringLiteral("部員登録..."),
                                      QStringLiteral("選択された項目を削除します"));
    MainteMenu->addSeparator();
    MaintePrinterName = addItem(MainteMenu, "MaintePrinterName", QStringLiteral("プリンタ名設定..."), QString());
    MainteDelete = addItem(MainteMenu, "MainteDelete", QStringLiteral("データの削除..."), QString());

    HelpMenu = addMenu(bar, "HelpMenu", QStringLiteral("ヘルプ(&H)"));
    HelpContentsItem = addItem(HelpMenu, "HelpContentsItem", QStringLiteral("hvnConsoleのヘルプ(&C)"),
                               QStringLiteral("ヘルプを表示します"));
    HelpHowToUseItem = addItem(HelpMenu, "HelpHowToUseItem", QStringLiteral("ヘルプの使い方(&H)"),
                               QStringLiteral("ヘルプシステムの使い方のヘルプ"));
    HelpMenu->addSeparator();
    HelpAboutItem = addItem(HelpMenu, "HelpAboutItem", QStringLiteral("バージョン情報(&A)..."),
                            QStringLiteral("プログラムの情報を表示します"));

    connect(FilePrintItem, &QAction::triggered, this, &TMainForm::FilePrint);
    connect(FilePreviewItem, &QAction::triggered, this, &TMainForm::FilePreviewItemClick);
    connect(FilePrintSetupItem, &QAction::triggered, this, &TMainForm::FilePrintSetup);
    connect(FileExitItem, &QAction::triggered, this, &TMainForm::FileExit);
    connect(MainteSectionItem, &QAction::triggered, this, &TMainForm::MainteSection);
    connect(MainteSectionMemberItem, &QAction::triggered, this, &TMainForm::MenteSectionMember);
    connect(MaintePrinterName, &QAction::triggered, this, &TMainForm::MaintePrinterNameClick);
    connect(MainteDelete, &QAction::triggered, this, &TMainForm::MainteDeleteClick);
    connect(HelpContentsItem, &QAction::triggered, this, &TMainForm::HelpContents);
    connect(HelpHowToUseItem, &QAction::triggered, this, &TMainForm::HelpHowToUse);
    connect(HelpAboutItem, &QAction::triggered, this, &TMainForm::HelpAbout);
}

bool TMainForm::event(QEvent *event)
{
    // Qt's hint notification: the status tip of the item under the cursor, empty when it ends.
    if (event->type() == QEvent::StatusTip) {
        ShowHint(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::setDialogs(const Dialogs &dialogs)
{
    m_dialogs = dialogs;
    if (m_dialogs.dlgSection)
        m_dialogs.dlgSection->attach(*this);
    if (m_dialogs.dlgSectionMember)
        m_dialogs.dlgSectionMember->attach(*this);
    if (m_dialogs.frmPrinterSet)
        m_dialogs.frmPrinterSet->attach(*this);
    if (m_dialogs.frmDelete)
        m_dialogs.frmDelete->attach(*this);
}

void TMainForm::ShowHint(const QString &hint)
{
    if (hint.isEmpty())
        StatusLine->clearMessage();
    else
        StatusLine->showMessage(hint);
}

void TMainForm::DBConectionBeforeConnect()
{
    DBConection.setConnectionString(
        db::replaceDataSource(DBConection.connectionString(), RegCtl.GetRegistryString("DatabasePath")));
}

void TMainForm::FileExit()
{
    close();
}

void TMainForm::MainteSection()
{
    if (m_dialogs.dlgSection)
        m_dialogs.dlgSection->exec();
    // The tree may have changed, so the users are rolled up again at level 1, whatever the
    // dialog's result.
    runReported(
        [this] {
            DatabaseLock lock(*this);
            if (lock.granted())
                SetTargetLevel(1);
        },
        this);
}

void TMainForm::MenteSectionMember()
{
    if (m_dialogs.dlgSectionMember)
        m_dialogs.dlgSectionMember->exec();
}

void TMainForm::MaintePrinterNameClick()
{
    if (m_dialogs.frmPrinterSet)
        m_dialogs.frmPrinterSet->exec();
}

void TMainForm::MainteDeleteClick()
{
    if (m_dialogs.frmDelete)
        m_dialogs.frmDelete->exec();
}

void TMainForm::HelpContents()
{
    showHelpPage(HelpWindow::kContentsPage);
}

void TMainForm::HelpHowToUse()
{
    showHelpPage(HelpWindow::kHowToUsePage);
}

void TMainForm::showHelpPage(const QString &page)
{
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow(this);
    m_helpWindow->showPage(page);
}

void TMainForm::HelpAbout()
{
    if (m_dialogs.AboutBox)
        m_dialogs.AboutBox->exec();
}

} // namespace hvn::console
