#pragma once

#include <functional>

#include <QMainWindow>

#include "report/ReportDocument.h"

class QAction;
class QLabel;
class QScrollArea;
class QToolBar;

namespace hvn::console {

class TqrForm;
class ReportPageView;

// The preview window "プレビュー" of a rendered report: zoom to the whole page, 100 % or the
// page width; first, previous, next and last page; the print dialog and printing through the
// report form's printer settings; saving the rendered report as a report file and loading one;
// exports as comma-separated text, plain text, HTML and PDF; "閉じる(&C)". Non-modal; deletes
// itself when closed. It shows only the document it holds, so no later change in another
// window alters it. GUI thread only.
class ReportPreview : public QMainWindow {
    Q_OBJECT
public:
    enum class Zoom { WholePage, Actual, PageWidth };
    enum class Export { Csv, Text, Html, Pdf };

    // The window is a top-level child of `parent`; form must outlive it.
    ReportPreview(TqrForm &form, ReportDocument doc, QWidget *parent);

    const ReportDocument &document() const { return m_doc; }
    int currentPage() const { return m_page; } // 0-based
    Zoom zoom() const { return m_zoom; }
    // Screen pixels per millimetre of the page as shown.
    double scale() const;

    void setZoom(Zoom zoom);
    void showPage(int index); // clamped to the document's pages

    // The commands behind the file actions, for a path the user has chosen. Each throws
    // std::runtime_error with the reason when the file cannot be read or written; a failed
    // write leaves an existing file as it was.
    void saveTo(const QString &path) const;
    void loadFrom(const QString &path);
    void exportTo(Export format, const QString &path) const;

    QAction *action(const char *name) const;

protected:
    // Fits the page again whenever the page area changes size, the first time included: its
    // size is known only once the window is laid out on screen.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addCommand(QWidget *bar, const char *name, const QString &text, std::function<void()> command);
    void updateView();
    void askSave();
    void askLoad();
    void askExport(Export format);

    TqrForm &m_form;
    ReportDocument m_doc;
    int m_page = 0;
    Zoom m_zoom = Zoom::WholePage;
    QScrollArea *m_scroll = nullptr;
    ReportPageView *m_view = nullptr;
    QLabel *m_pageLabel = nullptr;
};

} // namespace hvn::console
