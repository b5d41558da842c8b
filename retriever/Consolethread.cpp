#include "Consolethread.h"

#include <optional>
#include <string_view>

#include "NamedMutex.h"
#include "Newserverthread.h"
#include "TcpSocket.h"

namespace hvn::retriever {

namespace {

constexpr std::string_view kRequest = "DBREAD";
constexpr std::string_view kGranted = "OK\n";
constexpr std::string_view kRefused = "NG\n";

// A request is recognised by its first six bytes alone, without regard to letter case.
bool isRequest(std::string_view message)
{
    if (message.size() < kRequest.size())
        return false;
    for (std::size_t i = 0; i < kRequest.size(); ++i) {
        char c = message[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != kRequest[i])
            return false;
    }
    return true;
}

} // namespace

TConsoleSocket::TConsoleSocket(std::chrono::milliseconds idleLimit) : m_idleLimit(idleLimit) {}

TConsoleSocket::~TConsoleSocket()
{
    Shutdown();
}

void TConsoleSocket::ClientExecute()
{
    ServeConsole();
}

void TConsoleSocket::ServeConsole()
{
    char buffer[kReadSize];
    // Waits for data and reads it. False when the connection has ended: silence for the idle
    // limit, end of stream or an error. The connection is then closed.
    auto receive = [&](std::string_view &message) {
        const int fd = ClientSocket();
        if (fd < 0)
            return false;
        if (platform::waitReadable(fd, m_idleLimit) == platform::WaitResult::Ready) {
            const std::ptrdiff_t n = platform::recvSome(fd, buffer, sizeof buffer);
            if (n > 0) {
                message = std::string_view(buffer, static_cast<std::size_t>(n));
                return true;
            }
        }
        CloseConnection();
        return false;
    };

    while (!Terminated() && ClientSocket() >= 0) {
        // The grant of this pass; engaged means the held flag is set. Every pass gives the
        // mutex back before it ends, whichever way it ends.
        std::optional<platform::NamedMutexLock> grant;

        std::string_view message;
        if (!receive(message))
            break;
        if (!isRequest(message)) {
            platform::sendAll(ClientSocket(), kRefused);
            CloseConnection();
            break;
        }
        try {
            grant.emplace(platform::NamedMutex(kDatabaseMutexName), StopToken());
        } catch (...) {
            platform::sendAll(ClientSocket(), kRefused);
            CloseConnection();
            break;
        }
        if (!grant->ownsLock()) // the service is stopping
            break;
        if (!platform::sendAll(ClientSocket(), kGranted)) {
            CloseConnection();
            break;
        }
        // Any non-empty read releases the lock, whatever it holds; the connection stays open.
        if (!receive(message))
            break;
    }
}

} // namespace hvn::retriever
