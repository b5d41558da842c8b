#include "RecordSpool.h"

#include <array>
#include <cerrno>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hvn::retriever {

namespace {

constexpr std::string_view kMagic = "HVNSPL1\n";
// length (4), kind (1), sequence number (8), data, CRC-32 (4)
constexpr std::size_t kEntryOverhead = 4 + 1 + 8 + 4;
// No entry holds more than a record body; anything longer is damage.
constexpr std::uint32_t kMaxData = 4096;

std::uint32_t crc32(std::string_view bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = table[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putLittleEndian(std::string &out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t getLittleEndian(std::string_view in, std::size_t at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

[[noreturn]] void throwErrno(const std::string &what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void syncDirectoryOf(const std::filesystem::path &path)
{
    const platform::UniqueFd dir(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(),
                                        O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
}

} // namespace

RecordSpool::RecordSpool(std::filesystem::path path) : m_path(std::move(path))
{
    m_fd.reset(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!m_fd)
        throwErrno("cannot open the spool file " + m_path.string());
    if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) != 0)
        throwErrno("cannot lock the spool file " + m_path.string());
    recover();
    syncDirectoryOf(m_path); // a spool file just created must survive a crash with its name
    reserveSpace();
}

RecordSpool::~RecordSpool() = default;

void RecordSpool::recover()
{
    struct stat st{};
    if (::fstat(m_fd.get(), &st) != 0)
        throwErrno("cannot read the spool file " + m_path.string());
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(m_fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throwErrno("cannot read the spool file " + m_path.string());
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    if (bytes.empty()) {
        // Created by a run that ended before it wrote the header: a new spool.
        bytes = kMagic;
        if (::pwrite(m_fd.get(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) ||
            ::fdatasync(m_fd.get()) != 0)
            throwErrno("cannot write the spool file " + m_path.string());
    }
    if (std::string_view(bytes).substr(0, kMagic.size()) != kMagic)
        throw std::runtime_error(m_path.string() + " is not a spool file of this service");

    std::size_t at = kMagic.size();
    while (bytes.size() - at >= kEntryOverhead) {
        const std::uint32_t length = static_cast<std::uint32_t>(getLittleEndian(bytes, at, 4));
        if (length > kMaxData || bytes.size() - at < kEntryOverhead + length)
            break;
        const std::string_view entry = std::string_view(bytes).substr(at, kEntryOverhead - 4 + length);
        if (crc32(entry) != getLittleEndian(bytes, at + entry.size(), 4))
            break;
        const auto kind = static_cast<Kind>(entry[4]);
        const std::uint64_t seq = getLittleEndian(entry, 5, 8);
        const std::string_view data = entry.substr(13);
        if (kind == Kind::Record && seq >= m_nextSeq) {
            m_kept.push_back(Kept{seq, std::string(data), std::nullopt});
            m_nextSeq = seq + 1;
        } else if (kind == Kind::Attempt && data.size() == 8 && !m_kept.empty() && m_kept.front().seq == seq) {
            m_kept.front().attemptedAfterRow = static_cast<std::int64_t>(getLittleEndian(data, 0, 8));
        } else if (kind == Kind::Stored && !m_kept.empty() && m_kept.front().seq == seq) {
            m_kept.pop_front();
        } else {
            break; // an entry that fits no history this spool can have written
        }
        at += entry.size() + 4;
    }

    m_discarded = bytes.size() - at;
    m_size = m_kept.empty() ? kMagic.size() : at;
    if (m_size != bytes.size()) {
        if (::ftruncate(m_fd.get(), static_cast<off_t>(m_size)) != 0 || ::fdatasync(m_fd.get()) != 0)
            throwErrno("cannot repair the spool file " + m_path.string());
    }
}

void RecordSpool::reserveSpace()
{
    // Best effort: a file system without preallocation keeps records as long as it has room.
    [[maybe_unused]] const int rc = ::fallocate(m_fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(kReservedBytes));
}

void RecordSpool::encode(std::string &out, Kind kind, std::uint64_t seq, std::string_view data)
{
    const std::size_t start = out.size();
    putLittleEndian(out, data.size(), 4);
    out += static_cast<char>(kind);
    putLittleEndian(out, seq, 8);
    out.append(data);
    putLittleEndian(out, crc32(std::string_view(out).substr(start)), 4);
}

std::uint64_t RecordSpool::writeLocked(const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd.get(), bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(m_size + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // A partial entry left in place would hide every later one from recovery.
            [[maybe_unused]] const int cut = ::ftruncate(m_fd.get(), static_cast<off_t>(m_size));
            throw std::system_error(error, std::generic_category(), "cannot write the spool file " + m_path.string());
        }
        done += static_cast<std::size_t>(n);
    }
    m_size += bytes.size();
    return ++m_writes;
}

void RecordSpool::syncThrough(std::unique_lock<std::mutex> &lock, std::uint64_t write)
{
    while (m_syncedWrites < write) {
        if (m_syncing) {
            m_synced.wait(lock);
            continue;
        }
        m_syncing = true;
        const std::uint64_t target = m_writes;
        lock.unlock();
        const int rc = ::fdatasync(m_fd.get());
        const int error = errno;
        lock.lock();
        m_syncing = false;
        if (rc == 0 && target > m_syncedWrites)
            m_syncedWrites = target;
        m_synced.notify_all();
        if (rc != 0)
            throw std::system_error(error, std::generic_category(), "cannot flush the spool file " + m_path.string());
    }
}

bool RecordSpool::append(const std::vector<std::string> &bodies)
{
    if (bodies.empty())
        return true;
    std::unique_lock lock(m_mutex);
    std::string bytes;
    std::uint64_t seq = m_nextSeq;
    for (const std::string &body : bodies)
        encode(bytes, Kind::Record, seq++, std::string_view(body).substr(0, kMaxData));
    const std::uint64_t write = writeLocked(bytes);
    for (const std::string &body : bodies)
        m_kept.push_back(Kept{m_nextSeq++, body.substr(0, kMaxData), std::nullopt});
    try {
        syncThrough(lock, write);
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

std::size_t RecordSpool::size() const
{
    std::lock_guard lock(m_mutex);
    return m_kept.size();
}

std::optional<RecordSpool::Kept> RecordSpool::front() const
{
    std::lock_guard lock(m_mutex);
    if (m_kept.empty())
        return std::nullopt;
    return m_kept.front();
}

void RecordSpool::noteAttempt(std::uint64_t seq, std::int64_t lastRow)
{
    std::unique_lock lock(m_mutex);
    if (m_kept.empty() || m_kept.front().seq != seq)
        throw std::logic_error("spool attempt on a record that is not the oldest");
    std::string data;
    putLittleEndian(data, static_cast<std::uint64_t>(lastRow), 8);
    std::string bytes;
    encode(bytes, Kind::Attempt, seq, data);
    const std::uint64_t write = writeLocked(bytes);
    m_kept.front().attemptedAfterRow = lastRow;
    syncThrough(lock, write);
}

void RecordSpool::markStored(std::uint64_t seq)
{
    std::lock_guard lock(m_mutex);
    if (m_kept.empty() || m_kept.front().seq != seq)
        throw std::logic_error("spool removal of a record that is not the oldest");
    m_kept.pop_front();
    if (m_kept.empty()) {
        // Nothing left to keep: back to the header alone, with the reserve restored. Failing
        // that, the entries stay and say the same.
        if (::ftruncate(m_fd.get(), static_cast<off_t>(kMagic.size())) == 0) {
            m_size = kMagic.size();
            reserveSpace();
            return;
        }
    }
    std::string bytes;
    encode(bytes, Kind::Stored, seq, {});
    writeLocked(bytes);
}

} // namespace hvn::retriever
