#include "ServiceHost.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
    return installation;
}

TEST(ServiceUnit, UnitDeclaresANotifyServiceStartedFromThisExecutable)
{
    const std::string text = unitFileText(installationIn("/unused"));
    EXPECT_EQ(text, "[Unit]\n"
                    "Description=hvnRetriever\n"
                    "After=network.target\n"
                    "\n[Service]\n"
                    "Type=notify\n"
                    "ExecStart=/opt/halvane/bin/hvnRetriever\n"
                    "Environment=HALVANE_REGISTRY=/etc/halvane/registry.reg\n"
                    "\n[Install]\n"
                    "WantedBy=multi-user.target\n");

    UnitInstallation withoutRegistry = installationIn("/unused");
    withoutRegistry.registryPath.reset();
    EXPECT_EQ(unitFileText(withoutRegistry).find("Environment="), std::string::npos);
}

TEST(ServiceUnit, PathsThatSystemdWouldSplitOrExpandAreQuoted)
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
        {"/opt/$HOME/hvnRetriever", "/srv/$HOME.reg", "ExecStart=/opt/$$HOME/hvnRetriever",
         "Environment=HALVANE_REGISTRY=/srv/$HOME.reg"},
        {"/opt/a\"b\\c/hvnRetriever", "/srv/a\"b.reg", "ExecStart=\"/opt/a\\\"b\\\\c/hvnRetriever\"",
         "Environment=\"HALVANE_REGISTRY=/srv/a\\\"b.reg\""},
        {"/opt/経理/hvnRetriever", "/srv/設定.reg", "ExecStart=/opt/経理/hvnRetriever",
         "Environment=HALVANE_REGISTRY=/srv/設定.reg"},
    };
    for (const auto &c : cases) {
        UnitInstallation installation = installationIn("/unused");
        installation.executable = c.executable;
        installation.registryPath = c.registry;
        const std::string text = unitFileText(installation);
        EXPECT_NE(text.find("\n" + c.execLine + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + c.environmentLine + "\n"), std::string::npos) << text;
    }

    UnitInstallation broken = installationIn("/unused");
    broken.executable = "/opt/a\nExecStartPre=/bin/evil/hvnRetriever";
    EXPECT_THROW(unitFileText(broken), std::invalid_argument);
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
