#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hvn::retriever {

inline constexpr std::string_view kDefaultUnitDirectory = "/etc/systemd/system";
inline constexpr std::string_view kUnitFileName = "Retriever.service";

// Where and how the service is registered with the service manager (systemd).
struct UnitInstallation {
    std::filesystem::path unitDirectory;      // the unit file goes here
    std::filesystem::path executable;         // absolute; the unit's ExecStart
    std::optional<std::string> registryPath;  // absolute; passed on as HALVANE_REGISTRY
    std::filesystem::path systemctl;          // empty: systemctl is not run
};

// From this process: $HALVANE_SYSTEMD_DIR (default /etc/systemd/system), this executable,
// $HALVANE_REGISTRY when set (made absolute: the service starts in another directory), and
// systemctl from PATH only when the unit goes into the default directory, so that installing
// elsewhere never touches the running service manager.
UnitInstallation unitInstallationFromEnvironment();

// The text of Retriever.service. Paths are quoted and escaped as unit files need. Throws
// std::invalid_argument for a path holding a control character, which no unit can carry.
std::string unitFileText(const UnitInstallation &installation);

// Writes the unit file, replacing an older one atomically, then, with systemctl, runs
// "systemctl daemon-reload" and "systemctl enable Retriever". Throws std::system_error for a
// file-system failure and std::runtime_error for a failed systemctl run.
void installService(const UnitInstallation &installation);

// Runs "systemctl disable Retriever" (with systemctl), removes the unit file, then runs
// "systemctl daemon-reload". A missing unit file fails with ENOENT before anything is run.
void uninstallService(const UnitInstallation &installation);

} // namespace hvn::retriever
