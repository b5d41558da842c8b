#pragma once

#include <QWidget>

class QTextBrowser;

namespace hvn::console {

// The console's help viewer: a window showing the HTML help shipped inside the program
// (resource folder :/help). Created on first use and kept; showing a page raises it.
// GUI thread only.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static const QString kContentsPage;
    static const QString kHowToUsePage;

    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows the page (a file name under :/help) and brings the window to the front.
    void showPage(const QString &page);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};

} // namespace hvn::console
