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
                       std::chrono::milliseconds consoleIdleLimit)
    : m_registry(std::move(registry)),
      m_agentIdleLimit(agentIdleLimit),
      m_consoleIdleLimit(consoleIdleLimit),
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
    ServerSocket1.SetPort(portSetting(m_registry, "PortNumber"));
    ServerSocket1.Open();
    try {
        ConsoleSocket.SetPort(portSetting(m_registry, "PortNumberConsole"));
        ConsoleSocket.Open();
    } catch (...) {
        ServerSocket1.Close();
        throw;
    }
}

void TRetriever::ServiceStop()
{
    ServerSocket1.Close();
    ConsoleSocket.Close();
}

std::unique_ptr<TServerClientThread> TRetriever::ServerSocket1GetThread()
{
    return std::make_unique<TNewServerThread>(m_registry, m_agentIdleLimit);
}

std::unique_ptr<TServerClientThread> TRetriever::ConsoleSocketGetThread()
{
    return std::make_unique<TConsoleSocket>(m_consoleIdleLimit);
}

} // namespace hvn::retriever
