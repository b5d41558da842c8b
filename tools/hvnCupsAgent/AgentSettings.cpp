#include "AgentSettings.h"

#include "Dmregistry.h"
#include "RegistryFile.h"

namespace hvn::cupsagent {

namespace {

bool validPort(std::uint32_t value) { return value >= 1 && value <= 65535; }

} // namespace

AgentSettings readAgentSettings(const std::filesystem::path &storePath)
{
    AgentSettings settings;
    const platform::RegistryFile store(storePath);
    if (const auto problem = store.problem()) {
        settings.problems.push_back(*problem);
        return settings;
    }
    const std::string where = " in " + storePath.string();
    auto wrongType = [&](std::string_view name, const char *type) {
        settings.problems.push_back(std::string(kAgentKey) + "\\" + std::string(name) + " is not a " + type +
                                    where + "; the default is used");
    };

    if (const auto host = store.read(kAgentKey, "ServiceHost")) {
        if (host->type != platform::RegType::String || host->text.empty())
            wrongType("ServiceHost", "non-empty REG_SZ");
        else
            settings.serviceHost = host->text;
    }
    if (const auto shared = store.read(kProductKey, "PortNumber");
        shared && shared->type == platform::RegType::Dword && validPort(shared->dword))
        settings.servicePort = static_cast<std::uint16_t>(shared->dword);
    if (const auto port = store.read(kAgentKey, "ServicePort")) {
        if (port->type != platform::RegType::Dword || !validPort(port->dword))
            wrongType("ServicePort", "REG_DWORD port number (1 to 65535)");
        else
            settings.servicePort = static_cast<std::uint16_t>(port->dword);
    }
    if (const auto spool = store.read(kAgentKey, "SpoolFolder")) {
        const std::filesystem::path folder = spool->text;
        if (spool->type != platform::RegType::String || !folder.is_absolute())
            wrongType("SpoolFolder", "REG_SZ absolute path");
        else
            settings.spoolFolder = folder;
    }
    if (const auto strip = store.read(kAgentKey, "StripDomain")) {
        if (strip->type != platform::RegType::Dword || strip->dword > 1)
            wrongType("StripDomain", "REG_DWORD 0 or 1");
        else
            settings.stripDomain = strip->dword == 1;
    }
    return settings;
}

} // namespace hvn::cupsagent
