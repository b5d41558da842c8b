#include "InstanceGuard.h"

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"

using hvn::platform::InstanceGuard;
using hvn::test::TempDir;
namespace fs = std::filesystem;

TEST(InstanceGuard, SecondHolderIsRefusedUntilTheFirstGoes)
{
    TempDir dir;
    const fs::path file = dir.path() / "hvnConsole.lock";
    {
        InstanceGuard first(file);
        ASSERT_TRUE(first.acquired()) << first.error();
        EXPECT_EQ(InstanceGuard(file).state(), InstanceGuard::State::AlreadyHeld);
    }
    EXPECT_TRUE(InstanceGuard(file).acquired());
    // Only the owner and the administrators' group may open the file, so no one else can hold it.
    struct stat info{};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0007, 0u);
}

TEST(InstanceGuard, PlantedLinkOrFifoFailsInsteadOfBeingFollowed)
{
    TempDir dir;
    const fs::path target = dir.path() / "elsewhere";
    const fs::path link = dir.path() / "link.lock";
    fs::create_symlink(target, link);
    const InstanceGuard linked(link);
    EXPECT_EQ(linked.state(), InstanceGuard::State::Failed);
    EXPECT_FALSE(fs::exists(target));

    const fs::path fifo = dir.path() / "fifo.lock";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(InstanceGuard(fifo).state(), InstanceGuard::State::Failed);
    EXPECT_EQ(InstanceGuard(fs::path()).state(), InstanceGuard::State::Failed);
}

TEST(InstanceGuard, FolderIsTheInstallationsThenTheUsersRuntimeFolderNeverAWorldWritableOne)
{
    TempDir dir;
    const fs::path machine = dir.path() / "machine";
    const fs::path runtime = dir.path() / "runtime";
    const fs::path open = dir.path() / "open";
    for (const fs::path &folder : {machine, runtime, open})
        fs::create_directory(folder);
    fs::permissions(machine, fs::perms(02770));
    fs::permissions(runtime, fs::perms(0700));
    fs::permissions(open, fs::perms(01777));
    const fs::path missing = dir.path() / "missing";

    EXPECT_EQ(InstanceGuard::chooseDirectory(machine, runtime), machine);
    EXPECT_EQ(InstanceGuard::chooseDirectory(missing, runtime), runtime);
    EXPECT_EQ(InstanceGuard::chooseDirectory(open, runtime), runtime);
    EXPECT_EQ(InstanceGuard::chooseDirectory(missing, ""), fs::path());
    EXPECT_EQ(InstanceGuard::chooseDirectory(missing, open), fs::path());
}
