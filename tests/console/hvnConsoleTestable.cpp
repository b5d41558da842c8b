// hvnConsole as the process tests run it: the real console entry point, with two seams that
// only this test build installs (the installed hvnConsole reads neither variable).
//   HALVANE_AUTOANSWER_MESSAGES  when non-empty, every message box is written to standard
//                                error as "caption|text" and answered with its default button
//                                (the first button when none), so a headless run never hangs.
//   HALVANE_CONSOLE_GUARD        the single-instance guard's lock file, required, so that tests
//                                never share the machine's guard with a real console.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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
    return hvn::console::runConsole(argc, argv, std::filesystem::path(guard));
}
