#include "EventLog.h"

#include <cerrno>
#include <string>

#include <syslog.h>
#include <unistd.h>

namespace hvn::platform {

namespace {

constexpr const char *kIdent = "hvnRetriever";

int priorityOf(EventSeverity severity)
{
    switch (severity) {
    case EventSeverity::Error:
        return LOG_ERR;
    case EventSeverity::Warning:
        return LOG_WARNING;
    case EventSeverity::Information:
        break;
    }
    return LOG_INFO;
}

// openlog() keeps the ident pointer, so it is opened once with a string of static lifetime.
void openLogOnce()
{
    static const bool opened = [] {
        ::openlog(kIdent, LOG_PID | LOG_NDELAY, LOG_DAEMON);
        return true;
    }();
    (void)opened;
}

} // namespace

void reportEvent(EventSeverity severity, std::string_view message)
{
    openLogOnce();
    const std::string text(message);
    ::syslog(LOG_DAEMON | priorityOf(severity), "%s", text.c_str());

    // One write() per entry keeps concurrent entries from interleaving on stderr.
    const std::string line = std::string(kIdent) + ": " + text + "\n";
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace hvn::platform
