#include "ServiceUnit.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "Dmregistry.h"
#include "RegistryFile.h"
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

// systemd takes an executable path literally, without expanding "$" in it, and refuses one
// with a quote or a backslash; a unit naming such a path could never start.
void rejectUnstartablePath(std::string_view what, std::string_view text, std::string_view characters)
{
    rejectControlCharacters(what, text);
    const std::size_t bad = text.find_first_of(characters);
    if (bad != std::string_view::npos)
        throw std::invalid_argument(std::string(what) + " \"" + std::string(text) + "\" holds '" +
                                    text[bad] + "', which systemd cannot take in a unit; install from a path without it");
}

bool isUnder(const fs::path &path, const fs::path &root)
{
    const fs::path relative = path.lexically_normal().lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

bool anyUnder(const UnitInstallation &installation, std::initializer_list<const char *> roots)
{
    for (const char *root : roots)
        for (const fs::path &path : {installation.database.parent_path(), installation.settingsFile})
            if (!path.empty() && isUnder(path, root))
                return true;
    return false;
}

// The sandbox. Each line keeps something from the service that it never needs; the service
// keeps its database folder, the settings file (read only), syslog, sd_notify and its ports.
std::string sandboxSettings(const UnitInstallation &installation)
{
    std::string text;
    text += "User=" + installation.serviceUser + "\n";
    text += "Group=" + installation.serviceUser + "\n";
    if (!installation.databaseGroup.empty())
        text += "SupplementaryGroups=" + installation.databaseGroup + "\n";
    text += "UMask=0027\n";
    text += "LimitNOFILE=" + std::to_string(kUnitDescriptorLimit) + "\n";
    text += "ProtectSystem=strict\n";
    if (!installation.database.empty())
        text += "ReadWritePaths=" + unitWord(installation.database.parent_path().string(), false) + "\n";
    // A database or settings file under a home folder or a temporary folder stays reachable.
    text += anyUnder(installation, {"/home", "/root", "/run/user"}) ? "ProtectHome=read-only\n" : "ProtectHome=yes\n";
    text += anyUnder(installation, {"/tmp", "/var/tmp"}) ? "PrivateTmp=no\n" : "PrivateTmp=yes\n";
    text += "PrivateDevices=yes\n";
    text += "DevicePolicy=closed\n";
    if (installation.privilegedPort) {
        // The one capability a port below 1024 needs; it works only in the host's user namespace.
        text += "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n";
        text += "AmbientCapabilities=CAP_NET_BIND_SERVICE\n";
    } else {
        text += "CapabilityBoundingSet=\n";
        text += "AmbientCapabilities=\n";
        text += "PrivateUsers=yes\n";
    }
    text += "NoNewPrivileges=yes\n";
    text += "PrivateMounts=yes\n";
    text += "ProtectKernelTunables=yes\n";
    text += "ProtectKernelModules=yes\n";
    text += "ProtectKernelLogs=yes\n";
    text += "ProtectControlGroups=yes\n";
    text += "ProtectClock=yes\n";
    text += "ProtectHostname=yes\n";
    text += "ProtectProc=invisible\n";
    text += "ProcSubset=pid\n";
    text += "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n";
    text += "RestrictNamespaces=yes\n";
    text += "RestrictRealtime=yes\n";
    text += "RestrictSUIDSGID=yes\n";
    text += "LockPersonality=yes\n";
    text += "MemoryDenyWriteExecute=yes\n";
    text += "RemoveIPC=yes\n";
    text += "KeyringMode=private\n";
    text += "SystemCallArchitectures=native\n";
    text += "SystemCallFilter=@system-service\n";
    text += "SystemCallFilter=~@privileged @resources\n";
    text += "SystemCallErrorNumber=EPERM\n";
    return text;
}

[[noreturn]] void throwErrno(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// The service user's entry, created as a system user when missing.
passwd serviceAccount(const std::string &user)
{
    auto lookup = [&user]() -> std::optional<passwd> {
        const passwd *entry = ::getpwnam(user.c_str());
        return entry ? std::optional<passwd>(*entry) : std::nullopt;
    };
    if (auto entry = lookup())
        return *entry;
    fs::path useradd = platform::findInPath("useradd");
    if (useradd.empty())
        useradd = "/usr/sbin/useradd";
    const int status = platform::runProgram({useradd.string(), "--system", "--user-group", "--no-create-home",
                                             "--home-dir", "/nonexistent", "--shell", "/usr/sbin/nologin",
                                             "--comment", std::string(TRetriever::DisplayName) + " service", user});
    if (status != 0)
        throw std::runtime_error("useradd " + user + " exited with status " + std::to_string(status));
    if (auto entry = lookup())
        return *entry;
    throw std::runtime_error("the user " + user + " was created but cannot be found");
}

void handToServiceUser(const fs::path &path, const passwd &account, mode_t addMode)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        throwErrno("cannot hand " + path.string() + " to " + account.pw_name);
    if (S_ISLNK(info.st_mode))
        return; // a link's target is not ours to give away
    if (::chown(path.c_str(), account.pw_uid, static_cast<gid_t>(-1)) != 0 ||
        ::chmod(path.c_str(), (info.st_mode & 07777) | addMode) != 0)
        throwErrno("cannot hand " + path.string() + " to " + account.pw_name);
}

void prepareDatabaseFolder(const fs::path &database, const passwd &account)
{
    const fs::path folder = database.parent_path();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw std::runtime_error("the database folder " + folder.string() + " does not exist");
    const auto refuse = [&folder](const std::string &why) {
        throw std::runtime_error("the database folder " + folder.string() + " " + why +
                                 "; give the database a folder of its own (for example /var/lib/halvane)");
    };
    if (folder.lexically_normal() == "/")
        refuse("is the root folder");
    if (info.st_mode & (S_IWOTH | S_ISVTX))
        refuse("is writable by everyone");
    // Normal accounts start at UID_MIN, 1000 on Debian; their folders are a person's own.
    if (info.st_uid >= 1000 && info.st_uid != account.pw_uid && info.st_uid != 65534) {
        const passwd *owner = ::getpwuid(info.st_uid);
        refuse("belongs to the user " + (owner ? std::string(owner->pw_name) : std::to_string(info.st_uid)));
    }
    handToServiceUser(folder, account, S_IRWXU | S_ISGID);
    // The database and its companions (write-ahead log, shared-memory index, spool) share its
    // name as prefix; they are the service's to write.
    const std::string prefix = database.filename().string();
    for (const auto &entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && entry.is_regular_file())
            handToServiceUser(entry.path(), account, S_IRUSR | S_IWUSR);
    }
}

