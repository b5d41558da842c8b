#include "Dmregistry.h"

#include <climits>
#include <fstream>
#include <string>

#include <stdlib.h>

#include <gtest/gtest.h>

#include "TempDir.h"

using hvn::TdmRegistryCtl;
using hvn::kProgramSettingKey;
using hvn::test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr auto kLocalMachine = TdmRegistryCtl::RootKey::LocalMachine;

void spit(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool folderIsEmpty(const fs::path &folder)
{
    return fs::directory_iterator(folder) == fs::directory_iterator();
}

} // namespace

// Values of the wrong type must give the default, not their contents.
TEST(TdmRegistryCtl, ReadsGiveDefaultsForMissingOrOtherTypedValues)
{
    TempDir dir;
    spit(dir / "r.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n"
                        "\"DatabasePath\"=hex(2):43,00,3a,00,5c,00,61,00,00,00\r\n"
                        "\"PortNumber\"=\"1033\"\r\n"
                        "\"PortNumberConsole\"=hex:0a,04,00,00\r\n"
                        "\"ErrorMsg\"=dword:00000001\r\n"
                        "\"Name\"=\"text\"\r\n"
                        "\"Port\"=dword:0000040a\r\n\r\n");
    const TdmRegistryCtl reg(dir / "r.reg");
    EXPECT_EQ(reg.GetRegistryString("DatabasePath"), "");
    EXPECT_EQ(reg.GetRegistryInteger("PortNumber"), 0);
    EXPECT_EQ(reg.GetRegistryInteger("PortNumberConsole"), 0);
    EXPECT_EQ(reg.GetRegistryString("ErrorMsg"), "");
    EXPECT_EQ(reg.GetRegistryString("Missing"), "");
    EXPECT_EQ(reg.GetRegistryInteger("Missing"), 0);
    EXPECT_EQ(reg.GetRegistryString("name"), "text");
    EXPECT_EQ(reg.GetRegistryInteger("PORT"), 1034);
    EXPECT_EQ(reg.GetSettingInteger(kLocalMachine, kProgramSettingKey, "WindowTop"), 0);
}

TEST(TdmRegistryCtl, AbsentStoreReadsDefaultsAndFailedWritesCreateNothing)
{
    TempDir dir;
    const TdmRegistryCtl reg(dir / "r.reg");
    EXPECT_EQ(reg.GetRegistryString("DatabasePath"), "");
    EXPECT_EQ(reg.GetRegistryInteger("PortNumber"), 0);
    EXPECT_EQ(reg.GetSettingInteger(kLocalMachine, kProgramSettingKey, "ActivePage"), 0);
    EXPECT_TRUE(folderIsEmpty(dir.path()));

    const TdmRegistryCtl nowhere(dir / "no" / "r.reg");
    EXPECT_FALSE(nowhere.SetRegistryString("ErrorMsg", "x"));
    EXPECT_FALSE(nowhere.SetSettingInteger(kLocalMachine, kProgramSettingKey, "ToYear", 2024));
    EXPECT_TRUE(folderIsEmpty(dir.path()));
}

TEST(TdmRegistryCtl, SettingsRoundTripAsSigned32BitIncludingNegatives)
{
    TempDir dir;
    const TdmRegistryCtl reg(dir / "r.reg");
    for (std::int32_t v : {0, 1, -1, -32000, 1920, INT32_MIN, INT32_MAX}) {
        ASSERT_TRUE(reg.SetSettingInteger(kLocalMachine, kProgramSettingKey, "WindowLeft", v)) << v;
        EXPECT_EQ(TdmRegistryCtl(dir / "r.reg").GetSettingInteger(kLocalMachine, kProgramSettingKey,
                                                                 "WindowLeft"),
                  v);
    }
    // The first write created the product key as the parent of the settings key.
    ASSERT_TRUE(reg.SetRegistryString("ErrorMsg", "Connection refused"));
    EXPECT_EQ(reg.GetRegistryString("ErrorMsg"), "Connection refused");
    EXPECT_EQ(reg.GetSettingInteger(kLocalMachine, kProgramSettingKey, "WindowLeft"), INT32_MAX);
}

TEST(TdmRegistryCtl, DefaultStoreIsFixedWhenConstructed)
{
    TempDir dir;
    ::setenv("HALVANE_REGISTRY", (dir / "a.reg").c_str(), 1);
    const TdmRegistryCtl reg;
    ::setenv("HALVANE_REGISTRY", (dir / "b.reg").c_str(), 1);
    ASSERT_TRUE(reg.SetRegistryString("DatabasePath", "/srv/db.sqlite"));
    EXPECT_TRUE(fs::exists(dir / "a.reg"));
    EXPECT_FALSE(fs::exists(dir / "b.reg"));
    EXPECT_EQ(TdmRegistryCtl(dir / "a.reg").GetRegistryString("DatabasePath"), "/srv/db.sqlite");
    for (bool unset : {false, true}) {
        unset ? ::unsetenv("HALVANE_REGISTRY") : ::setenv("HALVANE_REGISTRY", "", 1);
        EXPECT_EQ(TdmRegistryCtl().storePath(), "/etc/halvane/registry.reg");
    }
}
