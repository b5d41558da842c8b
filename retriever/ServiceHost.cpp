#include "ServiceHost.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <system_error>

#include <systemd/sd-daemon.h>

#include "EventLog.h"
#include "Svcretriever.h"

namespace hvn::retriever {

namespace {

sigset_t serviceSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        sigaddset(&set, s);
    return set;
}

void logFailure(ServiceOperation operation, std::string_view text)
{
    platform::reportEvent(platform::EventSeverity::Error, serviceFailureEntry(operation, text));
}

// Stops the service; false (after logging) when the stop failed.
bool stopService(TRetriever &service, ServiceOperation operation)
{
    ::sd_notify(0, "STOPPING=1\nSTATUS=stopping");
    try {
        service.ServiceStop();
        return true;
    } catch (const std::exception &e) {
        logFailure(operation, errorText(e));
        return false;
    }
}

} // namespace

std::string errorText(const std::exception &e)
{
    if (const auto *system = dynamic_cast<const std::system_error *>(&e))
        return system->code().message();
    return e.what();
}

void blockServiceSignals()
{
    const sigset_t set = serviceSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int runService(TRetriever &service)
{
    try {
        service.ServiceStart();
    } catch (const std::exception &e) {
        logFailure(ServiceOperation::Start, errorText(e));
        return 1;
    }
    ::sd_notify(0, "READY=1\nSTATUS=running");

    const sigset_t set = serviceSignals();
    for (;;) {
        siginfo_t info{};
        const int signalNumber = ::sigwaitinfo(&set, &info);
        if (signalNumber < 0) {
            if (errno == EINTR)
                continue;
            // Without signals the service could never be stopped: stop it now.
            logFailure(ServiceOperation::Run, std::strerror(errno));
            stopService(service, ServiceOperation::Stop);
            return 1;
        }
        switch (signalNumber) {
        case SIGUSR1:
            ::sd_notify(0, "STATUS=paused");
            break;
        case SIGUSR2:
            ::sd_notify(0, "STATUS=running");
            break;
        default: // SIGTERM, SIGINT
            return stopService(service, ServiceOperation::Stop) ? 0 : 1;
        }
    }
}

int runInstallCommand(const HostCommand &command, const UnitInstallation &installation,
                      std::ostream &out, std::ostream &err)
{
    const bool install = command.action == HostAction::Install;
    try {
        if (install)
            installService(installation);
        else
            uninstallService(installation);
    } catch (const std::exception &e) {
        const std::string text = errorText(e);
        err << (install ? installFailedMessage(text) : uninstallFailedMessage(text)) << std::endl;
        return 1;
    }
    if (!command.silent)
        out << (install ? kInstalledMessage : kUninstalledMessage) << std::endl;
    return 0;
}

} // namespace hvn::retriever