// Lets every account read the settings file (it holds paths and ports, nothing secret), and
// checks that the folders above it can be passed.
void prepareSettingsFile(const fs::path &settings, const passwd &account)
{
    for (fs::path folder = settings.parent_path(); !folder.empty() && folder != folder.root_path();
         folder = folder.parent_path()) {
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0)
            continue;
        const bool passable = (info.st_mode & S_IXOTH) || (info.st_uid == account.pw_uid && (info.st_mode & S_IXUSR)) ||
                              (info.st_gid == account.pw_gid && (info.st_mode & S_IXGRP));
        if (!passable)
            throw std::runtime_error("the service cannot reach the settings file " + settings.string() +
                                     ": the folder " + folder.string() + " is closed to other users");
    }
    for (const fs::path &file : {settings, fs::path(settings.string() + ".lock")}) {
        struct stat info {};
        if (::stat(file.c_str(), &info) == 0 && !(info.st_mode & S_IROTH) &&
            ::chmod(file.c_str(), (info.st_mode & 07777) | S_IROTH) != 0)
            throwErrno("cannot let the service read " + file.string());
    }
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
    installation.settingsFile = fs::absolute(platform::RegistryFile::defaultPath()).lexically_normal();
    const TdmRegistryCtl registry;
    const fs::path database = registry.GetRegistryString("DatabasePath");
    if (!database.empty()) {
        installation.database = fs::absolute(database).lexically_normal();
        struct stat info {};
        const group *folderGroup = ::stat(installation.database.parent_path().c_str(), &info) == 0 && info.st_gid != 0
                                       ? ::getgrgid(info.st_gid)
                                       : nullptr;
        if (folderGroup && std::string_view(folderGroup->gr_name) != installation.serviceUser)
            installation.databaseGroup = folderGroup->gr_name;
    }
    for (const char *port : {"PortNumber", "PortNumberConsole"}) {
        const std::int32_t number = registry.GetRegistryInteger(port);
        installation.privilegedPort = installation.privilegedPort || (number > 0 && number < 1024);
    }
    if (sameDirectory(installation.unitDirectory, fs::path(kDefaultUnitDirectory))) {
        installation.systemctl = platform::findInPath("systemctl");
        installation.prepareSystem = true;
    }
    return installation;
}

std::string unitFileText(const UnitInstallation &installation)
{
    rejectUnstartablePath("the executable path", installation.executable.string(), "$\"\\");
    rejectUnstartablePath("the database folder", installation.database.parent_path().string(), "\"\\");
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
    text += sandboxSettings(installation);
    text += "\n[Install]\n";
    text += "WantedBy=multi-user.target\n";
    return text;
}

void prepareServiceAccount(const UnitInstallation &installation)
{
    if (!installation.prepareSystem)
        return;
    const passwd account = serviceAccount(installation.serviceUser);
    if (!installation.database.empty())
        prepareDatabaseFolder(installation.database, account);
    if (!installation.settingsFile.empty())
        prepareSettingsFile(installation.settingsFile, account);
}

void installService(const UnitInstallation &installation)
{
    const std::string text = unitFileText(installation);
    prepareServiceAccount(installation);
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
