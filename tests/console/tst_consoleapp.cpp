// The console's application set-up: Qt's own texts in Japanese, the program icon, the about box.
#include <algorithm>
#include <memory>

#include <QAction>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "app/ConsoleApp.h"
#include "windows/Aboutbox.h"

using hvn::console::TAboutBox;

namespace {

QStringList contextMenuTexts()
{
    QLineEdit edit(QStringLiteral("abc"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text();
    return texts;
}

QString cancelText()
{
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    return box.button(QDialogButtonBox::Cancel)->text();
}

bool anyStartsWith(const QStringList &texts, const QString &prefix)
{
    return std::any_of(texts.begin(), texts.end(), [&](const QString &text) { return text.startsWith(prefix); });
}

} // namespace

class TstConsoleApp : public QObject {
    Q_OBJECT
private slots:
    void qtTextsAreJapaneseAndFallBackToEnglish();
    void windowIconHasEveryDrawnSize();
    void aboutBoxHasLoweredOuterAndRaisedInnerBevel();
};

void TstConsoleApp::qtTextsAreJapaneseAndFallBackToEnglish()
{
    // The test runs under LC_ALL=C.UTF-8: the Japanese texts do not depend on the user's locale.
    const QTemporaryDir noTranslations;
    QVERIFY(!hvn::console::installQtTranslation(noTranslations.path()));
    QCOMPARE(cancelText(), QStringLiteral("Cancel"));
    QVERIFY(anyStartsWith(contextMenuTexts(), QStringLiteral("&Copy")));

    hvn::console::setUpApplication();
    const QStringList texts = contextMenuTexts();
    QVERIFY2(anyStartsWith(texts, QStringLiteral("コピー")), qPrintable(texts.join(u'|')));
    QVERIFY2(anyStartsWith(texts, QStringLiteral("貼り付け")), qPrintable(texts.join(u'|')));
    QVERIFY2(anyStartsWith(texts, QStringLiteral("元に戻す")), qPrintable(texts.join(u'|')));
    QCOMPARE(cancelText(), QStringLiteral("キャンセル"));

    // A later failure keeps the Japanese texts; a second installation leaves one translator.
    QVERIFY(!hvn::console::installQtTranslation(noTranslations.path()));
    QVERIFY(hvn::console::installQtTranslation());
    QCOMPARE(qApp->findChildren<QTranslator *>().size(), 1);
    QCOMPARE(cancelText(), QStringLiteral("キャンセル"));
}

void TstConsoleApp::windowIconHasEveryDrawnSize()
{
    hvn::console::setUpApplication();
    const QIcon icon = QApplication::windowIcon();
    QVERIFY(!icon.isNull());
    for (const int size : {16, 24, 32, 48, 256})
        QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
}

void TstConsoleApp::aboutBoxHasLoweredOuterAndRaisedInnerBevel()
{
    hvn::console::setUpApplication();
    TAboutBox box;
    const QImage image = box.grab().toImage();
    const QRect panel = box.Panel1->geometry();
    const auto lightness = [&](int x, int y) { return image.pixelColor(x, y).lightness(); };
    const int face = lightness(panel.center().x(), panel.bottom() - 4);
    // Lowered outer bevel: shadow on the top and left edges, highlight on the bottom and right.
    QVERIFY(lightness(panel.left(), panel.center().y()) < face);
    QVERIFY(lightness(panel.center().x(), panel.top()) < face);
    QVERIFY(lightness(panel.right(), panel.center().y()) > face);
    QVERIFY(lightness(panel.center().x(), panel.bottom()) > face);
    // Raised inner bevel one pixel in: the other way round.
    QVERIFY(lightness(panel.left() + 1, panel.center().y()) > face);
    QVERIFY(lightness(panel.center().x(), panel.top() + 1) > face);
    QVERIFY(lightness(panel.right() - 1, panel.center().y()) < face);
    QVERIFY(lightness(panel.center().x(), panel.bottom() - 1) < face);

    // The icon is the one drawn for 32 pixels, shown at that size, not a scaled copy.
    QCOMPARE(box.ProgramIcon->size(), QSize(32, 32));
    const QImage drawn = QImage(QStringLiteral(":/icons/halvane-32.png")).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(box.ProgramIcon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32), drawn);
}

QTEST_MAIN(TstConsoleApp)
#include "tst_consoleapp.moc"
