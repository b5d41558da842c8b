#include "windows/Okbottomdlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/MessageBoxes.h"
#include "windows/DialogFrame.h"
#include "windows/WindowCentring.h"

namespace hvn::console {

TOKBottomDlg::TOKBottomDlg(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    const DialogButtons buttons =
        setUpFixedDialog(*this, QStringLiteral("OKBottomDlg"), QStringLiteral("プリンタ名の変更"), QSize(313, 204),
                         QStringLiteral("OKBtn"), QStringLiteral("CancelBtn"));
    OKBtn = buttons.ok;
    CancelBtn = buttons.cancel;
    // OK closes only after its handler has asked.
    disconnect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(OKBtn, &QPushButton::clicked, this, [this] {
        OKBtnClick();
        accept();
    });

    Label1 = new QLabel(QStringLiteral("変更前プリンタ名"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 16, 281, 16);
    StaticText1 = new QLabel(this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticText1->setGeometry(16, 36, 281, 22);
    Label2 = new QLabel(QStringLiteral("変更後プリンタ名"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 80, 281, 16);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(16, 100, 281, 22);
    setTabOrder(Edit2, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
}

void TOKBottomDlg::showEvent(QShowEvent *event)
{
    const QString name = m_groupBox ? m_groupBox->currentText() : QString();
    StaticText1->setText(name);
    Edit2->setText(name);
    Edit2->setFocus();
    if (parentWidget())
        centreOver(*this, *parentWidget());
    QDialog::showEvent(event);
}

void TOKBottomDlg::OKBtnClick()
{
    const QString question = QStringLiteral("<%1>を<%2>に変更します。よろしいですか。").arg(StaticText1->text(), Edit2->text());
    if (MessageBoxes::show({this, QStringLiteral("確認"), question, QMessageBox::NoIcon,
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes})
        != QMessageBox::Yes)
        return;
    if (m_groupBox && m_groupBox->currentIndex() >= 0) {
        const int index = m_groupBox->currentIndex();
        m_groupBox->setItemText(index, Edit2->text());
        m_groupBox->setCurrentIndex(index);
    }
}

} // namespace hvn::console
