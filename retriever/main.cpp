// hvnRetriever: the receiver service. Serves in the foreground under systemd, or registers
// and removes its unit with /INSTALL and /UNINSTALL.

#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Dmfdatabase.h"
#include "ServiceHost.h"
#include "Svcretriever.h"

int main(int argc, char **argv)
{
    using namespace hvn::retriever;

    // Before any thread exists, so that every thread inherits the mask.
    blockServiceSignals();

    HostCommand command;
    try {
        command = parseHostCommand(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception &e) {
        std::cerr << TRetriever::DisplayName << ": " << e.what() << "\n" << kHostUsage << "\n";
        return 2;
    }

    // A settings file that cannot be read says so, rather than reading as an empty store.
    if (const auto problem = hvn::TdmRegistryCtl().StoreProblem()) {
        std::cerr << TRetriever::DisplayName << ": " << *problem << "\n";
        return 1;
    }

    // The service object and one database module whose connection stays open for the life of
    // the process. Neither the service nor its registration runs without a reachable database.
    std::unique_ptr<TRetriever> service;
    std::unique_ptr<TdmDatabase> database;
    try {
        service = std::make_unique<TRetriever>();
        database = std::make_unique<TdmDatabase>();
    } catch (const std::exception &e) {
        std::cerr << TRetriever::DisplayName << ": " << e.what() << "\n";
        return 1;
    }

    if (command.action == HostAction::Run)
        return runService(*service);

    UnitInstallation installation;
    try {
        installation = unitInstallationFromEnvironment();
    } catch (const std::exception &e) {
        const std::string text = errorText(e);
        std::cerr << (command.action == HostAction::Install ? installFailedMessage(text)
                                                             : uninstallFailedMessage(text))
                  << "\n";
        return 1;
    }
    return runInstallCommand(command, installation, std::cout, std::cerr);
}
