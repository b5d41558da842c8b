#include "windows/Frmdatadelete.h"

#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "DbDateTime.h"
#include "app/ErrorDisplay.h"
#include "app/MessageBoxes.h"
#include "lock/DatabaseLock.h"
#include "mainform/Mainform.h"
#include "windows/DialogControls.h"
#include "widgets/UpDown.h"
#include "windows/WindowCentring.h"

namespace hvn::console {

namespace {

QString yearText(int year)
{
    return QString::asprintf("%4d年", year);
}

QString monthText(int month)
{
    return QString::asprintf("%2d月", month);
}

QLabel *makeDateLabel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(geometry);
    return label;
}

UpDown *makeUpDown(QWidget *parent, const char *name, int minimum, int maximum, const QRect &geometry)
{
    auto *upDown = new UpDown(parent);
    upDown->setObjectName(QString::fromLatin1(name));
    upDown->setRange(minimum, maximum);
    upDown->setWrap(false);
    upDown->setGeometry(geometry);
    return upDown;
}

} // namespace

TfrmDelete::TfrmDelete(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                          | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmDelete"));
    setWindowTitle(QStringLiteral("データ削除"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(257, 145);

    RadioButton1 = new QRadioButton(QStringLiteral("すべてのデータを削除する"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setGeometry(24, 12, 209, 20);
    RadioButton2 = new QRadioButton(QStringLiteral("指定月以前のデータを削除する"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setGeometry(24, 36, 209, 20);

    Label1 = makeDateLabel(this, "Label1", QRect(44, 66, 52, 20));
    UpDown1 = makeUpDown(this, "UpDown1", 1900, 2200, QRect(97, 64, 17, 24));
    Label2 = makeDateLabel(this, "Label2", QRect(124, 66, 36, 20));
    UpDown2 = makeUpDown(this, "UpDown2", 1, 12, QRect(161, 64, 17, 24));

    Button1 = makeButton(this, "Button1", QStringLiteral("OK"), QRect(40, 108, 75, 25));
    Button2 = makeButton(this, "Button2", QStringLiteral("CANCEL"), QRect(142, 108, 75, 25));

    connect(RadioButton1, &QRadioButton::clicked, this, &TfrmDelete::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TfrmDelete::RadioButton1Click);
    connect(UpDown1, &UpDown::clicked, this, &TfrmDelete::UpDown1Click);
    connect(UpDown2, &UpDown::clicked, this, &TfrmDelete::UpDown2Click);
    connect(Button1, &QPushButton::clicked, this, [this] { runReported([this] { Button1Click(); }, this); });
    connect(Button2, &QPushButton::clicked, this, &TfrmDelete::Button2Click);

    FormCreate();
}

void TfrmDelete::FormCreate()
{
    const QDate today = QDate::currentDate();
    RadioButton1->setChecked(true);
    UpDown1->setPosition(today.year());
    UpDown2->setPosition(today.month());
    Label1->setText(yearText(UpDown1->position()));
    Label2->setText(monthText(UpDown2->position()));
    setMonthControlsEnabled(false);
}

void TfrmDelete::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TfrmDelete::FormShow()
{
    if (m_form)
        centreOver(*this, *m_form);
}

void TfrmDelete::RadioButton1Click()
{
    setMonthControlsEnabled(RadioButton2->isChecked());
}

void TfrmDelete::setMonthControlsEnabled(bool enabled)
{
    Label1->setEnabled(enabled);
    UpDown1->setEnabled(enabled);
    Label2->setEnabled(enabled);
    UpDown2->setEnabled(enabled);
}

void TfrmDelete::UpDown1Click()
{
    Label1->setText(yearText(UpDown1->position()));
}

void TfrmDelete::UpDown2Click()
{
    Label2->setText(monthText(UpDown2->position()));
}

// A database error leaves the dialog open, with the lock given back, and reaches the error
// display through the caller.
void TfrmDelete::Button1Click()
{
    const bool everything = RadioButton1->isChecked();
    const QString question = everything
        ? QStringLiteral("全てのプリントデータを削除します。")
        : QString::asprintf("%d年%d月以前のプリントデータを削除します。", UpDown1->position(), UpDown2->position());
    const auto answer = MessageBoxes::show({this, QStringLiteral("削除"), question, QMessageBox::NoIcon,
                                            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok});
    if (answer != QMessageBox::Ok || !m_form)
        return;

    DatabaseLock lock(*m_form);
    if (!lock.granted())
        return;
    ADOCommand1.clearParams();
    if (everything) {
        ADOCommand1.SQL() = QStringList{QStringLiteral("DELETE FROM tblPrintingData;")};
    } else {
        int year = UpDown1->position();
        int month = UpDown2->position() + 1;
        if (month > 12) {
            ++year;
            month = 1;
        }
        ADOCommand1.SQL() = QStringList{QStringLiteral("DELETE FROM tblPrintingData WHERE dbDateTime < :dt;")};
        ADOCommand1.setParamDateTime(QStringLiteral("dt"), *DbDateTime::make(year, month, 1));
    }
    ADOCommand1.execSql(m_form->DBConection);
    accept();
}

void TfrmDelete::Button2Click()
{
    reject();
}

} // namespace hvn::console
