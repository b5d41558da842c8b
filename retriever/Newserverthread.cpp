#include "Newserverthread.h"

#include <algorithm>
#include <memory>

#include "Dmfdatabase.h"
#include "NamedMutex.h"
#include "RecordKeeper.h"
#include "TcpSocket.h"

namespace hvn::retriever {

namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

} // namespace

TNewServerThread::TNewServerThread(std::shared_ptr<RecordKeeper> keeper, std::chrono::milliseconds idleLimit)
    : m_keeper(std::move(keeper)), m_idleLimit(idleLimit)
{
}

TNewServerThread::~TNewServerThread()
{
    Shutdown();
}

void TNewServerThread::ClientExecute()
{
    ServeConnection();
}

void TNewServerThread::ServeConnection()
{
    // Whatever way this ends (stop, failure), the agent sees an orderly close only after its
    // whole stream was read and its records were stored or kept: its receipt.
    struct CloseGuard {
        TNewServerThread &worker;
        ~CloseGuard() { worker.CloseAfterPeer(); }
    } closeGuard{*this};
    std::unique_ptr<TdmDatabase> database; // opened by the keeper with the first records
    std::string carryOver;
    std::vector<std::string> records;
    const RecordHandler collect = [&records](std::string_view body) { records.emplace_back(body); };
    char buffer[kReadSize];
    while (!Terminated()) {
        const int fd = ClientSocket();
        if (fd < 0)
            break;
        if (platform::waitReadable(fd, m_idleLimit) != platform::WaitResult::Ready) {
            CloseConnection();
            break;
        }
        const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
        if (n <= 0) {
            // The agent's end of stream, every earlier record stored: the orderly close is its
            // receipt. (A stop's shutdown also reads as 0 bytes; that close is an abort.)
            CloseAfterPeer();
            break;
        }
        CutRecords(carryOver, std::string_view(buffer, static_cast<std::size_t>(n)), collect);
        if (!records.empty())
            storeRecords(records, database);
    }
    if (!Terminated())
        return;
    // Asked to stop: the connection has been shut down, so what the system has received for it
    // is read to its end (bounded all the same), and its complete records are stored or kept.
    for (std::size_t total = 0; total < kReadOnStopLimit;) {
        const int fd = ClientSocket();
        if (fd < 0 || platform::waitReadable(fd, std::chrono::milliseconds(0)) != platform::WaitResult::Ready)
            break;
        const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        CutRecords(carryOver, std::string_view(buffer, static_cast<std::size_t>(n)), collect);
        total += static_cast<std::size_t>(n);
    }
    if (!records.empty())
        storeRecords(records, database);
}

void TNewServerThread::storeRecords(std::vector<std::string> &records, std::unique_ptr<TdmDatabase> &database)
{
    platform::NamedMutexLock ownership(platform::NamedMutex(kDatabaseMutexName), StopToken());
    if (ownership.ownsLock())
        m_keeper->store(records, database);
    else
        m_keeper->keep(records, "the service is stopping");
    records.clear();
}

int TNewServerThread::ExtractRecord(std::string_view text, int length, int start, std::string &record)
{
    bool inRecord = false;
    std::size_t gatheredFrom = 0; // the gathered text is text[gatheredFrom, i)
    const std::size_t end = std::min<std::size_t>(length < 0 ? 0 : length, text.size());
    for (std::size_t i = start < 1 ? 0 : static_cast<std::size_t>(start - 1); i < end; ++i) {
        const char c = text[i];
        if (c == kStx) {
            inRecord = true;
            gatheredFrom = i + 1;
        } else if (c == kEtx) {
            if (inRecord)
                record.append(text.substr(gatheredFrom, i - gatheredFrom));
            return static_cast<int>(i + 2); // 1-based position just after the ETX
        }
    }
    if (inRecord) {
        record += kStx;
        record.append(text.substr(gatheredFrom, end - gatheredFrom));
    }
    return 0;
}

void TNewServerThread::CutRecords(std::string &carryOver, std::string_view read,
                                  const RecordHandler &onRecord)
{
    // The scan length counts every byte read, also those after a NUL that the text lost.
    const int length = static_cast<int>(carryOver.size() + read.size());
    std::string text = std::move(carryOver);
    text.append(read.substr(0, read.find('\0')));

    std::string record;
    int position = 1;
    for (;;) {
        const int next = ExtractRecord(text, length, position, record);
        if (next == 0)
            break;
        if (!record.empty())
            onRecord(std::string_view(record).substr(0, record::kBodySize));
        record.clear();
        position = next;
    }
    if (record.size() > kMaxCarryOver)
        record.resize(kMaxCarryOver);
    carryOver = std::move(record);
}

std::vector<std::string> TNewServerThread::RecordsOf(std::string_view received)
{
    std::vector<std::string> records;
    const RecordHandler collect = [&records](std::string_view body) { records.emplace_back(body); };
    std::string carryOver;
    for (std::size_t at = 0; at < received.size(); at += kReadSize)
        CutRecords(carryOver, received.substr(at, kReadSize), collect);
    return records;
}

TNewServerThread::StoreResult TNewServerThread::StoreRecord(TdmDatabase &database, std::string_view body) noexcept
{
    StoreResult result;
    try {
        database.BeginTransaction();
        const int user = database.GetUserID(record::text(body, record::kUserName));
        const int printer = database.GetPrinterID(record::text(body, record::kPrinterName));
        database.AddPrintingData(body, user, printer);
        database.CommitTransaction();
        return result;
    } catch (const std::exception &e) {
        result.kind = StorageUnavailable(e) ? StoreResult::Kind::Unavailable : StoreResult::Kind::Refused;
        result.reason = e.what();
    } catch (...) {
        result.kind = StoreResult::Kind::Refused;
        result.reason = "unknown failure";
    }
    // Nothing is reported to the agent; the record's partial work is undone.
    database.RollbackTransaction();
    return result;
}

} // namespace hvn::retriever
