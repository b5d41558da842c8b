// hvnReport: the console's reports without a window, for administrators' scripts and cron.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>

#include "ReportCommand.h"

namespace {

// Standard error carries the program's own one-line reasons only; Qt's warnings (no runtime
// folder under cron, font configuration notes) are not for the administrator's mail.
void quietQtMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "hvnReport: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char **argv)
{
    // Painting needs no screen: unless told otherwise, the report is drawn offscreen, so the
    // program runs the same from cron, over ssh and on a desktop. The charts are graphics-view
    // widgets, hence a widgets application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietQtMessages);
    QApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return hvn::report::runReportProgram(args, stdout, stderr);
}
