#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace hvn::setup {

inline constexpr std::uint16_t kDefaultPort = 1033;
inline constexpr std::uint16_t kDefaultConsolePort = 1034;

struct InitOptions {
    std::filesystem::path database;
    std::uint16_t port = kDefaultPort;
    std::uint16_t consolePort = kDefaultConsolePort;
    // AgentNetworks in canonical form; nullopt leaves the value as it is, empty text allows
    // every address again.
    std::optional<std::string> agentNetworks;
};

// What initDatabase() found or did.
enum class DatabaseState { Created, Existing };

// Creates the database file with its four tables, indexes and month totals when it does not
// exist (its folder too), or checks that an existing file is a database with the four tables
// and brings it up to date in one transaction (missing indexes, the month totals made from its
// records), writing a line to progress before each long step and changing no record. Throws
// std::runtime_error with a one-line reason on failure; a file that is not ours is never
// modified.
DatabaseState initDatabase(const std::filesystem::path &database, std::ostream &progress);

// Writes DatabasePath, PortNumber, PortNumberConsole and, when given, AgentNetworks into the
// settings store at storePath (creating its folder). Throws std::runtime_error when the store
// cannot be written.
void writeSettings(const std::filesystem::path &storePath, const InitOptions &options);

// What hvnSetup agent writes under SOFTWARE\Halvane\CupsAgent.
struct AgentOptions {
    std::string host;
    std::uint16_t port = kDefaultPort;
    std::optional<std::filesystem::path> spoolFolder; // nullopt leaves the value as it is
};

// Writes ServiceHost, ServicePort and, when given, SpoolFolder for the CUPS agent into the
// settings store at storePath (creating its folder). Throws std::runtime_error when the store
// cannot be written.
void writeAgentSettings(const std::filesystem::path &storePath, const AgentOptions &options);

// The command line of hvnSetup: "init --database PATH [--port N] [--console-port M]
// [--agent-networks LIST]", "agent --host H --port P [--spool DIR]" and "show".
// Returns the exit status; messages go to out (success) and err (failure).
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace hvn::setup
