#include "ServiceUnit.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "ChildProcess.h"
#include "Svcretriever.h"

namespace hvn::retriever {

namespace fs = std::filesystem;

namespace {

bool isPlain(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._+-@:,=%$").find(c) != std::string_view::npos ||
           static_cast<unsigned char>(c) >= 0x80;
}

void rejectControlCharacters(std::string_view what, std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            throw std::invalid_argument(std::string(what) + " \"" + std::string(text) +
                                        "\" holds a control character");
}

// A word for a unit setting: in double quotes with backslash escapes when it holds blanks,
// quotes or backslashes. "%" starts a specifier everywhere and "$" expands variables in
// ExecStart only; both are escaped by doubling.
std::string unitWord(std::string_view text, bool expandsVariables)
{
    bool plain = !text.empty();
    for (const char c : text)
        plain = plain && isPlain(c);
    std::string out;
    if (!plain)
        out += '"';
    for (const char c : text) {
        if (c == '%')
            out += "%%";
        else if (c == '$' && expandsVariables)
            out += "$$";
        else if (!plain && (c == '"' || c == '\\'))
            out += {'\\', c};
        else
            out += c;
    }
    if (!plain)
        out += '"';
    return out;
}

bool sameDirectory(const fs::path &a, const fs::path &b)
{
    std::error_code ec;
    if (fs::equivalent(a, b, ec))
        return true;
    // Neither need exist yet; "/etc/systemd/system/" names the default directory too.
    return (a.lexically_normal() / "") == (b.lexically_normal() / "");
}

void runSystemctl(const UnitInstallation &installation, std::vector<std::string> arguments)
{
    if (installation.systemctl.empty())
        return;
    std::string commandLine = "systemctl";
    for (const std::string &a : arguments)
        commandLine += " " + a;
    arguments.insert(arguments.begin(), installation.systemctl.string());
    const int status = platform::runProgram(arguments);
    if (status != 0)
        throw std::runtime_error(commandLine + " exited with status " + std::to_string(status));
}

} // namespace

UnitInstallation unitInstallationFromEnvironment()
{
    UnitInstallation installation;
    const char *dir = std::getenv("HALVANE_SYSTEMD_DIR");
    installation.unitDirectory = dir && *dir ? fs::path(dir) : fs::path(kDefaultUnitDirectory);
    installation.executable = fs::read_symlink("/proc/self/exe");
    if (const char *registry = std::getenv("HALVANE_REGISTRY"); registry && *registry)
        installation.registryPath = fs::absolute(registry).lexically_normal().string();
    if (sameDirectory(installation.unitDirectory, fs::path(kDefaultUnitDirectory)))
        installation.systemctl = platform::findInPath("systemctl");
    return installation;
}

std::string unitFileText(const UnitInstallation &installation)
{
    rejectControlCharacters("the executable path", installation.executable.string());
    std::string text;
    text += "[Unit]\n";
    text += "Description=" + std::string(TRetriever::DisplayName) + "\n";
    text += "After=network.target\n";
    text += "\n[Service]\n";
    text += "Type=notify\n";
    text += "ExecStart=" + unitWord(installation.executable.string(), true) + "\n";
    // No Restart=: a service whose start fails (a taken port, say) logs it and stays stopped
    // rather than being started over and over.
    if (installation.registryPath) {
        rejectControlCharacters("HALVANE_REGISTRY", *installation.registryPath);
        text += "Environment=" + unitWord("HALVANE_REGISTRY=" + *installation.registryPath, false) + "\n";
    }
    text += "\n[Install]\n";
    text += "WantedBy=multi-user.target\n";
    return text;
}

void installService(const UnitInstallation &installation)
{
    const std::string text = unitFileText(installation);
    const fs::path target = installation.unitDirectory / kUnitFileName;
    const fs::path temporary = installation.unitDirectory / ("." + std::string(kUnitFileName) + ".tmp");
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            throw std::system_error(errno ? errno : EIO, std::generic_category(),
                                    "cannot write " + temporary.string());
        out << text;
        out.close();
        if (!out) {
            const int err = errno ? errno : EIO;
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw std::system_error(err, std::generic_category(), "cannot write " + temporary.string());
        }
    }
    std::error_code ec;
    fs::permissions(temporary, fs::perms(0644), ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw std::system_error(ec, "cannot write " + target.string());
    }
    runSystemctl(installation, {"daemon-reload"});
    runSystemctl(installation, {"enable", std::string(TRetriever::Name)});
}

void uninstallService(const UnitInstallation &installation)
{
    const fs::path target = installation.unitDirectory / kUnitFileName;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(target, ec)))
        throw std::system_error(ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory),
                                target.string());
    runSystemctl(installation, {"disable", std::string(TRetriever::Name)});
    if (!fs::remove(target, ec) && ec)
        throw std::system_error(ec, "cannot remove " + target.string());
    runSystemctl(installation, {"daemon-reload"});
}

} // namespace hvn::retriever
