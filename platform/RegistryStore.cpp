#include "RegistryStore.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RegistryEdit.h"
#include "UniqueFd.h"

namespace hvn::platform::registry {

namespace {

// A settings file is a few kilobytes; anything this large is not one.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

enum class LoadStatus { Ok, Missing, Failed };

struct Loaded {
    LoadStatus status = LoadStatus::Failed;
    std::string bytes;
    struct stat info {};
};

int flockRetry(int fd, int operation)
{
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

Loaded loadFile(const std::filesystem::path &path)
{
    Loaded result;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        result.status = errno == ENOENT ? LoadStatus::Missing : LoadStatus::Failed;
        return result;
    }
    if (::fstat(fd.get(), &result.info) != 0 || !S_ISREG(result.info.st_mode)
        || result.info.st_size > kMaxFileSize)
        return result;
    char buffer[16384];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return result;
        if (n == 0)
            break;
        result.bytes.append(buffer, static_cast<std::size_t>(n));
        if (result.bytes.size() > static_cast<std::size_t>(kMaxFileSize))
            return result;
    }
    result.status = LoadStatus::Ok;
    return result;
}

std::filesystem::path lockPathOf(const std::filesystem::path &path)
{
    return std::filesystem::path(path.string() + ".lock");
}

// Removes a temporary file unless it was renamed into place.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFileGuard(const TempFileGuard &) = delete;
    TempFileGuard &operator=(const TempFileGuard &) = delete;
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces path with content: temporary file in the same folder, fsync, rename, fsync of
// the folder. The file keeps the mode (and, where permitted, the owner) it had.
bool replaceFile(const std::filesystem::path &path, const std::string &content, const Loaded &old)
{
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string tempPath = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd)
        return false;
    TempFileGuard guard(tempPath);

    const bool existed = old.status == LoadStatus::Ok;
    if (::fchmod(fd.get(), existed ? (old.info.st_mode & 07777) : 0644) != 0)
        return false;
    if (existed && (old.info.st_uid != ::geteuid() || old.info.st_gid != ::getegid())) {
        // Best effort: only a privileged writer can hand the file back to its owner.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), old.info.st_uid, old.info.st_gid);
    }
    if (!writeAll(fd.get(), content) || ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0)
        return false;
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        return false;
    guard.release();

    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
}

} // namespace

std::filesystem::path resolveLinks(std::filesystem::path path)
{
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    for (int i = 0; i < kMaxLinks; ++i) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
            return path;
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec)
            return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

std::optional<Document> loadForRead(const std::filesystem::path &linkedPath, std::string *problem)
{
    const std::filesystem::path path = resolveLinks(linkedPath);
    auto failed = [problem](int error) -> std::optional<Document> {
        if (problem)
            *problem = std::strerror(error);
        return std::nullopt;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return failed(errno);
    const auto lockPath = lockPathOf(path);
    UniqueFd lock(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (lock && flockRetry(lock.get(), LOCK_SH) != 0)
        return failed(errno);
    errno = 0;
    Loaded loaded = loadFile(path);
    const int loadError = errno;
    lock.reset();
    if (loaded.status != LoadStatus::Ok) {
        if (problem) {
            if (S_ISDIR(info.st_mode))
                *problem = "it is a folder";
            else if (!S_ISREG(info.st_mode))
                *problem = "it is not a file";
            else if (info.st_size > kMaxFileSize)
                *problem = "it is too large for a settings file";
            else
                *problem = std::strerror(loadError ? loadError : EIO);
        }
        return std::nullopt;
    }
    return parseDocument(loaded.bytes, problem);
}

bool writeValue(const std::filesystem::path &linkedPath, std::string_view keyPath, std::string_view name,
                const RegValue &value)
{
    const std::filesystem::path path = resolveLinks(linkedPath);
    if (!isWritable(keyPath, name, value))
        return false;

    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
        return false;

    const auto lockPath = lockPathOf(path);
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock)
        lock.reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock || flockRetry(lock.get(), LOCK_EX) != 0)
        return false;

    const Loaded old = loadFile(path);
    if (old.status == LoadStatus::Failed)
        return false;
    const auto content = changedText(old.status == LoadStatus::Ok ? std::string_view(old.bytes) : "", keyPath,
                                     name, value);
    if (!content)
        return false;
    if (old.status == LoadStatus::Ok && *content == old.bytes)
        return true;
    return replaceFile(path, *content, old);
}

} // namespace hvn::platform::registry
