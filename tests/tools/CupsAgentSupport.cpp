#include "CupsAgentSupport.h"

#include <fstream>
#include <stdexcept>

#include <sys/stat.h>

#include "AgentSettings.h"
#include "ChildProcess.h"
#include "RegistryFile.h"

namespace hvn::cupsagent::test {

namespace fs = std::filesystem;

fs::path agentProgram() { return HVN_CUPSAGENT_PROGRAM; }
fs::path captureBackend() { return HVN_CAPTURE_BACKEND; }

AgentInstallation::AgentInstallation()
{
    platform::RegistryFile store(registry());
    if (!store.writeString(kAgentKey, "SpoolFolder", spoolFolder().string()))
        throw std::runtime_error("cannot write the agent's settings");
    setServicePort(port());
}

void AgentInstallation::setServicePort(std::uint16_t port) const
{
    platform::RegistryFile store(registry());
    if (!store.writeDword(kAgentKey, "ServicePort", port))
        throw std::runtime_error("cannot write the agent's settings");
}

std::vector<std::string> AgentInstallation::printRows() const
{
    return rows("SELECT u.UserName, p.PrinterName, d.ComputerName, d.DocumentPages, d.SidesOfPaper, "
                "d.SheetsOfPaper FROM tblPrintingData d JOIN tblUserInfo u ON u.UserID = d.UserID "
                "JOIN tblPrintingMachineInfo p ON p.PrinterID = d.PrinterID ORDER BY d.rowid");
}

void writePdf(const fs::path &path, int pages)
{
    const int status = platform::runProgram(
        {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-o", path.string(), "-c",
         "1 1 " + std::to_string(pages) +
             " { /Helvetica findfont 24 scalefont setfont 72 700 moveto (page ) show 3 string cvs show showpage } for"});
    if (status != 0)
        throw std::runtime_error("gs could not write " + path.string());
}

void writePostScript(const fs::path &path, int pages)
{
    std::ofstream out(path, std::ios::binary);
    out << "%!PS-Adobe-3.0\n%%Pages: " << pages << "\n%%EndComments\n";
    for (int i = 1; i <= pages; ++i)
        out << "%%Page: " << i << " " << i << "\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (page "
            << i << ") show showpage\n";
    out << "%%Trailer\n%%EOF\n";
}

void writePcl(const fs::path &path, int pages)
{
    std::ofstream out(path, std::ios::binary);
    out << "\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E";
    for (int i = 1; i <= pages; ++i)
        out << "page " << i << "\x0c";
    out << "\x1b" "E\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
}

void openToAll(const fs::path &folder)
{
    const fs::path temp = fs::temp_directory_path();
    ::chmod(folder.c_str(), 0777);
    for (fs::path p = folder.parent_path(); p.string().size() > temp.string().size(); p = p.parent_path())
        ::chmod(p.c_str(), 0755);
}

std::string readText(const fs::path &path)
{
    return e2e::readFile(path);
}

} // namespace hvn::cupsagent::test
