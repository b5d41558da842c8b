#pragma once

#include <string_view>

namespace hvn::platform {

// The service's event log: each entry goes to syslog (ident "hvnRetriever", facility
// daemon) and, one line each, to standard error, so that a failed start under a terminal
// or a test harness shows its reason without a syslog daemon.
// Thread safe: syslog serialises its writers and each stderr line is written in one call.

enum class EventSeverity { Error, Warning, Information };

void reportEvent(EventSeverity severity, std::string_view message);

} // namespace hvn::platform
