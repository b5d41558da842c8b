#include "NotifyListener.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include <sys/socket.h>
#include <sys/un.h>

#include "TcpSocket.h"

namespace hvn::test {

NotifyListener::NotifyListener(std::filesystem::path path) : m_path(std::move(path))
{
    m_fd.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string p = m_path.string();
    if (!m_fd || p.size() >= sizeof addr.sun_path)
        throw std::runtime_error("cannot create the notification socket " + p);
    p.copy(addr.sun_path, p.size());
    if (::bind(m_fd.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), "bind " + p);
}

NotifyListener::~NotifyListener()
{
    std::error_code ec;
    std::filesystem::remove(m_path, ec);
}

std::string NotifyListener::environment() const
{
    return "NOTIFY_SOCKET=" + m_path.string();
}

bool NotifyListener::waitFor(std::string_view line, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || platform::waitReadable(m_fd.get(), left) != platform::WaitResult::Ready)
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            continue;
        const std::string message = "\n" + std::string(buffer, static_cast<std::size_t>(n)) + "\n";
        if (message.find("\n" + std::string(line) + "\n") != std::string::npos)
            return true;
    }
}

} // namespace hvn::test
