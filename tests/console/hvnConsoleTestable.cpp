// hvnConsole as the process tests run it: the real console entry point, with three seams that
// only this test build installs (the installed hvnConsole reads none of these variables).
//   HALVANE_AUTOANSWER_MESSAGES  when non-empty, every message box is written to standard
//                                error as "caption|text" and answered with its default button
//                                (the first button when none), so a headless run never hangs.
//   HALVANE_CONSOLE_GUARD        the single-instance guard's lock file, required, so that tests
//                                never share the machine's guard with a real console.
//   HALVANE_CONSOLE_DRIVER       when non-empty, a file of commands that drive the running
//                                console's widgets (ConsoleDriver.h); the program then exits
//                                with 3 when a command could not be carried out.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <QCoreApplication>

#include "ConsoleDriver.h"
#include "app/ConsoleApp.h"
#include "app/MessageBoxes.h"

namespace {

using hvn::console::MessageRequest;

QMessageBox::StandardButton defaultAnswer(const MessageRequest &request)
{
    if (request.defaultButton != QMessageBox::NoButton)
        return request.defaultButton;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (request.buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    }
    return QMessageBox::NoButton;
}

const char *nonEmptyVariable(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Runs as the application object is made, before any window exists.
void startDriver()
{
    new hvn::console::test::ConsoleDriver(nonEmptyVariable("HALVANE_CONSOLE_DRIVER"), QCoreApplication::instance());
}

} // namespace

int main(int argc, char **argv)
{
    if (nonEmptyVariable("HALVANE_AUTOANSWER_MESSAGES")) {
        hvn::console::MessageBoxes::setHandler([](const MessageRequest &request) {
            std::fprintf(stderr, "%s|%s\n", request.caption.toUtf8().constData(), request.text.toUtf8().constData());
            std::fflush(stderr);
            return defaultAnswer(request);
        });
    }
    const char *guard = nonEmptyVariable("HALVANE_CONSOLE_GUARD");
    if (!guard) {
        std::fprintf(stderr, "hvnConsoleTestable: HALVANE_CONSOLE_GUARD must name the guard file\n");
        return 2;
    }
    if (nonEmptyVariable("HALVANE_CONSOLE_DRIVER"))
        qAddPreRoutine(startDriver);
    const int status = hvn::console::runConsole(argc, argv, std::filesystem::path(guard));
    return hvn::console::test::ConsoleDriver::failed() ? 3 : status;
}
