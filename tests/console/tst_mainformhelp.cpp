// The help commands show the HTML help shipped inside the program.
#include <QAction>
#include <QTest>
#include <QTextBrowser>

#include "ConsoleTestSupport.h"
#include "mainform/Mainform.h"
#include "windows/HelpWindow.h"

using hvn::console::HelpWindow;
using hvn::console::TMainForm;
using hvn::console::test::TestEnvironment;

class TstMainformHelp : public QObject {
    Q_OBJECT
private slots:
    void helpCommandsShowShippedPages();
};

void TstMainformHelp::helpCommandsShowShippedPages()
{
    TestEnvironment env;
    TMainForm form;
    form.HelpContentsItem->trigger();
    auto *help = form.findChild<HelpWindow *>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("表示する期間の選び方")));

    form.HelpHowToUseItem->trigger();
    QCOMPARE(form.findChildren<HelpWindow *>().size(), 1);
    QVERIFY(help->browser()->toPlainText().startsWith(QStringLiteral("ヘルプの使い方")));
}

QTEST_MAIN(TstMainformHelp)
#include "tst_mainformhelp.moc"
