// Saves a PNG of each statistics tab and the section tab of the real main window (and of the
// print records with a row selected), then of both fiscal-year tabs after a calculation (the
// tabs with charts also on a wide window), then the section table's report (preview as it
// first opens, and printed page):
// console_screenshots DIR [SECTION [PRINTER]]. SECTION and PRINTER name the items to
// calculate (as ComboBox1 and ComboBox2 list them); without them, the first. Runs against the settings store that HALVANE_REGISTRY names, like the console itself; the
// window is shown, so each tab loads through the lock bracket as it would on screen.
#include <cstdio>
#include <functional>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <QPrinter>

#include "app/ConsoleApp.h"
#include "mainform/Mainform.h"
#include <QRadioButton>
#include <QTreeWidget>

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

#include "windows/Aboutbox.h"
#include "windows/Dlgsection.h"
#include "windows/Dlgsectionmember.h"
#include "windows/Frmdatadelete.h"
#include "windows/Frmprinterset.h"
#include "windows/Qreport.h"
#include "windows/ReportPreview.h"

namespace {

bool choose(QComboBox *combo, const char *name)
{
    const int index = name ? combo->findText(QString::fromLocal8Bit(name)) : 0;
    if (index < 0 || index >= combo->count()) {
        std::fprintf(stderr, "console_screenshots: %s is not offered by %s\n", name ? name : "an item",
                     qPrintable(combo->objectName()));
        return false;
    }
    combo->setCurrentIndex(index);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    hvn::console::TApplication app(argc, argv);
    hvn::console::setUpApplication();
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: console_screenshots DIR [SECTION [PRINTER]]\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "console_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    hvn::console::TMainForm form;
    hvn::console::TqrForm report;
    hvn::console::TdlgSection dlgSection;
    hvn::console::TdlgSectionMember dlgSectionMember;
    hvn::console::TfrmPrinterSet frmPrinterSet;
    hvn::console::TfrmDelete frmDelete;
    hvn::console::TMainForm::Dialogs dialogs;
    dialogs.qrForm = &report;
    dialogs.dlgSection = &dlgSection;
    dialogs.dlgSectionMember = &dlgSectionMember;
    dialogs.frmPrinterSet = &frmPrinterSet;
    dialogs.frmDelete = &frmDelete;
    form.setDialogs(dialogs);
    form.PageControl1->setCurrentIndex(0);
    form.show();
    // The first tab loads after the window's first paint.
    while (!form.AllowPageChange)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    int failures = 0;
    const auto save = [&](const QPixmap &pixmap, const QString &name) {
        const QString file = dir.filePath(name);
        if (pixmap.save(file)) {
            std::printf("%s\n", qPrintable(file));
        } else {
            std::fprintf(stderr, "console_screenshots: cannot write %s\n", qPrintable(file));
            ++failures;
        }
    };
    const auto saveTab = [&](int tab) {
        QCoreApplication::processEvents();
        save(form.grab(), QStringLiteral("tab%1-%2.png").arg(tab).arg(form.PageControl1->widget(tab)->objectName()));
    };
    for (int tab = 0; tab < 4; ++tab) {
        form.PageControl1->setCurrentIndex(tab);
        saveTab(tab);
    }
    // The section tab loads with its reload button.
    const int sectionTab = form.PageControl1->indexOf(form.tabSection);
    form.PageControl1->setCurrentIndex(sectionTab);
    form.Button2->click();
    saveTab(sectionTab);
    // Each tab with a chart also on a wide window, where the chart sits beside its grid.
    const auto saveWide = [&](int tab) {
        const QSize size = form.size();
        form.resize(1360, 760);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        save(form.grab(), QStringLiteral("tab%1-%2-wide.png").arg(tab).arg(form.PageControl1->widget(tab)->objectName()));
        form.resize(size);
        QCoreApplication::processEvents();
    };
    // On the wide window, the sections of every record ("すべて"), where the demo's organisation
    // has its print records.
    const int period = form.cmbKikan->currentIndex();
    form.cmbKikan->setCurrentIndex(form.cmbKikan->count() - 1);
    form.Button2->click();
    saveWide(sectionTab);
    form.cmbKikan->setCurrentIndex(period);
    // The print records with the third row selected: the indicator follows it, the titles stay.
    form.PageControl1->setCurrentIndex(0);
    form.dbgReciveData->selectRow(2);
    QCoreApplication::processEvents();
    save(form.grab(), QStringLiteral("tab0-tabRecive-selected.png"));

    const int printCalc = form.PageControl1->indexOf(form.tabPrintCalc);
    form.PageControl1->setCurrentIndex(printCalc);
    if (choose(form.ComboBox2, argc > 3 ? argv[3] : nullptr))
        form.btnPrinterCalc->click();
    else
        ++failures;
    saveTab(printCalc);
    saveWide(printCalc);

    const int sectionCalc = form.PageControl1->indexOf(form.tabSectionCalc);
    form.PageControl1->setCurrentIndex(sectionCalc);
    if (choose(form.ComboBox1, argc > 2 ? argv[2] : nullptr))
        form.btnCalc->click();
    else
        ++failures;
    saveTab(sectionCalc);
    saveWide(sectionCalc);

    // The fiscal-year report of the section tab: its preview window, and the printed page as a
    // PDF file (scripts/screenshots turns it into a PNG).
    form.PageControl1->setCurrentWidget(form.tabSectionCalc);
    QCoreApplication::processEvents();
    form.FilePreviewItemClick();
    if (auto *preview = report.findChild<hvn::console::ReportPreview *>()) {
        // As it first opens: shown by the command, drawn once, nothing pressed.
        QElapsedTimer exposed;
        exposed.start();
        while (!preview->isVisible() && exposed.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        save(preview->grab(), QStringLiteral("report-preview.png"));
        preview->close();
    } else {
        std::fprintf(stderr, "console_screenshots: the preview did not open\n");
        ++failures;
    }
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    report.setPrintDialog([&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return true;
    });
    form.FilePrint();
    if (QFile::exists(pdf)) {
        std::printf("%s\n", qPrintable(pdf));
    } else {
        std::fprintf(stderr, "console_screenshots: the report was not printed\n");
        ++failures;
    }

    // The maintenance dialogs, each shown (so it loads through the lock bracket) and drawn with
    // a deeper section or the month choice selected, as an administrator would have them.
    const auto grabDialog = [&](QWidget &dialog, const QString &name, const std::function<void()> &prepare) {
        dialog.show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        prepare();
        QCoreApplication::processEvents();
        save(dialog.grab(), name);
        dialog.hide();
    };
    const auto selectDeepest = [](QTreeWidget *tree) {
        tree->expandAll();
        QTreeWidgetItem *node = tree->topLevelItem(0);
        while (node && node->childCount() > 0)
            node = node->child(0);
        if (node)
            tree->setCurrentItem(node);
    };
    grabDialog(dlgSection, QStringLiteral("dialog-dlgSection.png"), [&] { selectDeepest(dlgSection.tvwSection); });
    grabDialog(dlgSectionMember, QStringLiteral("dialog-dlgSectionMember.png"),
               [&] { selectDeepest(dlgSectionMember.tvwSection); });
    grabDialog(frmPrinterSet, QStringLiteral("dialog-frmPrinterSet.png"), [] {});
    grabDialog(frmDelete, QStringLiteral("dialog-frmDelete.png"), [&] { frmDelete.RadioButton2->click(); });

    // Qt's own texts in Japanese: the context menu of the toolbar's edit box on the section tab,
    // opened by a right click through the X server (xdotool) where there is one, drawn over the
    // window as the screen shows it; then the about box.
    form.PageControl1->setCurrentWidget(form.tabSection);
    form.activateWindow();
    for (int i = 0; i < 5 || !form.AllowPageChange; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    form.Edit1->selectAll();
    const QPoint clickAt = form.Edit1->mapToGlobal(form.Edit1->rect().center());
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !xdotool.isEmpty()) {
        QProcess::execute(xdotool, {QStringLiteral("mousemove"), QString::number(clickAt.x()),
                                    QString::number(clickAt.y()), QStringLiteral("click"), QStringLiteral("3")});
    } else {
        QContextMenuEvent event(QContextMenuEvent::Mouse, form.Edit1->rect().center(), clickAt);
        QApplication::sendEvent(form.Edit1, &event);
    }
    QMenu *contextMenu = nullptr;
    QElapsedTimer waited;
    waited.start();
    while (!contextMenu && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *menu = qobject_cast<QMenu *>(widget); menu && menu->isVisible())
                contextMenu = menu;
        }
    }
    if (contextMenu) {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        const QRect shown = form.frameGeometry().united(contextMenu->geometry());
        save(form.screen()->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height()),
             QStringLiteral("contextmenu-Edit1.png"));
        contextMenu->close();
    } else {
        std::fprintf(stderr, "console_screenshots: the context menu did not open\n");
        ++failures;
    }
    hvn::console::TAboutBox aboutBox;
    grabDialog(aboutBox, QStringLiteral("dialog-AboutBox.png"), [] {});
    return failures == 0 ? 0 : 1;
}
