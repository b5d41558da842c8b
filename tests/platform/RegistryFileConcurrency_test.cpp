#include "RegistryFile.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"

using hvn::platform::RegistryFile;
using hvn::test::TempDir;

namespace {

constexpr const char *kKey = "SOFTWARE\\Halvane\\ProgramSetting";
constexpr int kWriters = 4;
constexpr int kWritesEach = 25;

// Writer w's n-th value; true when every write succeeded.
bool writeAllValues(const std::filesystem::path &path, int w)
{
    RegistryFile file(path);
    bool ok = true;
    for (int n = 0; n < kWritesEach; ++n)
        ok = file.writeDword(kKey, "W" + std::to_string(w) + "N" + std::to_string(n), w * 1000 + n) && ok;
    return ok;
}

// Starts the writers (returning a join function that tells whether all succeeded) while a
// reader keeps reading; every read must find a parseable store and no value may be lost.
void checkConcurrentWriters(const std::function<std::function<bool()>(const std::filesystem::path &)> &start)
{
    TempDir dir;
    const auto path = dir / "r.reg";
    ASSERT_TRUE(RegistryFile(path).writeDword(kKey, "Seed", 0));
    const auto join = start(path);

    std::atomic<bool> stop{false};
    int reads = 0;
    int failures = 0;
    std::thread reader([&] {
        const RegistryFile file(path);
        for (; !stop.load(); ++reads) {
            failures += file.values(kKey) ? 0 : 1;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const bool allWritten = join();
    stop = true;
    reader.join();

    EXPECT_TRUE(allWritten);
    EXPECT_EQ(failures, 0) << "of " << reads << " reads";
    const RegistryFile file(path);
    for (int w = 0; w < kWriters; ++w) {
        for (int n = 0; n < kWritesEach; ++n) {
            const auto value = file.read(kKey, "W" + std::to_string(w) + "N" + std::to_string(n));
            ASSERT_TRUE(value) << "writer " << w << " lost write " << n;
            EXPECT_EQ(value->dword, static_cast<std::uint32_t>(w * 1000 + n));
        }
    }
    EXPECT_EQ(file.values(kKey)->size(), static_cast<std::size_t>(kWriters * kWritesEach + 1));
}

} // namespace

TEST(RegistryFileConcurrency, ThreadsWritingDistinctValuesLoseNone)
{
    checkConcurrentWriters([](const std::filesystem::path &path) -> std::function<bool()> {
        auto threads = std::make_shared<std::vector<std::thread>>();
        auto ok = std::make_shared<std::atomic<bool>>(true);
        for (int w = 0; w < kWriters; ++w)
            threads->emplace_back([path, w, ok] { if (!writeAllValues(path, w)) *ok = false; });
        return [threads, ok] {
            for (auto &t : *threads)
                t.join();
            return ok->load();
        };
    });
}

// Children are forked before the reader thread starts, so no lock is held across fork.
TEST(RegistryFileConcurrency, ProcessesWritingDistinctValuesLoseNone)
{
    checkConcurrentWriters([](const std::filesystem::path &path) -> std::function<bool()> {
        std::vector<pid_t> children;
        for (int w = 0; w < kWriters; ++w) {
            const pid_t pid = ::fork();
            if (pid == 0)
                ::_exit(writeAllValues(path, w) ? 0 : 1);
            children.push_back(pid);
        }
        return [children] {
            bool ok = true;
            for (pid_t pid : children) {
                int status = 0;
                ok = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)
                    && WEXITSTATUS(status) == 0 && ok;
            }
            return ok;
        };
    });
}
