// Saves a PNG of each statistics tab of the real main window: console_screenshots DIR.
// Runs against the settings store that HALVANE_REGISTRY names, like the console itself; the
// window is shown, so each tab loads through the lock bracket as it would on screen.
#include <cstdio>

#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include "app/ConsoleApp.h"
#include "mainform/Mainform.h"

int main(int argc, char **argv)
{
    hvn::console::TApplication app(argc, argv);
    hvn::console::setUpApplication();
    if (argc != 2) {
        std::fprintf(stderr, "usage: console_screenshots DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "console_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    hvn::console::TMainForm form;
    form.PageControl1->setCurrentIndex(0);
    form.show();
    int failures = 0;
    for (int tab = 0; tab < 4; ++tab) {
        form.PageControl1->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        const QString file = dir.filePath(QStringLiteral("tab%1-%2.png").arg(tab).arg(form.PageControl1->widget(tab)->objectName()));
        if (form.grab().save(file)) {
            std::printf("%s\n", qPrintable(file));
        } else {
            std::fprintf(stderr, "console_screenshots: cannot write %s\n", qPrintable(file));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
