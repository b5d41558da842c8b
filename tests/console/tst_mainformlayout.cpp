// The main window as the console's font draws it, on the offscreen platform with the IPA
// Gothic fonts: grids show their ordinary contents in full at the design widths, selection
// leaves the column titles alone, the row indicator marks the current row, and no control of
// the toolbar or the fiscal-year panels clips its text.
#include <memory>

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTest>

#include "ConsoleTestSupport.h"
#include "app/ConsoleApp.h"
#include "mainform/Mainform.h"
#include "widgets/GridCellDelegate.h"

using hvn::console::GridCellDelegate;
using hvn::console::TMainForm;
using namespace hvn::console::test;

namespace {

constexpr int kSectionTab = 4;

// Two users in one section, each on a printer and a computer of their own:
// six-digit counts, the rates 100 and 0.1, and jobs after ten o'clock.
void prepareData(TestEnvironment &env)
{
    SQLite::Database db = env.createDatabase();
    exec(db, "INSERT INTO tblSectionInfo VALUES (1, '総務部', 0, 1, '総務部')");
    exec(db, "INSERT INTO tblUserInfo (UserID, UserName, SectionID, UserRealName) VALUES"
             " (1, 'tanaka', 1, 'tanaka'), (2, 'suzuki', 1, 'suzuki')");
    exec(db, "INSERT INTO tblPrintingMachineInfo VALUES (1, 'PRN-2F-EAST', 0, 0, 'PRN-2F-EAST'),"
             " (2, 'PRN-3F-COLOR', 0, 0, 'PRN-3F-COLOR')");
    exec(db, "INSERT INTO tblPrintingData VALUES (1, 1, 'PC-0012', 123456, 123456, 0, '2026-12-01 16:10:05.000'),"
             " (2, 2, 'PC-0031', 200000, 200000, 199800, '2026-12-04 22:58:47.000')");
}

// A window at the first start, with its design widths, showing the period "すべて".
void showAllRecords(TMainForm &form)
{
    form.cmbKikan->setCurrentIndex(form.cmbKikan->findText(QStringLiteral("すべて")));
    QVERIFY(showAndLoad(form));
}

// Remembers, for every cell it paints, the display text beside the text it drew.
class RecordingDelegate : public GridCellDelegate {
public:
    using GridCellDelegate::GridCellDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        painted.insert(index.data(Qt::DisplayRole).toString(), shownText(option, index));
        GridCellDelegate::paint(painter, option, index);
    }
    mutable QHash<QString, QString> painted;
};

// A section of a header as the header paints it.
QImage sectionImage(const QImage &header, const QHeaderView *view, int section)
{
    const int start = view->sectionViewportPosition(section);
    return view->orientation() == Qt::Vertical ? header.copy(0, start, header.width(), view->sectionSize(section))
                                               : header.copy(start, 0, view->sectionSize(section), header.height());
}

// The width the control's text needs beyond the room the control's style gives it, as
// "name: text needs N, room M"; empty when it fits.
QString clipped(const QWidget *control, const QString &text, int need, int room)
{
    return need <= room ? QString()
                        : QStringLiteral("%1: \"%2\" needs %3, room %4").arg(control->objectName(), text).arg(need).arg(room);
}

QString clippedText(const QLabel *label)
{
    return clipped(label, label->text(), label->sizeHint().width(), label->width());
}

QString clippedText(const QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const QMargins margins = edit->textMargins();
    // The box keeps 2 pixels beside its text and 1 for the cursor after it.
    const int room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() -
                     margins.left() - margins.right() - 4;
    return clipped(edit, edit->text(), edit->fontMetrics().horizontalAdvance(edit->text()) + 1, room);
}

QString clippedText(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = button->rect();
    option.text = button->text();
    const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    return clipped(button, button->text(), button->fontMetrics().horizontalAdvance(button->text()), room);
}

QStringList clippedItems(const QComboBox *combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = combo->rect();
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    // The style draws the item 1 pixel in from each side of the edit field.
    const int room =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width() - 2;
    QStringList result;
    for (int i = 0; i < combo->count(); ++i) {
        const QString text = combo->itemText(i);
        const QString problem = clipped(combo, text, combo->fontMetrics().horizontalAdvance(text), room);
        if (!problem.isEmpty())
            result << problem;
    }
    return result;
}

} // namespace

class TstMainformLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { hvn::console::setUpApplication(); }
    void init();
    void cleanup();

    void gridsShowOrdinaryContentsInFullAtDesignWidths();
    void selectionLeavesTitlesAndIndicatorMarksCurrentRow();
    void toolbarAndFiscalPanelsShowTheirTextsInFull();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LockServer> m_server;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TstMainformLayout::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_server = std::make_unique<LockServer>();
    m_env->setConsolePort(m_server->port());
    prepareData(*m_env);
    m_messages = std::make_unique<MessageRecorder>();
}

