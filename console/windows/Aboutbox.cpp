#include "windows/Aboutbox.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/ProgramIcon.h"

namespace hvn::console {

namespace {

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(298, 175);

    // The panel's lowered outer bevel, and inside it, one pixel in, the raised inner bevel.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(8, 8, 281, 129);
    auto *innerBevel = new QFrame(Panel1);
    innerBevel->setObjectName(QStringLiteral("Panel1InnerBevel"));
    innerBevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    innerBevel->setLineWidth(1);
    innerBevel->setGeometry(Panel1->contentsRect());

    // The icon's frame is its drawn size, so the stretch keeps it sharp.
    ProgramIcon = makeLabel(Panel1, "ProgramIcon", QString(), QRect(24, 16, 32, 32));
    ProgramIcon->setPixmap(programIcon().pixmap(ProgramIcon->size()));
    ProgramIcon->setScaledContents(true);
    ProductName = makeLabel(Panel1, "ProductName", QStringLiteral("hvnConsole"), QRect(88, 16, 180, 16));
    Version = makeLabel(Panel1, "Version", QStringLiteral("version 1.0"), QRect(88, 40, 180, 16));
    Copyright = makeLabel(Panel1, "Copyright", QStringLiteral("印刷枚数の集計と用紙削減率の表示"),
                          QRect(8, 72, 265, 16));
    Comments = makeLabel(Panel1, "Comments", QStringLiteral("Halvane"), QRect(8, 96, 265, 28));
    Comments->setWordWrap(true);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 144, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace hvn::console
