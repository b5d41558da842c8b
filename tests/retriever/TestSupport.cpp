#include "TestSupport.h"

#include <stdexcept>
#include <thread>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <stdlib.h>
#include <sys/socket.h>

#include "AnsiCodePage.h"
#include "Connection.h"
#include "NamedMutex.h"
#include "Newserverthread.h"
#include "Schema.h"
#include "TcpSocket.h"

namespace hvn::retriever::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "hvn-retriever-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

TestDatabase::TestDatabase()
    : m_databasePath(m_dir.path() / "hvnDatabase.db"), m_registryPath(m_dir.path() / "registry.reg")
{
    {
        SQLite::Database db(m_databasePath.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db::applyDurability(db);
        schema::createSchema(db);
    }
    if (!TdmRegistryCtl(m_registryPath).SetRegistryString("DatabasePath", m_databasePath.string()))
        throw std::runtime_error("cannot write the test settings file");
}

TdmRegistryCtl TestDatabase::brokenRegistry() const
{
    const auto path = m_dir.path() / "broken.reg";
    TdmRegistryCtl registry(path);
    registry.SetRegistryString("DatabasePath", (m_dir.path() / "missing.db").string());
    return registry;
}

void TestDatabase::exec(const std::string &sql) const
{
    SQLite::Database db(m_databasePath.string(), SQLite::OPEN_READWRITE);
    db.setBusyTimeout(10000);
    db.exec(sql);
}

std::vector<std::string> TestDatabase::rows(const std::string &sql) const
{
    SQLite::Database db(m_databasePath.string(), SQLite::OPEN_READONLY);
    db.setBusyTimeout(10000);
    SQLite::Statement query(db, sql);
    std::vector<std::string> result;
    while (query.executeStep()) {
        std::string row;
        for (int i = 0; i < query.getColumnCount(); ++i) {
            if (i > 0)
                row += '|';
            const SQLite::Column column = query.getColumn(i);
            row += column.isNull() ? std::string("NULL") : column.getString();
        }
        result.push_back(std::move(row));
    }
    return result;
}

std::int64_t TestDatabase::count(const std::string &table) const
{
    return std::stoll(rows("SELECT COUNT(*) FROM " + table).at(0));
}

namespace {

std::string cp932(std::string_view utf8)
{
    const auto encoded = platform::utf8ToCp932(utf8);
    if (!encoded)
        throw std::invalid_argument("text has no CP932 form");
    return *encoded;
}

} // namespace

Frame::Frame(std::string_view user, std::string_view printer, std::string_view computer)
    : m_body(record::kBodySize, ' ')
{
    raw(record::kYear, "2004").raw(record::kMonth, "04").raw(record::kDay, "01");
    raw(record::kHour, "09").raw(record::kMinute, "30").raw(record::kSecond, "15");
    raw(record::kMillisecond, "0250");
    raw(record::kDocumentPages, "  10").raw(record::kSidesOfPaper, "  10").raw(record::kSheetsOfPaper, "   5");
    this->user(user).printer(printer).computer(computer);
}

Frame &Frame::user(std::string_view utf8)
{
    return raw(record::kUserName, cp932(utf8));
}

Frame &Frame::printer(std::string_view utf8)
{
    return raw(record::kPrinterName, cp932(utf8));
}

Frame &Frame::computer(std::string_view utf8)
{
    return raw(record::kComputerName, cp932(utf8));
}

Frame &Frame::raw(record::Field field, std::string_view bytes)
{
    if (bytes.size() > field.width)
        throw std::invalid_argument("field value wider than its field");
    std::string padded(bytes);
    padded.resize(field.width, ' ');
    m_body.replace(field.position - 1, field.width, padded);
    return *this;
}

std::string Frame::frame() const
{
    return '\x02' + m_body + '\x03';
}

std::string frames(const std::vector<Frame> &list)
{
    std::string bytes;
    for (const Frame &f : list)
        bytes += f.frame();
    return bytes;
}

platform::UniqueFd connectLoopback(std::uint16_t port)
{
    return platform::connectTcp("127.0.0.1", port);
}

void sendBytes(int fd, std::string_view bytes)
{
    if (!platform::sendAll(fd, bytes))
        throw std::runtime_error("send failed");
}

bool finishAndWaitForClose(int fd, std::chrono::milliseconds timeout)
{
    ::shutdown(fd, SHUT_WR);
    return peerClosed(fd, timeout);
}

std::string receiveSome(int fd, std::chrono::milliseconds timeout)
{
    if (platform::waitReadable(fd, timeout) != platform::WaitResult::Ready)
        return {};
    char buffer[256];
    const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool peerClosed(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[256];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || platform::waitReadable(fd, left) != platform::WaitResult::Ready)
            return false;
        if (platform::recvSome(fd, buffer, sizeof buffer) <= 0)
            return true;
    }
}

bool waitUntil(const std::function<bool()> &predicate, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool databaseMutexBusy()
{
    platform::NamedMutex mutex(kDatabaseMutexName);
    if (!mutex.tryLock())
        return true;
    mutex.unlock();
    return false;
}

} // namespace hvn::retriever::test
