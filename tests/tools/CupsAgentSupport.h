#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace hvn::cupsagent::test {

std::filesystem::path agentProgram();
std::filesystem::path captureBackend();

// An installation of the service (settings file, database, ports) whose settings file also
// holds the agent's key: its spool folder inside the installation, the service's port.
class AgentInstallation : public e2e::Installation {
public:
    AgentInstallation();
    std::filesystem::path spoolFolder() const { return dir() / "agent-spool"; }
    // Points the agent at another port (a stopped or silent service).
    void setServicePort(std::uint16_t port) const;
    // The rows of tblPrintingData as "user|printer|computer|pages|sides|sheets", oldest first.
    std::vector<std::string> printRows() const;
};

// Test documents, written by the tests themselves.
void writePdf(const std::filesystem::path &path, int pages);        // through ghostscript
void writePostScript(const std::filesystem::path &path, int pages); // DSC-conforming, by hand
void writePcl(const std::filesystem::path &path, int pages);

// Makes the folder and its parents up to the system's temporary folder reachable by every user,
// and the folder itself writable, for backends that cupsd and the agent run as lp.
void openToAll(const std::filesystem::path &folder);

std::string readText(const std::filesystem::path &path);

} // namespace hvn::cupsagent::test
