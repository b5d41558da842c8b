#pragma once

#include <exception>
#include <iosfwd>
#include <string>

#include "HostCommand.h"
#include "ServiceUnit.h"

namespace hvn::retriever {

class TRetriever;

// Blocks SIGTERM, SIGINT, SIGUSR1 and SIGUSR2 in the calling thread, which every thread
// started later inherits, so that only runService() receives them; ignores SIGPIPE. Call
// first in main, before any thread exists.
void blockServiceSignals();

// Serves in the foreground as a systemd service (Type=notify): ServiceStart, READY=1 once
// both listeners are open, then on the calling thread: SIGUSR1 pauses and SIGUSR2 continues
// (reported as STATUS=; the listeners keep serving), SIGTERM or SIGINT stop (ServiceStop).
// A failure is written to the event log as "サービス失敗 <operation>: <error>". Returns the
// exit status: 0 after a clean stop, 1 when the start or the stop failed.
// Main thread only, after blockServiceSignals().
int runService(TRetriever &service);

// Carries out INSTALL or UNINSTALL and shows the host's message: the success message on out
// unless silent, the failure message on err always. Returns the exit status (0 or 1).
int runInstallCommand(const HostCommand &command, const UnitInstallation &installation,
                      std::ostream &out, std::ostream &err);

// The system's text for a failure: strerror for a system error, else the exception's text.
std::string errorText(const std::exception &e);

} // namespace hvn::retriever
