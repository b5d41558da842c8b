#include "windows/ReportPreview.h"

#include <algorithm>
#include <stdexcept>

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/MessageBoxes.h"
#include "report/ReportPainter.h"
#include "report/SaveFile.h"
#include "windows/Qreport.h"

namespace hvn::console {

// The page as the preview shows it: white paper on the scroll area's grey, painted from the
// document's elements at the preview's scale.
class ReportPageView : public QWidget {
public:
    explicit ReportPageView(QWidget *parent)
        : QWidget(parent)
    {
        setObjectName(QStringLiteral("PageView"));
    }

    void setPage(const ReportDocument *doc, int page, double pxPerMm)
    {
        m_doc = doc;
        m_page = page;
        m_pxPerMm = pxPerMm;
        const QSize size(qRound(doc->paperSize.width() * pxPerMm) + 2 * kBorder,
                         qRound(doc->paperSize.height() * pxPerMm) + 2 * kBorder);
        resize(size);
        setMinimumSize(size);
        update();
    }

    static constexpr int kBorder = 8;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().dark());
        if (!m_doc || m_page < 0 || m_page >= m_doc->pages.size())
            return;
        const QRectF paper(kBorder, kBorder, m_doc->paperSize.width() * m_pxPerMm,
                           m_doc->paperSize.height() * m_pxPerMm);
        painter.fillRect(paper, Qt::white);
        painter.setClipRect(paper);
        painter.translate(kBorder, kBorder);
        paintReportPage(painter, m_doc->pages.at(m_page), QPointF(0, 0), m_pxPerMm, m_pxPerMm);
    }

private:
    const ReportDocument *m_doc = nullptr;
    int m_page = 0;
    double m_pxPerMm = 1.0;
};

namespace {

const QString kCaption = QStringLiteral("プレビュー");

} // namespace

ReportPreview::ReportPreview(TqrForm &form, ReportDocument doc, QWidget *parent)
    : QMainWindow(parent, Qt::Window)
    , m_form(form)
    , m_doc(std::move(doc))
{
    setObjectName(QStringLiteral("ReportPreview"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    resize(960, 720);

    auto *bar = addToolBar(QStringLiteral("toolbar"));
    bar->setObjectName(QStringLiteral("PreviewToolBar"));
    bar->setMovable(false);
    addCommand(bar, "ZoomWholePage", QStringLiteral("ページ全体"), [this] { setZoom(Zoom::WholePage); });
    addCommand(bar, "ZoomActual", QStringLiteral("100%"), [this] { setZoom(Zoom::Actual); });
    addCommand(bar, "ZoomPageWidth", QStringLiteral("ページ幅"), [this] { setZoom(Zoom::PageWidth); });
    bar->addSeparator();
    addCommand(bar, "FirstPage", QStringLiteral("最初のページ"), [this] { showPage(0); });
    addCommand(bar, "PreviousPage", QStringLiteral("前のページ"), [this] { showPage(m_page - 1); });
    addCommand(bar, "NextPage", QStringLiteral("次のページ"), [this] { showPage(m_page + 1); });
    addCommand(bar, "LastPage", QStringLiteral("最後のページ"), [this] { showPage(int(m_doc.pages.size()) - 1); });
    bar->addSeparator();
    addCommand(bar, "PrintSetup", QStringLiteral("プリンタの設定..."), [this] { m_form.printSetup(this); });
    addCommand(bar, "Print", QStringLiteral("印刷"), [this] { m_form.printNow(m_doc); });
    bar->addSeparator();
    addCommand(bar, "SaveReport", QStringLiteral("保存..."), [this] { askSave(); });
    addCommand(bar, "LoadReport", QStringLiteral("開く..."), [this] { askLoad(); });
    // The four exports share one button with a drop-down list.
    auto *exports = new QMenu(this);
    exports->setObjectName(QStringLiteral("ExportMenu"));
    addCommand(exports, "ExportCsv", QStringLiteral("CSV形式 (カンマ区切り)..."), [this] { askExport(Export::Csv); });
    addCommand(exports, "ExportText", QStringLiteral("テキスト形式..."), [this] { askExport(Export::Text); });
    addCommand(exports, "ExportHtml", QStringLiteral("HTML形式..."), [this] { askExport(Export::Html); });
    addCommand(exports, "ExportPdf", QStringLiteral("PDF形式..."), [this] { askExport(Export::Pdf); });
    auto *exportButton = new QToolButton(bar);
    exportButton->setObjectName(QStringLiteral("ExportButton"));
    exportButton->setText(QStringLiteral("出力"));
    exportButton->setMenu(exports);
    exportButton->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(exportButton);
    bar->addSeparator();
    addCommand(bar, "ClosePreview", QStringLiteral("閉じる(&C)"), [this] { close(); });

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("PageScroll"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new ReportPageView(m_scroll);
    m_scroll->setWidget(m_view);
    setCentralWidget(m_scroll);
    m_scroll->viewport()->installEventFilter(this);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("PageNumber"));
    statusBar()->addWidget(m_pageLabel);
    updateView();
}

void ReportPreview::addCommand(QWidget *bar, const char *name, const QString &text, std::function<void()> command)
{
    auto *item = new QAction(text, this);
    bar->addAction(item);
    item->setObjectName(QString::fromLatin1(name));
    connect(item, &QAction::triggered, this, [command = std::move(command)] { command(); });
}

QAction *ReportPreview::action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

double ReportPreview::scale() const
{
    const double actual = logicalDpiX() / 25.4;
    if (m_zoom == Zoom::Actual)
        return actual;
    const QSize room = m_scroll->viewport()->size() - QSize(2 * ReportPageView::kBorder, 2 * ReportPageView::kBorder);
    const double byWidth = std::max(1, room.width()) / m_doc.paperSize.width();
    if (m_zoom == Zoom::PageWidth)
        return byWidth;
    return std::min(byWidth, std::max(1, room.height()) / m_doc.paperSize.height());
}

void ReportPreview::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    updateView();
}

void ReportPreview::showPage(int index)
{
    m_page = std::clamp(index, 0, std::max(0, int(m_doc.pages.size()) - 1));
    updateView();
}

void ReportPreview::updateView()
{
    m_view->setPage(&m_doc, m_page, scale());
    const int count = int(m_doc.pages.size());
    m_pageLabel->setText(QStringLiteral("%1 / %2 ページ").arg(m_page + 1).arg(count));
    action("FirstPage")->setEnabled(m_page > 0);
    action("PreviousPage")->setEnabled(m_page > 0);
    action("NextPage")->setEnabled(m_page + 1 < count);
    action("LastPage")->setEnabled(m_page + 1 < count);
}

bool ReportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_zoom != Zoom::Actual)
        updateView();
    return QMainWindow::eventFilter(watched, event);
}

