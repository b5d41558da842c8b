#include "Delivery.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TcpSocket.h"

namespace hvn::cupsagent {

using platform::UniqueFd;
using Clock = std::chrono::steady_clock;

namespace {

// Rounds of one flush; appenders that keep adding records cannot hold a deliverer forever.
constexpr int kMaxRounds = 20;

std::chrono::milliseconds left(Clock::time_point deadline)
{
    const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return rest.count() > 0 ? rest : std::chrono::milliseconds(0);
}

// A connected TCP socket (blocking again once connected) within timeout.
UniqueFd connectWithin(const std::string &host, std::uint16_t port, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("cannot resolve " + host + ": " + ::gai_strerror(rc));
    std::string lastError = "no address";
    for (addrinfo *ai = found; ai; ai = ai->ai_next) {
        UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
        if (!fd) {
            lastError = std::strerror(errno);
            continue;
        }
        int error = 0;
        if (::connect(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                pollfd p{fd.get(), POLLOUT, 0};
                int rc;
                do
                    rc = ::poll(&p, 1, static_cast<int>(left(deadline).count()));
                while (rc < 0 && errno == EINTR);
                socklen_t size = sizeof error;
                if (rc == 0)
                    error = ETIMEDOUT;
                else if (rc < 0 || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
            ::freeaddrinfo(found);
            return fd;
        }
        lastError = std::strerror(error);
    }
    ::freeaddrinfo(found);
    throw std::runtime_error("cannot connect to " + host + ":" + service + ": " + lastError);
}

// Sends the frames and returns once the service has closed the connection. Throws with the
// reason when it cannot be sure that the service has them.
void sendAndConfirm(const std::vector<std::string> &frames, const std::string &host, std::uint16_t port,
                    const DeliveryOptions &options)
{
    const UniqueFd socket = connectWithin(host, port, options.connectTimeout);
    std::string data;
    for (const std::string &frame : frames)
        data += frame;
    if (!platform::sendAll(socket.get(), data))
        throw std::runtime_error("cannot send to " + host + ":" + std::to_string(port) + ": " + std::strerror(errno));
    if (::shutdown(socket.get(), SHUT_WR) != 0)
        throw std::runtime_error(std::string("cannot finish the connection: ") + std::strerror(errno));
    const auto deadline = Clock::now() + options.confirmTimeout;
    char buffer[256];
    for (;;) {
        const auto ready = platform::waitReadable(socket.get(), left(deadline));
        if (ready == platform::WaitResult::Timeout) {
            // A reset, not a close: what the service has not read yet is dropped rather than
            // stored behind the records' backs and delivered again.
            const linger reset{1, 0};
            ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            throw std::runtime_error("the service at " + host + ":" + std::to_string(port) +
                                     " did not confirm within " +
                                     std::to_string(options.confirmTimeout.count()) + " ms");
        }
        const std::ptrdiff_t n = platform::recvSome(socket.get(), buffer, sizeof buffer);
        if (n == 0)
            return;
        if (n < 0)
            throw std::runtime_error("the connection to " + host + ":" + std::to_string(port) +
                                     " failed before the service confirmed: " + std::strerror(errno));
    }
}

} // namespace

DeliveryResult deliverSpool(const AgentSpool &spool, const std::string &host, std::uint16_t port,
                            const DeliveryOptions &options)
{
    DeliveryResult result;
    try {
        if (spool.read().frames.empty())
            return result; // nothing to do, and no folder made for it
        const UniqueFd deliveryLock = spool.lockForDelivery(options.waitForDeliverer);
        if (!deliveryLock) {
            result.deliveredElsewhere = true;
            return result;
        }
        for (int round = 0; round < kMaxRounds; ++round) {
            const AgentSpool::Contents contents = spool.read();
            if (contents.frames.empty()) {
                spool.removeThrough(contents.end); // lines that failed their check
                break;
            }
            sendAndConfirm(contents.frames, host, port, options);
            spool.removeThrough(contents.end);
            result.delivered += contents.frames.size();
        }
    } catch (const std::exception &e) {
        result.problem = e.what();
    }
    try {
        result.remaining = spool.read().frames.size();
    } catch (const std::exception &e) {
        if (result.problem.empty())
            result.problem = e.what();
    }
    if (result.remaining > 0 && result.problem.empty())
        result.problem = "records were added faster than they could be delivered";
    return result;
}

} // namespace hvn::cupsagent
