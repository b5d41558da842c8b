#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "AgentFrame.h"
#include "JobCounts.h"

namespace hvn::cupsagent {

// The one line "lpinfo -v" shows for this backend.
inline constexpr std::string_view kDiscoveryLine =
    "network halvane \"Unknown\" \"Halvane print accounting (halvane:<device URI>)\"";

// The text cut to fit a frame field of maxBytes CP932 bytes, whole characters only; characters
// CP932 cannot carry and control characters become '?'. UTF-8 in, UTF-8 out.
std::string fitField(std::string_view text, std::size_t maxBytes);

// The print record of a counted job. Texts are fitted to their fields. nullopt when a count
// does not fit its four-digit field.
std::optional<std::string> recordFrame(const DbDateTime &time, const std::string &user, const std::string &printer,
                                       const std::string &computer, const JobCounts &counts);

// The backend's command line: no arguments (discovery), a job (6 or 7 arguments as cupsd
// passes them, argv[0] the device URI), "--flush" or "--uncounted". Returns the exit status.
// Messages for cupsd's error log go to err with their "WARNING:"/"ERROR:" prefixes.
int run(const std::vector<std::string> &argv, std::ostream &out, std::ostream &err);

} // namespace hvn::cupsagent
