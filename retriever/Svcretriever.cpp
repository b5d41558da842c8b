#include "Svcretriever.h"

#include <stdexcept>
#include <string>

namespace hvn::retriever {

namespace {

std::uint16_t portSetting(const TdmRegistryCtl &registry, std::string_view name)
{
    const std::int32_t value = registry.GetRegistryInteger(name);
    if (value < 0 || value > 65535)
        throw std::invalid_argument(std::string(name) + " " + std::to_string(value) +
                                    " is not a TCP port number");
    return static_cast<std::uint16_t>(value);
}

} // namespace

TRetriever::TRetriever(TdmRegistryCtl registry, std::chrono::milliseconds agentIdleLimit,
                       std::chrono::milliseconds consoleIdleLimit, RecordKeeper::Options keeping)
    : m_registry(std::move(registry)),
      m_agentIdleLimit(agentIdleLimit),
      m_consoleIdleLimit(consoleIdleLimit),
      m_keeping(std::move(keeping)),
      ServerSocket1([this] { return ServerSocket1GetThread(); }, kDesignPort),
      ConsoleSocket([this] { return ConsoleSocketGetThread(); }, kDesignConsolePort)
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
    m_keeper = std::make_shared<RecordKeeper>(m_registry, m_keeping);
    m_keeper->start();
    try {
        ServerSocket1.SetPort(portSetting(m_registry, "PortNumber"));
        ServerSocket1.Open();
        try {
            ConsoleSocket.SetPort(portSetting(m_registry, "PortNumberConsole"));
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
