#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hvn::retriever {

inline constexpr std::string_view kDefaultUnitDirectory = "/etc/systemd/system";
inline constexpr std::string_view kUnitFileName = "Retriever.service";
// The system user the service runs as.
inline constexpr std::string_view kServiceUser = "hvnretriever";
// The unit's LimitNOFILE: room for the largest number of print-record workers.
inline constexpr std::uint64_t kUnitDescriptorLimit = 16384;

// Where and how the service is registered with the service manager (systemd).
struct UnitInstallation {
    std::filesystem::path unitDirectory;      // the unit file goes here
    std::filesystem::path executable;         // absolute; the unit's ExecStart
    std::optional<std::string> registryPath;  // absolute; passed on as HALVANE_REGISTRY
    std::filesystem::path systemctl;          // empty: systemctl is not run
    std::string serviceUser = std::string(kServiceUser);
    // DatabasePath, absolute. Its folder is the one place the sandboxed service may write (the
    // database, its write-ahead log, the spool file beside it). Empty: no such place.
    std::filesystem::path database;
    // The group of the database folder, when another than root's: the service joins it, so that
    // the files the console creates there (write-ahead log, index) stay writable for it.
    std::string databaseGroup;
    // The settings file the service reads.
    std::filesystem::path settingsFile;
    // A port below 1024 is configured: the unit grants CAP_NET_BIND_SERVICE, nothing else.
    bool privilegedPort = false;
    // A real installation: create the service user when missing, hand it the database folder
    // and let it read the settings file. Off for units written into another folder.
    bool prepareSystem = false;
};

// From this process and its settings: $HALVANE_SYSTEMD_DIR (default /etc/systemd/system), this
// executable, $HALVANE_REGISTRY when set (made absolute: the service starts in another
// directory), DatabasePath and the ports; systemctl from PATH and the system
// preparation only when the unit goes into the default directory, so that installing
// elsewhere never touches the running service manager or the accounts of the machine.
UnitInstallation unitInstallationFromEnvironment();

// The text of Retriever.service: the service runs as serviceUser under systemd's sandbox,
// with write access to the database folder only, and LimitNOFILE=kUnitDescriptorLimit. Throws
// std::invalid_argument for an executable path systemd cannot start ($, ", \ or a control
// character) and for a folder path a unit cannot carry (", \ or a control character).
std::string unitFileText(const UnitInstallation &installation);

// With prepareSystem: creates serviceUser as a system user when missing (useradd), makes it
// the owner of the database folder and of the database's files there (their group and the
// group's rights stay, and the folder's setgid bit keeps new files in that group), and lets
// it read the settings file. Throws std::runtime_error when the folder is no place of its own
// (the root folder, a world-writable one, one owned by a person's account).
void prepareServiceAccount(const UnitInstallation &installation);

// prepareServiceAccount, then writes the unit file, replacing an older one atomically, then,
// with systemctl, runs "systemctl daemon-reload" and "systemctl enable Retriever". Throws
// std::system_error for a file-system failure and std::runtime_error for a failed systemctl or
// useradd run.
void installService(const UnitInstallation &installation);

// Runs "systemctl disable Retriever" (with systemctl), removes the unit file, then runs
// "systemctl daemon-reload". A missing unit file fails with ENOENT before anything is run.
void uninstallService(const UnitInstallation &installation);

} // namespace hvn::retriever
