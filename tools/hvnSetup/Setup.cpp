#include "Setup.h"

#include "Connection.h"
#include "Dmregistry.h"
#include "NetworkList.h"
#include "RegistryFile.h"
#include "Schema.h"

#include <SQLiteCpp/Database.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <ostream>
#include <stdexcept>
#include <unistd.h>

namespace hvn::setup {

namespace fs = std::filesystem;

namespace {

constexpr const char *kUsage =
    "usage: hvnSetup init --database PATH [--port N] [--console-port M] [--agent-networks LIST]\n"
    "       hvnSetup agent --host H --port P [--spool DIR]\n"
    "       hvnSetup upgrade             bring the settings' database up to date; no setting changes\n"
    "       hvnSetup show                (also the CUPS agent's settings, when set)\n"
    "LIST names the networks agents may connect from, e.g. \"192.168.10.0/24, 10.1.0.0/16, ::1/128\";\n"
    "\"\" allows every address again.\n"
    "The settings file is $HALVANE_REGISTRY (default /etc/halvane/registry.reg).\n";

std::uint16_t parsePort(const std::string &option, const std::string &text)
{
    unsigned value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 1 || value > 65535)
        throw std::runtime_error(option + " needs a port number from 1 to 65535, not '" + text + "'");
    return static_cast<std::uint16_t>(value);
}

void createFolder(const fs::path &folder, const char *what)
{
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec))
        return;
    fs::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error(std::string("cannot create the ") + what + " folder " +
                                 folder.string() + ": " + ec.message());
}

// Builds the new database beside its final path and moves it in place only when complete,
// so an interrupted setup never leaves a half-made database behind.
void createDatabase(const fs::path &database)
{
    const fs::path folder = database.parent_path();
    createFolder(folder, "database");
    std::string pattern = (folder / (database.filename().string() + ".new-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("cannot create the database in " + folder.string() + ": " +
                                 std::strerror(errno));
    // mkstemp makes the file private; the console's user needs it too, so follow the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    const fs::path temporary = pattern;
    try {
        {
            SQLite::Database db(temporary.string(), SQLite::OPEN_READWRITE);
            // Write-ahead logging is switched on once the file is in place, so no log file is
            // left behind under the temporary name.
            db.exec("PRAGMA journal_mode=DELETE");
            schema::createSchema(db);
        }
        if (::link(temporary.c_str(), database.c_str()) != 0) {
            const int error = errno;
            throw std::runtime_error("cannot create the database " + database.string() + ": " +
                                     std::strerror(error));
        }
        ::unlink(temporary.c_str());
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    SQLite::Database db(database.string(), SQLite::OPEN_READWRITE);
    db::applyDurability(db);
}

void checkDatabase(const fs::path &database, std::ostream &progress)
{
    std::unique_ptr<SQLite::Database> db;
    try {
        db = std::make_unique<SQLite::Database>(database.string(), SQLite::OPEN_READWRITE);
        schema::checkSchema(*db);
        db::applyDurability(*db);
    } catch (const std::exception &e) {
        throw std::runtime_error(database.string() + " is not a Halvane database: " + e.what());
    }
    try {
        schema::upgradeSchema(*db, [&progress](const std::string &step) { progress << step << std::endl; });
    } catch (const std::exception &e) {
        throw std::runtime_error("cannot bring " + database.string() + " up to date (nothing was changed): " +
                                 e.what());
    }
}

std::string describe(const platform::RegValue &value)
{
    switch (value.type) {
    case platform::RegType::String:
        return value.text + "  (REG_SZ)";
    case platform::RegType::ExpandString:
        return value.text + "  (REG_EXPAND_SZ)";
    case platform::RegType::Dword:
        return std::to_string(value.dword) + "  (REG_DWORD)";
    case platform::RegType::Other:
        break;
    }
    return "(another type)";
}

int runInit(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    InitOptions options;
    bool haveDatabase = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &option = args[i];
        if (option != "--database" && option != "--port" && option != "--console-port" &&
            option != "--agent-networks")
            throw std::runtime_error("unknown option '" + option + "'");
        if (i + 1 >= args.size())
            throw std::runtime_error(option + " needs a value");
        const std::string &value = args[++i];
        if (option == "--database") {
            if (value.empty())
                throw std::runtime_error("--database needs a path");
            options.database = fs::absolute(value).lexically_normal();
            haveDatabase = true;
        } else if (option == "--agent-networks") {
            try {
                options.agentNetworks = platform::NetworkList::parse(value).text();
            } catch (const std::invalid_argument &e) {
                throw std::runtime_error("--agent-networks: " + std::string(e.what()));
            }
        } else if (option == "--port") {
            options.port = parsePort(option, value);
        } else {
            options.consolePort = parsePort(option, value);
        }
    }
    if (!haveDatabase)
        throw std::runtime_error("init needs --database PATH");
    if (options.port == options.consolePort)
        throw std::runtime_error("--port and --console-port must differ");

    const DatabaseState state = initDatabase(options.database, out);
    const fs::path store = platform::RegistryFile::defaultPath();
    writeSettings(store, options);

    out << (state == DatabaseState::Created ? "created database " : "kept existing database ")
        << options.database.string() << "\n"
        << "wrote settings to " << store.string() << "\n";
    (void)err;
    return 0;
}

// A host name or address for the agent: printable, without blanks.
std::string parseHost(const std::string &text)
{
    if (text.empty())
        throw std::runtime_error("--host needs a host name or address");
    for (const unsigned char c : text)
        if (c <= 0x20 || c == 0x7f)
            throw std::runtime_error("--host '" + text + "' holds a blank or control character");
    return text;
}

int runAgent(const std::vector<std::string> &args, std::ostream &out)
{
    AgentOptions options;
    bool haveHost = false;
    bool havePort = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &option = args[i];
        if (option != "--host" && option != "--port" && option != "--spool")
            throw std::runtime_error("unknown option '" + option + "'");
        if (i + 1 >= args.size())
            throw std::runtime_error(option + " needs a value");
        const std::string &value = args[++i];
        if (option == "--host") {
            options.host = parseHost(value);
            haveHost = true;
        } else if (option == "--port") {
            options.port = parsePort(option, value);
            havePort = true;
        } else {
            if (value.empty())
                throw std::runtime_error("--spool needs a folder");
            options.spoolFolder = fs::absolute(value).lexically_normal();
        }
    }
    if (!haveHost || !havePort)
        throw std::runtime_error("agent needs --host H and --port P");
    const fs::path store = platform::RegistryFile::defaultPath();
    writeAgentSettings(store, options);
    out << "wrote the CUPS agent's settings to " << store.string() << "\n";
    return 0;
}

