#include "AgentSpool.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hvn::cupsagent {

namespace fs = std::filesystem;
using platform::UniqueFd;

namespace {

[[noreturn]] void fail(const std::string &what, const fs::path &path, int error = errno)
{
    throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(error));
}

void ensureFolder(const fs::path &folder)
{
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return;
    fs::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("cannot create the spool folder " + folder.string() + ": " + ec.message());
    ::chmod(folder.c_str(), 0750);
}

UniqueFd openFile(const fs::path &path, int flags)
{
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC, 0600));
    if (!fd)
        fail("cannot open", path);
    return fd;
}

// Holds an flock on a lock file for the life of the object.
UniqueFd lockFile(const fs::path &path, int operation)
{
    UniqueFd fd = openFile(path, O_RDWR | O_CREAT);
    while (::flock(fd.get(), operation) != 0)
        if (errno != EINTR)
            fail("cannot lock", path);
    return fd;
}

void writeAll(int fd, std::string_view data, const fs::path &path)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot write", path);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

void syncFile(int fd, const fs::path &path)
{
    if (::fsync(fd) != 0)
        fail("cannot sync", path);
}

void syncFolder(const fs::path &folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd)
        ::fsync(fd.get());
}

// The whole file, or "" when it does not exist.
std::string readWhole(const fs::path &path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT)
            return {};
        fail("cannot open", path);
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot read", path);
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    return content;
}

// Appends under the held lock. A last line left without its line feed by a crash is closed
// first, so that it stays a line of its own that fails its check.
void appendLine(const fs::path &path, std::string_view line)
{
    const UniqueFd fd = openFile(path, O_RDWR | O_APPEND | O_CREAT);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail("cannot examine", path);
    std::string data;
    if (st.st_size > 0) {
        char last = '\n';
        if (::pread(fd.get(), &last, 1, st.st_size - 1) != 1)
            fail("cannot read", path);
        if (last != '\n')
            data += '\n';
    }
    data.append(line);
    data += '\n';
    writeAll(fd.get(), data, path);
    syncFile(fd.get(), path);
}

std::uint32_t checkValue(std::string_view data)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const unsigned char c : data) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

constexpr char kHex[] = "0123456789abcdef";

std::string toHex(std::string_view data)
{
    std::string text;
    text.reserve(data.size() * 2);
    for (const unsigned char c : data) {
        text += kHex[c >> 4];
        text += kHex[c & 15];
    }
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool fromHex(std::string_view text, std::string &out)
{
    if (text.size() % 2 != 0)
        return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
    }
    return true;
}

std::string checkText(std::string_view data)
{
    const std::uint32_t value = checkValue(data);
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i)
        text[static_cast<std::size_t>(7 - i)] = kHex[(value >> (i * 4)) & 15];
    return text;
}

// Tabs and line breaks would break the journal's lines.
std::string field(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return out;
}

} // namespace

AgentSpool::AgentSpool(fs::path folder) : m_folder(std::move(folder)) {}

std::string AgentSpool::encodeLine(std::string_view frame)
{
    return toHex(frame) + " " + checkText(frame);
}

std::string AgentSpool::decodeLine(std::string_view line)
{
    const auto space = line.find(' ');
    if (space == std::string_view::npos || space == 0)
        return {};
    std::string frame;
    if (!fromHex(line.substr(0, space), frame) || line.substr(space + 1) != checkText(frame))
        return {};
    return frame;
}

void AgentSpool::append(std::string_view frame) const
{
    ensureFolder(m_folder);
    const UniqueFd lock = lockFile(lockPath(), LOCK_EX);
    appendLine(spoolPath(), encodeLine(frame));
}

AgentSpool::Contents AgentSpool::read() const
{
    std::string content;
    {
        std::error_code ec;
        if (!fs::exists(lockPath(), ec))
            return {};
        const UniqueFd lock = lockFile(lockPath(), LOCK_SH);
        content = readWhole(spoolPath());
    }
    Contents contents;
    std::size_t at = 0;
    for (std::size_t eol; (eol = content.find('\n', at)) != std::string::npos; at = eol + 1) {
        std::string frame = decodeLine(std::string_view(content).substr(at, eol - at));
        if (!frame.empty())
            contents.frames.push_back(std::move(frame));
    }
    contents.end = at;
    return contents;
}

void AgentSpool::removeThrough(std::uint64_t end) const
{
    if (end == 0)
        return;
    const UniqueFd lock = lockFile(lockPath(), LOCK_EX);
    const std::string content = readWhole(spoolPath());
    if (end > content.size())
        throw std::runtime_error("the spool " + spoolPath().string() + " is shorter than what was delivered");
    const fs::path temporary = m_folder / "cupsagent.spool.new";
    {
        const UniqueFd fd = openFile(temporary, O_WRONLY | O_CREAT | O_TRUNC);
        writeAll(fd.get(), std::string_view(content).substr(end), temporary);
        syncFile(fd.get(), temporary);
    }
    if (::rename(temporary.c_str(), spoolPath().c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("cannot replace", spoolPath(), error);
    }
    syncFolder(m_folder);
}

UniqueFd AgentSpool::lockForDelivery(bool wait) const
{
    UniqueFd fd = openFile(deliveryLockPath(), O_RDWR | O_CREAT);
    while (::flock(fd.get(), LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK && !wait)
            return {};
        if (errno != EINTR)
            fail("cannot lock", deliveryLockPath());
    }
    return fd;
}

UncountedJournal::UncountedJournal(fs::path folder) : m_folder(std::move(folder)) {}

void UncountedJournal::append(const UncountedJob &job) const
{
    ensureFolder(m_folder);
    const UniqueFd lock = lockFile(AgentSpool(m_folder).lockPath(), LOCK_EX);
    appendLine(path(), field(job.time) + "\t" + field(job.queue) + "\t" + field(job.jobId) + "\t" +
                           field(job.user) + "\t" + field(job.format) + "\t" + field(job.reason));
}

std::vector<UncountedJob> UncountedJournal::entries() const
{
    const std::string content = readWhole(path());
    std::vector<UncountedJob> jobs;
    std::size_t at = 0;
    for (std::size_t eol; (eol = content.find('\n', at)) != std::string::npos; at = eol + 1) {
        std::vector<std::string> fields;
        std::string_view line = std::string_view(content).substr(at, eol - at);
        for (;;) {
            const auto tab = line.find('\t');
            fields.emplace_back(line.substr(0, tab));
            if (tab == std::string_view::npos)
                break;
            line.remove_prefix(tab + 1);
        }
        if (fields.size() != 6)
            continue; // a torn line
        jobs.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
    }
    return jobs;
}

} // namespace hvn::cupsagent
