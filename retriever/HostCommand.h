#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hvn::retriever {

// What the executable was asked to do by its command line.
enum class HostAction { Run, Install, Uninstall };

struct HostCommand {
    HostAction action = HostAction::Run;
    bool silent = false; // no success message after INSTALL or UNINSTALL
};

// Reads the switches INSTALL, UNINSTALL and SILENT, each written with a leading "/" or "-"
// in any letter case. No switch runs the service. Throws std::invalid_argument for any other
// argument and for INSTALL together with UNINSTALL.
HostCommand parseHostCommand(const std::vector<std::string> &arguments);

inline constexpr std::string_view kHostUsage = "usage: hvnRetriever [/INSTALL | /UNINSTALL] [/SILENT]";

// The host's messages. errorText is the system's text for the failure (strerror).
inline constexpr std::string_view kInstalledMessage = "サービスを登録しました。";
inline constexpr std::string_view kUninstalledMessage = "サービスの登録を解除しました。";
std::string installFailedMessage(std::string_view errorText);
std::string uninstallFailedMessage(std::string_view errorText);

// The operations whose failure the host writes to the event log.
enum class ServiceOperation { Start, Run, Stop, Pause, Continue, Interrogate, Shutdown };

// "サービス失敗 <operation word>: <errorText>".
std::string serviceFailureEntry(ServiceOperation operation, std::string_view errorText);

} // namespace hvn::retriever
