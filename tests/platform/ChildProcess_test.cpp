#include "ChildProcess.h"

#include <csignal>
#include <fstream>
#include <system_error>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include "TempDir.h"
#include "UniqueFd.h"

namespace hvn::platform {
namespace {

using namespace std::chrono_literals;

std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SpawnOptions command(std::vector<std::string> argv)
{
    SpawnOptions options;
    options.argv = std::move(argv);
    return options;
}

// The service host blocks its stop signals; a program it starts (systemctl) must still be
// stoppable.
TEST(ChildProcess, ChildDoesNotInheritBlockedStopSignals)
{
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &set, &old), 0);
    ChildProcess child = ChildProcess::spawn(command({"sleep", "30"}));
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

    ASSERT_TRUE(child.signal(SIGTERM));
    EXPECT_EQ(child.wait(10s), 128 + SIGTERM);
    EXPECT_FALSE(child.running());
}

TEST(ChildProcess, EnvironmentOverridesAndOutputFilesReachTheChild)
{
    test::TempDir dir;
    ::setenv("HVN_CHILD_TEST_DROPPED", "inherited", 1);
    SpawnOptions options;
    options.argv = {"sh", "-c", "echo \"$HVN_A|${HVN_CHILD_TEST_DROPPED-unset}\"; echo oops >&2; exit 3"};
    options.setEnv = {"HVN_A=first", "HVN_A=second"};
    options.unsetEnv = {"HVN_CHILD_TEST_DROPPED"};
    options.stdoutPath = dir.path() / "out";
    options.stderrPath = dir.path() / "err";
    ChildProcess child = ChildProcess::spawn(options);
    EXPECT_EQ(child.wait(10s), 3);
    EXPECT_EQ(readFile(dir.path() / "out"), "second|unset\n");
    EXPECT_EQ(readFile(dir.path() / "err"), "oops\n");
    ::unsetenv("HVN_CHILD_TEST_DROPPED");
}

// The child reads from where the caller left its input descriptor and writes into the caller's
// pipe; the pipe ends when the child does, since the child holds no other copy of it.
TEST(ChildProcess, GivenDescriptorsBecomeTheChildsInputAndOutput)
{
    test::TempDir dir;
    { std::ofstream(dir.path() / "in") << "skip|kept\n"; }
    UniqueFd input(::open((dir.path() / "in").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(input);
    ASSERT_EQ(::lseek(input.get(), 5, SEEK_SET), 5);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);

    SpawnOptions options = command({"cat"});
    options.stdinFd = input.get();
    options.stdoutFd = writeEnd.get();
    options.stdoutPath = dir.path() / "not-used";
    ChildProcess child = ChildProcess::spawn(options);
    writeEnd.reset();

    std::string output;
    char buffer[64];
    for (ssize_t n; (n = ::read(readEnd.get(), buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(child.wait(10s), 0);
    EXPECT_EQ(output, "kept\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "not-used"));
}

TEST(ChildProcess, ProgramThatCannotStartIsReportedAndARunningOneIsKilledWithItsOwner)
{
    EXPECT_THROW(ChildProcess::spawn(command({"/nonexistent/hvn-program"})), std::system_error);
    SpawnOptions unwritable = command({"true"});
    unwritable.stdoutPath = "/nonexistent/dir/out";
    EXPECT_THROW(ChildProcess::spawn(unwritable), std::system_error);

    pid_t pid = 0;
    {
        ChildProcess child = ChildProcess::spawn(command({"sleep", "30"}));
        pid = child.pid();
        EXPECT_FALSE(child.wait(50ms));
    }
    EXPECT_NE(::kill(pid, 0), 0) << "the child outlived its owner";
}

} // namespace
} // namespace hvn::platform
