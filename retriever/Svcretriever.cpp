#include "Svcretriever.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include <sys/resource.h>

#include "EventLog.h"

namespace hvn::retriever {

namespace {

// Descriptors the process needs besides its workers: the standard streams, syslog, the
// listeners and their wake-ups, the database module kept for the life of the process, the
// spool file, settings reads of the host, with room to spare.
constexpr std::uint64_t kReservedDescriptors = 64;
// The most a print-record worker holds at once: its connection, its database module (the
// database file, its write-ahead log and shared memory index), a settings read (the file and
// its lock file), with room to spare.
constexpr std::uint64_t kDescriptorsPerAgentWorker = 8;
// A console worker holds its connection only. One console runs per machine and opens one
// connection per operation, so a few are plenty.
constexpr std::size_t kConsoleWorkers = 16;
// Beyond this many threads the machine gains nothing; more connections wait in the kernel.
constexpr std::size_t kMaxAgentWorkers = 1024;

std::string where(const TdmRegistryCtl &registry)
{
    return " in the settings file " + registry.storePath().string() + " [HKEY_LOCAL_MACHINE\\" +
           std::string(kProductKey) + "]";
}

std::uint16_t portSetting(const TdmRegistryCtl &registry, std::string_view name)
{
    const auto value = registry.GetRegistryValue(name);
    if (!value)
        throw std::runtime_error(std::string(name) + " is not set" + where(registry));
    if (value->type != platform::RegType::Dword)
        throw std::runtime_error(std::string(name) + " is not a REG_DWORD" + where(registry));
    const auto number = static_cast<std::int32_t>(value->dword);
    if (number < 0 || number > 65535)
        throw std::runtime_error(std::string(name) + " " + std::to_string(number) + where(registry) +
                                 " is not a TCP port number");
    return static_cast<std::uint16_t>(number);
}

platform::NetworkList agentNetworksSetting(const TdmRegistryCtl &registry)
{
    const auto value = registry.GetRegistryValue("AgentNetworks");
    if (!value)
        return {};
    if (value->type != platform::RegType::String)
        throw std::runtime_error("AgentNetworks is not a REG_SZ" + where(registry));
    try {
        return platform::NetworkList::parse(value->text);
    } catch (const std::invalid_argument &e) {
        throw std::runtime_error("AgentNetworks" + where(registry) + ": " + e.what());
    }
}

} // namespace

ServiceSettings readServiceSettings(const TdmRegistryCtl &registry)
{
    if (const auto problem = registry.StoreProblem())
        throw std::runtime_error(*problem);
    ServiceSettings settings;
    settings.port = portSetting(registry, "PortNumber");
    settings.consolePort = portSetting(registry, "PortNumberConsole");
    settings.agentNetworks = agentNetworksSetting(registry);
    return settings;
}

WorkerLimits workerLimits(std::uint64_t descriptorLimit)
{
    const std::uint64_t needed = kReservedDescriptors + kConsoleWorkers + kDescriptorsPerAgentWorker;
    if (descriptorLimit < needed)
        throw std::runtime_error("the descriptor limit " + std::to_string(descriptorLimit) +
                                 " (RLIMIT_NOFILE) is too low: the service needs at least " +
                                 std::to_string(needed));
    const std::uint64_t agents =
        (descriptorLimit - kReservedDescriptors - kConsoleWorkers) / kDescriptorsPerAgentWorker;
    return {static_cast<std::size_t>(std::min<std::uint64_t>(agents, kMaxAgentWorkers)), kConsoleWorkers};
}

WorkerLimits workerLimitsOfThisProcess()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return workerLimits(std::numeric_limits<std::uint64_t>::max());
    return workerLimits(limit.rlim_cur);
}

RefusalLog::RefusalLog(std::chrono::milliseconds interval) : m_interval(interval) {}

void RefusalLog::note(const platform::IpAddress &peer, const platform::NetworkList &allowed)
{
    const auto now = std::chrono::steady_clock::now();
    std::string entry;
    {
        std::lock_guard lock(m_mutex);
        if (m_logged && now - m_lastEntry < m_interval) {
            ++m_leftOut;
            return;
        }
        entry = "refused an agent connection from " + platform::addressText(peer) +
                ": the address is outside AgentNetworks (" + allowed.text() + ")";
        if (m_leftOut > 0)
            entry += "; " + std::to_string(m_leftOut) + " more refused since the last entry";
        m_logged = true;
        m_lastEntry = now;
        m_leftOut = 0;
    }
    platform::reportEvent(platform::EventSeverity::Warning, entry);
}

TRetriever::TRetriever(TdmRegistryCtl registry, std::chrono::milliseconds agentIdleLimit,
                       std::chrono::milliseconds consoleIdleLimit, RecordKeeper::Options keeping)
    : m_registry(std::move(registry)),
      m_agentIdleLimit(agentIdleLimit),
      m_consoleIdleLimit(consoleIdleLimit),
      m_keeping(std::move(keeping)),
      ServerSocket1([this] { return ServerSocket1GetThread(); }, kDesignPort),
      ConsoleSocket([this] { return ConsoleSocketGetThread(); }, kDesignConsolePort, ListenOn::Loopback)
{
}

TRetriever::~TRetriever()
{
    ServiceStop();
}

void TRetriever::ServiceStart()
{
    if (m_keeper)
        return;
    // The settings are checked before anything is opened or created.
    const ServiceSettings settings = readServiceSettings(m_registry);
    const WorkerLimits limits = workerLimitsOfThisProcess();
    ServerSocket1.SetPort(settings.port);
    ServerSocket1.SetMaxWorkers(limits.agentWorkers);
    ServerSocket1.SetAllowedPeers(settings.agentNetworks,
                                  [this, allowed = settings.agentNetworks](const platform::IpAddress &peer) {
                                      m_refusals.note(peer, allowed);
                                  });
    // Connections still queued at a stop have their records kept, to be stored at the next start.
    ServerSocket1.SetQueuedHandler([this](const std::vector<std::string> &received) {
        std::vector<std::string> records;
        for (const std::string &bytes : received)
            for (std::string &record : TNewServerThread::RecordsOf(bytes))
                records.push_back(std::move(record));
        m_keeper->keep(records, "the service is stopping");
    });
    ConsoleSocket.SetPort(settings.consolePort);
    ConsoleSocket.SetMaxWorkers(limits.consoleWorkers);

    m_keeper = std::make_shared<RecordKeeper>(m_registry, m_keeping);
    m_keeper->start();
    try {
        ServerSocket1.Open();
        try {
            ConsoleSocket.Open();
        } catch (...) {
            ServerSocket1.Close();
            throw;
        }
    } catch (...) {
        m_keeper.reset();
        throw;
    }
}

void TRetriever::ServiceStop()
{
    ServerSocket1.Close();
    ConsoleSocket.Close();
    m_keeper.reset();
}

std::unique_ptr<TServerClientThread> TRetriever::ServerSocket1GetThread()
{
    return std::make_unique<TNewServerThread>(m_keeper, m_agentIdleLimit);
}

std::unique_ptr<TServerClientThread> TRetriever::ConsoleSocketGetThread()
{
    return std::make_unique<TConsoleSocket>(m_consoleIdleLimit);
}

} // namespace hvn::retriever
