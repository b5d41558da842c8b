// Writes Retriever.service for a packaged or source installation at build time, with the same
// code as "hvnRetriever /INSTALL", so that both units carry one sandbox.
//
// usage: hvnUnitFile --executable PATH --database PATH --settings PATH [--group NAME] OUTPUT

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "ServiceUnit.h"

int main(int argc, char **argv)
{
    hvn::retriever::UnitInstallation installation;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--executable" && hasValue)
            installation.executable = argv[++i];
        else if (arg == "--database" && hasValue)
            installation.database = argv[++i];
        else if (arg == "--settings" && hasValue)
            installation.settingsFile = argv[++i];
        else if (arg == "--group" && hasValue)
            installation.databaseGroup = argv[++i];
        else if (arg.rfind("--", 0) != 0 && output.empty())
            output = arg;
        else {
            std::cerr << "hvnUnitFile: unexpected argument \"" << arg << "\"\n";
            return 2;
        }
    }
    if (output.empty() || installation.executable.empty() || !installation.executable.is_absolute()
        || !installation.database.is_absolute() || !installation.settingsFile.is_absolute()) {
        std::cerr << "usage: hvnUnitFile --executable PATH --database PATH --settings PATH [--group NAME] OUTPUT\n"
                     "(absolute paths)\n";
        return 2;
    }
    try {
        const std::string text = hvn::retriever::unitFileText(installation);
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::cerr << "hvnUnitFile: cannot write " << output << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    } catch (const std::exception &e) {
        std::cerr << "hvnUnitFile: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