void TstMainformLayout::cleanup()
{
    m_messages.reset();
    m_server.reset();
    m_env.reset();
}

void TstMainformLayout::gridsShowOrdinaryContentsInFullAtDesignWidths()
{
    TMainForm form;
    showAllRecords(form);
    const QList<QTableView *> grids{form.dbgReciveData, form.dbgUserData, form.dbgPrinterData, form.dbgComputerData,
                                    form.dbgSection};
    for (int tab = 0; tab < grids.size(); ++tab) {
        QTableView *grid = grids[tab];
        QVERIFY(qobject_cast<GridCellDelegate *>(grid->itemDelegate()));
        auto *recorder = new RecordingDelegate(grid);
        grid->setItemDelegate(recorder);
        clickTab(form.PageControl1, tab);
        if (tab == kSectionTab)
            QTest::mouseClick(form.Button2, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&form] { return form.AllowPageChange; }, 10000));
        QCOMPARE(grid->model()->rowCount(), tab == kSectionTab ? 1 : 2);
        grid->grab();
        for (auto it = recorder->painted.cbegin(); it != recorder->painted.cend(); ++it)
            QCOMPARE(it.value(), it.key());
        QStringList ordinary{"123456", "100", "0.1"};
        if (tab == 0)
            ordinary << "2026/12/01 16:10:05" << "2026/12/04 22:58:47";
        else if (tab == kSectionTab)
            ordinary = QStringList{"総務部", "323456", "199800", "38.2"};
        for (const QString &text : ordinary)
            QVERIFY2(recorder->painted.contains(text), qPrintable(grid->objectName() + ": " + text));
    }
    QVERIFY(m_messages->requests.isEmpty());
}

void TstMainformLayout::selectionLeavesTitlesAndIndicatorMarksCurrentRow()
{
    TMainForm form;
    showAllRecords(form);
    QTableView *grid = form.dbgReciveData;
    QCOMPARE(grid->model()->rowCount(), 2);
    // The load makes the first row current without selecting it.
    QVERIFY(grid->selectionModel()->selectedIndexes().isEmpty());
    QHeaderView *indicator = grid->verticalHeader();
    const QImage atFirst = indicator->grab().toImage();
    const QImage marked = sectionImage(atFirst, indicator, 0);
    const QImage unmarked = sectionImage(atFirst, indicator, 1);
    QVERIFY(marked != unmarked);

    const QImage titlesBefore = grid->horizontalHeader()->grab().toImage();
    grid->selectRow(1);
    QCOMPARE(grid->horizontalHeader()->grab().toImage(), titlesBefore);
    const QImage atSecond = indicator->grab().toImage();
    QCOMPARE(sectionImage(atSecond, indicator, 1), marked);
    QCOMPARE(sectionImage(atSecond, indicator, 0), unmarked);
}

void TstMainformLayout::toolbarAndFiscalPanelsShowTheirTextsInFull()
{
    TMainForm form;
    QStringList problems;
    const auto check = [&problems](const QString &problem) {
        if (!problem.isEmpty())
            problems << problem;
    };
    // The widest texts the period labels show.
    form.lblFromYear->setText(QStringLiteral("2026年"));
    form.lblFromMonth->setText(QStringLiteral("12月 ～"));
    form.lblToYear->setText(QStringLiteral("2026年"));
    form.lblToMonth->setText(QStringLiteral("12月"));
    for (const QLabel *label : {form.Label1, form.lblFromYear, form.lblFromMonth, form.lblToYear, form.lblToMonth,
                                form.Label4, form.Label5})
        check(clippedText(label));
    problems << clippedItems(form.cmbKikan);
    for (const QString &level : {QStringLiteral("1"), QStringLiteral("99")}) {
        form.Edit1->setText(level);
        check(clippedText(form.Edit1));
    }
    for (const QString &caption : {QStringLiteral("再読込み"), QStringLiteral("読込み")}) {
        form.Button2->setText(caption);
        check(clippedText(form.Button2));
    }

    form.stSecYear->setText(QStringLiteral("2026"));
    form.stSecMonth->setText(QStringLiteral("12"));
    form.stPrnYear->setText(QStringLiteral("2026"));
    form.stPrnMonth->setText(QStringLiteral("12"));
    for (const QWidget *panel : {form.Panel2, form.Panel3}) {
        for (const QLabel *label : panel->findChildren<QLabel *>())
            check(clippedText(label));
        for (const QPushButton *button : panel->findChildren<QPushButton *>())
            check(clippedText(button));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TstMainformLayout)
#include "tst_mainformlayout.moc"
