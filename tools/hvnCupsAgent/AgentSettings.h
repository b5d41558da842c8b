#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "Dmregistry.h"

namespace hvn::cupsagent {

// The agent's key under the local-machine root of the settings file.
inline constexpr std::string_view kAgentKey = kCupsAgentKey;

struct AgentSettings {
    std::string serviceHost = "127.0.0.1";
    std::uint16_t servicePort = 1033;
    std::filesystem::path spoolFolder = "/var/spool/halvane";
    bool stripDomain = true;
    // One line each for values that were present but unusable and so replaced by their
    // defaults, and for a settings file that cannot be read. Empty when everything read well.
    std::vector<std::string> problems;
};

// Reads the agent's settings from the settings file at storePath. Never throws: a missing
// file, key or value gives the default (ServicePort: the file's PortNumber, else 1033), and a
// malformed file or value gives the defaults with a line in problems. Thread safe.
AgentSettings readAgentSettings(const std::filesystem::path &storePath);

} // namespace hvn::cupsagent
