#include "ServiceHost.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "HostCommand.h"
#include "ServiceUnit.h"
#include "TempDir.h"

namespace hvn::retriever {
namespace {

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HostCommand, SwitchesAreRecognisedWithSlashOrDashInAnyCase)
{
    const struct {
        std::vector<std::string> args;
        HostAction action;
        bool silent;
    } cases[] = {
        {{}, HostAction::Run, false},
        {{"/INSTALL"}, HostAction::Install, false},
        {{"-install"}, HostAction::Install, false},
        {{"/Install", "-SILENT"}, HostAction::Install, true},
        {{"-silent", "/uninstall"}, HostAction::Uninstall, true},
        {{"-UnInstall"}, HostAction::Uninstall, false},
    };
    for (const auto &c : cases) {
        const HostCommand command = parseHostCommand(c.args);
        EXPECT_EQ(command.action, c.action) << ::testing::PrintToString(c.args);
        EXPECT_EQ(command.silent, c.silent) << ::testing::PrintToString(c.args);
    }
}

TEST(HostCommand, UnknownOrConflictingArgumentsAreRefused)
{
    const std::vector<std::vector<std::string>> cases = {
        {"INSTALL"},          // no leading switch character
        {"--install"},        // doubled dash is no switch spelling
        {"/installx"},        // only the whole word counts
        {""},
        {"/"},
        {"/INSTALL", "/UNINSTALL"},
    };
    for (const auto &args : cases)
        EXPECT_THROW(parseHostCommand(args), std::invalid_argument) << ::testing::PrintToString(args);
}

UnitInstallation installationIn(const std::filesystem::path &dir)
{
    UnitInstallation installation;
    installation.unitDirectory = dir;
    installation.executable = "/opt/halvane/bin/hvnRetriever";
    installation.registryPath = "/etc/halvane/registry.reg";
    installation.settingsFile = "/etc/halvane/registry.reg";
    installation.database = "/var/lib/halvane/hvnDatabase.db";
    return installation;
}

bool hasLine(const std::string &text, const std::string &line)
{
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(ServiceUnit, UnitStartsThisExecutableAsTheServiceUserWithWritesOnlyToTheDatabaseFolder)
{
    const std::string text = unitFileText(installationIn("/unused"));
    for (const char *line : {"Description=hvnRetriever", "Type=notify", "ExecStart=/opt/halvane/bin/hvnRetriever",
                             "Environment=HALVANE_REGISTRY=/etc/halvane/registry.reg", "User=hvnretriever",
                             "LimitNOFILE=16384", "ProtectSystem=strict", "ReadWritePaths=/var/lib/halvane",
                             "ProtectHome=yes", "PrivateTmp=yes", "CapabilityBoundingSet=", "PrivateUsers=yes",
                             "WantedBy=multi-user.target"})
        EXPECT_TRUE(hasLine(text, line)) << line << " missing from\n" << text;
    EXPECT_EQ(text.find("Restart="), std::string::npos) << "a failing start would be repeated";

    UnitInstallation withoutRegistry = installationIn("/unused");
    withoutRegistry.registryPath.reset();
    EXPECT_EQ(unitFileText(withoutRegistry).find("Environment="), std::string::npos);

    // What a configuration needs loosens only that part of the sandbox.
    UnitInstallation atHome = installationIn("/unused");
    atHome.database = "/home/office/halvane/hvnDatabase.db";
    atHome.privilegedPort = true;
    atHome.databaseGroup = "halvane";
    const std::string loosened = unitFileText(atHome);
    EXPECT_TRUE(hasLine(loosened, "ProtectHome=read-only")) << loosened;
    EXPECT_TRUE(hasLine(loosened, "ReadWritePaths=/home/office/halvane")) << loosened;
    EXPECT_TRUE(hasLine(loosened, "AmbientCapabilities=CAP_NET_BIND_SERVICE")) << loosened;
    EXPECT_TRUE(hasLine(loosened, "SupplementaryGroups=halvane")) << "the console's files must stay writable";
    EXPECT_FALSE(hasLine(loosened, "PrivateUsers=yes")) << "no capability works in a user namespace";
}

TEST(ServiceUnit, PathsThatSystemdWouldSplitOrExpandAreQuotedAndThoseItCannotStartAreRefused)
{
    const struct {
        std::string executable;
        std::string registry;
        std::string execLine;
        std::string environmentLine;
    } cases[] = {
        {"/opt/my apps/hvnRetriever", "/srv/my settings.reg",
         "ExecStart=\"/opt/my apps/hvnRetriever\"",
         "Environment=\"HALVANE_REGISTRY=/srv/my settings.reg\""},
        {"/opt/100%/hvnRetriever", "/srv/100%.reg", "ExecStart=/opt/100%%/hvnRetriever",
         "Environment=HALVANE_REGISTRY=/srv/100%%.reg"},
        {"/opt/halvane/hvnRetriever", "/srv/a\"b$HOME.reg", "ExecStart=/opt/halvane/hvnRetriever",
         "Environment=\"HALVANE_REGISTRY=/srv/a\\\"b$HOME.reg\""},
        {"/opt/経理/hvnRetriever", "/srv/設定.reg", "ExecStart=/opt/経理/hvnRetriever",
         "Environment=HALVANE_REGISTRY=/srv/設定.reg"},
    };
    for (const auto &c : cases) {
        UnitInstallation installation = installationIn("/unused");
        installation.executable = c.executable;
        installation.registryPath = c.registry;
        const std::string text = unitFileText(installation);
        EXPECT_TRUE(hasLine(text, c.execLine)) << text;
        EXPECT_TRUE(hasLine(text, c.environmentLine)) << text;
    }
    UnitInstallation spaced = installationIn("/unused");
    spaced.database = "/srv/print data/hvnDatabase.db";
    EXPECT_TRUE(hasLine(unitFileText(spaced), "ReadWritePaths=\"/srv/print data\""));

    for (const char *executable : {"/opt/$HOME/hvnRetriever", "/opt/a\"b/hvnRetriever", "/opt/a\\b/hvnRetriever",
                                   "/opt/a\nExecStartPre=/bin/evil/hvnRetriever"}) {
        UnitInstallation broken = installationIn("/unused");
        broken.executable = executable;
        EXPECT_THROW(unitFileText(broken), std::invalid_argument) << executable;
        std::ostringstream out, err;
        EXPECT_EQ(runInstallCommand(HostCommand{HostAction::Install, false}, broken, out, err), 1);
        EXPECT_NE(err.str().find("の登録は失敗しました。"), std::string::npos) << err.str();
    }
}

// The rating systemd itself gives the written unit; 2.0 or less is what the service promises.
TEST(ServiceUnit, SystemdRatesTheWrittenUnitAtMostTwoAndFindsNoErrorInIt)
{
    const auto analyze = platform::findInPath("systemd-analyze");
    if (analyze.empty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    test::TempDir dir;
    UnitInstallation installation = installationIn(dir.path());
    installation.executable = std::filesystem::read_symlink("/proc/self/exe"); // exists, for verify
    for (const bool privileged : {false, true}) {
        installation.privilegedPort = privileged;
        const auto unit = dir.path() / "Retriever.service";
        std::ofstream(unit) << unitFileText(installation);
        platform::SpawnOptions options;
        options.argv = {analyze.string(), "security", "--offline=yes", "--threshold=20", unit.string()};
        options.stdoutPath = dir.path() / "security.out";
        options.stderrPath = dir.path() / "security.err";
        const auto rating = platform::ChildProcess::spawn(options).wait(std::chrono::seconds(60));
        EXPECT_EQ(rating, 0) << readFile(options.stdoutPath) << readFile(options.stderrPath);
        options.argv = {analyze.string(), "verify", unit.string()};
        const auto verified = platform::ChildProcess::spawn(options).wait(std::chrono::seconds(60));
        EXPECT_EQ(verified, 0) << readFile(options.stderrPath);
    }
}

// Real files, owned over to an existing system account; the machine's accounts stay as they are.
TEST(ServiceUnit, PreparationHandsTheDatabaseFilesToTheServiceUserAndOpensTheSettingsForReading)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing owners needs root";
    test::TempDir dir;
    const auto folder = dir.path() / "halvane";
    std::filesystem::create_directory(folder);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(folder.c_str(), 0750);
    for (const char *name : {"hvnDatabase.db", "hvnDatabase.db-wal", "unrelated.txt"})
        std::ofstream(folder / name) << "x";
    std::ofstream(dir / "registry.reg") << "x";
    ::chmod((dir / "registry.reg").c_str(), 0600);

    UnitInstallation installation = installationIn(dir.path());
    installation.serviceUser = "nobody";
    installation.database = folder / "hvnDatabase.db";
    installation.settingsFile = dir / "registry.reg";
    installation.prepareSystem = true;
    prepareServiceAccount(installation);

    const passwd *nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    auto info = [](const std::filesystem::path &p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st;
    };
    EXPECT_EQ(info(folder).st_uid, nobody->pw_uid);
    EXPECT_EQ(info(folder).st_gid, 0u) << "the folder's group (the administrators') must stay";
    EXPECT_EQ(info(folder).st_mode & 07777, 02750u);
    EXPECT_EQ(info(folder / "hvnDatabase.db").st_uid, nobody->pw_uid);
    EXPECT_EQ(info(folder / "hvnDatabase.db-wal").st_uid, nobody->pw_uid);
    EXPECT_EQ(info(folder / "unrelated.txt").st_uid, 0u);
    EXPECT_TRUE(info(dir / "registry.reg").st_mode & S_IROTH);

    ::chmod(folder.c_str(), 01777);
    EXPECT_THROW(prepareServiceAccount(installation), std::runtime_error);
}

struct InstallRun {
    int status;
    std::string out;
    std::string err;
};

InstallRun run(HostAction action, bool silent, const UnitInstallation &installation)
{
    std::ostringstream out, err;
    const int status = runInstallCommand(HostCommand{action, silent}, installation, out, err);
    return {status, out.str(), err.str()};
}

TEST(ServiceUnit, InstallWritesTheUnitAndUninstallRemovesItWithTheHostMessages)
{
    test::TempDir dir;
    const UnitInstallation installation = installationIn(dir.path());
    const auto unit = dir.path() / "Retriever.service";

    InstallRun r = run(HostAction::Install, false, installation);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "サービスを登録しました。\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(unit), unitFileText(installation));

    // Installing again refreshes the unit in place.
    r = run(HostAction::Install, true, installation);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");

    r = run(HostAction::Uninstall, false, installation);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "サービスの登録を解除しました。\n");
    EXPECT_FALSE(std::filesystem::exists(unit));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a temporary file was left behind";
}

// Sets an environment variable for one scope, restoring the old value after.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

// Tests and packaging install into a folder of their own; that must never reach the machine's
// service manager, while the default folder must.
TEST(ServiceUnit, OnlyTheDefaultUnitFolderRunsSystemctl)
{
    {
        ScopedEnv dir("HALVANE_SYSTEMD_DIR", "/tmp/halvane-units");
        ScopedEnv registry("HALVANE_REGISTRY", "relative/registry.reg");
        const UnitInstallation custom = unitInstallationFromEnvironment();
        EXPECT_EQ(custom.unitDirectory, "/tmp/halvane-units");
        EXPECT_TRUE(custom.systemctl.empty());
        EXPECT_TRUE(custom.executable.is_absolute());
        ASSERT_TRUE(custom.registryPath);
        EXPECT_EQ(*custom.registryPath, (std::filesystem::current_path() / "relative/registry.reg").string());
    }
    {
        ScopedEnv dir("HALVANE_SYSTEMD_DIR", nullptr);
        ScopedEnv registry("HALVANE_REGISTRY", nullptr);
        const UnitInstallation standard = unitInstallationFromEnvironment();
        EXPECT_EQ(standard.unitDirectory, "/etc/systemd/system");
        EXPECT_EQ(standard.systemctl, platform::findInPath("systemctl"));
        EXPECT_FALSE(standard.registryPath);
    }
    {
        ScopedEnv dir("HALVANE_SYSTEMD_DIR", "/etc/systemd/system/");
        EXPECT_EQ(unitInstallationFromEnvironment().systemctl, platform::findInPath("systemctl"));
    }
}

} // namespace
} // namespace hvn::retriever