void ReportPreview::saveTo(const QString &path) const
{
    saveFileAtomically(path, m_doc.toFile());
}

void ReportPreview::loadFrom(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
    m_doc = ReportDocument::fromFile(file.readAll());
    m_page = 0;
    updateView();
}

void ReportPreview::exportTo(Export format, const QString &path) const
{
    switch (format) {
    case Export::Csv:
        saveFileAtomically(path, toCsv(m_doc.textReport()));
        break;
    case Export::Text:
        saveFileAtomically(path, toPlainText(m_doc.textReport()));
        break;
    case Export::Html:
        saveFileAtomically(path, toHtml(m_doc.textReport(), m_doc.title));
        break;
    case Export::Pdf:
        saveFileAtomically(path, reportPdf(m_doc));
        break;
    }
}

namespace {

const QString kReportFilter = QStringLiteral("レポートファイル (*.hvr)");

void reportFailure(QWidget *parent, const QString &what, const std::exception &error)
{
    MessageBoxes::error(parent, kCaption, what + QLatin1Char('\n') + QString::fromLocal8Bit(error.what()));
}

} // namespace

void ReportPreview::askSave()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("レポートの保存"), QString(), kReportFilter);
    if (path.isEmpty())
        return;
    try {
        saveTo(path);
    } catch (const std::exception &error) {
        reportFailure(this, QStringLiteral("レポートを保存できませんでした。"), error);
    }
}

void ReportPreview::askLoad()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("レポートを開く"), QString(), kReportFilter);
    if (path.isEmpty())
        return;
    try {
        loadFrom(path);
    } catch (const std::exception &error) {
        reportFailure(this, QStringLiteral("レポートを開けませんでした。"), error);
    }
}

void ReportPreview::askExport(Export format)
{
    static const QString filters[] = {
        QStringLiteral("CSV (*.csv)"),
        QStringLiteral("テキスト (*.txt)"),
        QStringLiteral("HTML (*.html)"),
        QStringLiteral("PDF (*.pdf)"),
    };
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("出力"), QString(),
                                                      filters[static_cast<int>(format)]);
    if (path.isEmpty())
        return;
    try {
        exportTo(format, path);
    } catch (const std::exception &error) {
        reportFailure(this, QStringLiteral("出力できませんでした。"), error);
    }
}

} // namespace hvn::console