// What a package upgrade runs: the database that DatabasePath names gains what newer programs
// read (indexes, month totals), in one transaction and with its records untouched. A missing
// database is left missing (the administrator may have moved it on purpose).
int runUpgrade(std::ostream &out, std::ostream &err)
{
    const TdmRegistryCtl reg(platform::RegistryFile::defaultPath());
    const std::string database = reg.GetRegistryString("DatabasePath");
    if (database.empty()) {
        err << "hvnSetup: no DatabasePath in " << platform::RegistryFile::defaultPath().string()
            << " (run hvnSetup init first)\n";
        return 1;
    }
    std::error_code ec;
    if (!fs::exists(database, ec)) {
        out << "no database at " << database << ": nothing to bring up to date\n";
        return 0;
    }
    initDatabase(database, out);
    out << database << " is up to date\n";
    return 0;
}

int runShow(std::ostream &out, std::ostream &err)
{
    const platform::RegistryFile store(platform::RegistryFile::defaultPath());
    const auto values = store.values(kProductKey);
    if (!values) {
        err << "hvnSetup: no settings under HKEY_LOCAL_MACHINE\\" << kProductKey << " in "
            << store.path().string() << " (run hvnSetup init first)\n";
        return 1;
    }
    out << "[HKEY_LOCAL_MACHINE\\" << kProductKey << "]  in " << store.path().string() << "\n";
    for (const auto &[name, value] : *values)
        out << name << " = " << describe(value) << "\n";
    if (const auto agent = store.values(kCupsAgentKey)) {
        out << "[HKEY_LOCAL_MACHINE\\" << kCupsAgentKey << "]\n";
        for (const auto &[name, value] : *agent)
            out << name << " = " << describe(value) << "\n";
    }
    return 0;
}

} // namespace

DatabaseState initDatabase(const fs::path &database, std::ostream &progress)
{
    std::error_code ec;
    const auto status = fs::status(database, ec);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            throw std::runtime_error(database.string() + " exists and is not a file");
        checkDatabase(database, progress);
        return DatabaseState::Existing;
    }
    createDatabase(database);
    return DatabaseState::Created;
}

void writeSettings(const fs::path &storePath, const InitOptions &options)
{
    createFolder(storePath.parent_path(), "settings");
    const TdmRegistryCtl reg(storePath);
    const bool ok =
        reg.SetRegistryString("DatabasePath", options.database.string()) &&
        reg.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey, "PortNumber",
                              options.port) &&
        reg.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey,
                              "PortNumberConsole", options.consolePort) &&
        (!options.agentNetworks || reg.SetRegistryString("AgentNetworks", *options.agentNetworks));
    if (!ok)
        throw std::runtime_error("cannot write the settings file " + storePath.string() +
                                 " (is it writable, and a valid registry file?)");
}

void writeAgentSettings(const fs::path &storePath, const AgentOptions &options)
{
    createFolder(storePath.parent_path(), "settings");
    platform::RegistryFile store(storePath);
    const bool ok = store.writeString(kCupsAgentKey, "ServiceHost", options.host) &&
                    store.writeDword(kCupsAgentKey, "ServicePort", options.port) &&
                    (!options.spoolFolder ||
                     store.writeString(kCupsAgentKey, "SpoolFolder", options.spoolFolder->string()));
    if (!ok)
        throw std::runtime_error("cannot write the settings file " + storePath.string() +
                                 " (is it writable, and a valid registry file?)");
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    try {
        if (args.empty() || args[0] == "--help" || args[0] == "-h") {
            (args.empty() ? err : out) << kUsage;
            return args.empty() ? 2 : 0;
        }
        if (args[0] == "init")
            return runInit(args, out, err);
        if (args[0] == "agent")
            return runAgent(args, out);
        if (args[0] == "upgrade") {
            if (args.size() > 1)
                throw std::runtime_error("upgrade takes no options");
            return runUpgrade(out, err);
        }
        if (args[0] == "show") {
            if (args.size() > 1)
                throw std::runtime_error("show takes no options");
            return runShow(out, err);
        }
        throw std::runtime_error("unknown command '" + args[0] + "'");
    } catch (const std::exception &e) {
        err << "hvnSetup: " << e.what() << "\n";
        return 1;
    }
}

} // namespace hvn::setup
