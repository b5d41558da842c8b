#include "TestSupport.h"

#include <stdexcept>

#include <SQLiteCpp/Database.h>

#include "AnsiCodePage.h"
#include "Connection.h"
#include "DatabaseRows.h"
#include "NamedMutex.h"
#include "Newserverthread.h"
#include "Schema.h"

namespace hvn::retriever::test {

TestDatabase::TestDatabase()
    : m_databasePath(m_dir.path() / "hvnDatabase.db"), m_registryPath(m_dir.path() / "registry.reg")
{
    {
        SQLite::Database db(m_databasePath.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db::applyDurability(db);
        schema::createSchema(db);
    }
    // Port 0: each service started on these settings listens on free ports.
    const TdmRegistryCtl registry(m_registryPath);
    if (!registry.SetRegistryString("DatabasePath", m_databasePath.string()) ||
        !registry.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey, "PortNumber", 0) ||
        !registry.SetSettingInteger(TdmRegistryCtl::RootKey::LocalMachine, kProductKey, "PortNumberConsole", 0))
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
    return hvn::test::queryRows(m_databasePath, sql);
}

std::int64_t TestDatabase::count(const std::string &table) const
{
    return hvn::test::countRows(m_databasePath, table);
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

bool databaseMutexBusy()
{
    platform::NamedMutex mutex(kDatabaseMutexName);
    if (!mutex.tryLock())
        return true;
    mutex.unlock();
    return false;
}

RecordKeeper::Options KeeperLog::options(std::chrono::milliseconds busyTimeout,
                                         std::chrono::milliseconds retryInterval)
{
    RecordKeeper::Options options;
    options.busyTimeout = busyTimeout;
    options.retryInterval = retryInterval;
    options.report = [this](platform::EventSeverity, std::string_view message) {
        std::lock_guard lock(m_mutex);
        m_entries.emplace_back(message);
    };
    return options;
}

std::vector<std::string> KeeperLog::entries() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

bool KeeperLog::waitFor(std::string_view part, std::chrono::milliseconds timeout) const
{
    return waitUntil(
        [&] {
            std::lock_guard lock(m_mutex);
            for (const std::string &entry : m_entries)
                if (entry.find(part) != std::string::npos)
                    return true;
            return false;
        },
        timeout);
}

std::shared_ptr<RecordKeeper> startedKeeper(const TdmRegistryCtl &registry, KeeperLog &log)
{
    auto keeper = std::make_shared<RecordKeeper>(registry, log.options());
    keeper->start();
    return keeper;
}

} // namespace hvn::retriever::test
