#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "RegistryFile.h"

namespace hvn {

// The product key that holds the shared configuration, under the local-machine root.
inline constexpr std::string_view kProductKey = "SOFTWARE\\Halvane";
// The console's window and view settings.
inline constexpr std::string_view kProgramSettingKey = "SOFTWARE\\Halvane\\ProgramSetting";
// The CUPS agent's settings (hvnCupsAgent, written by hvnSetup agent).
inline constexpr std::string_view kCupsAgentKey = "SOFTWARE\\Halvane\\CupsAgent";

// Settings-store module of both programs. Stateless: every operation opens the store,
// does its work and closes it, so any number of instances may exist, on any thread.
// Reads never fail to the caller (a missing key or value, or a value of another type,
// gives the default); writes report failure as false and never throw.
class TdmRegistryCtl {
public:
    enum class RootKey { LocalMachine };

    // Works on the store at storePath; by default the one that $HALVANE_REGISTRY names.
    TdmRegistryCtl();
    explicit TdmRegistryCtl(std::filesystem::path storePath);

    // Plain string (REG_SZ) under SOFTWARE\Halvane; empty text otherwise.
    std::string GetRegistryString(std::string_view name) const;
    // REG_DWORD under SOFTWARE\Halvane as a signed 32-bit value; 0 otherwise.
    std::int32_t GetRegistryInteger(std::string_view name) const;
    // Writes a plain string under SOFTWARE\Halvane, creating the key.
    bool SetRegistryString(std::string_view name, std::string_view value) const;

    // REG_DWORD under the given key path; 0 otherwise.
    std::int32_t GetSettingInteger(RootKey root, std::string_view keyPath, std::string_view name) const;
    // Writes a REG_DWORD under the given key path, creating it and its parents.
    bool SetSettingInteger(RootKey root, std::string_view keyPath, std::string_view name,
                           std::int32_t value) const;

    // The value under SOFTWARE\Halvane with its type, for checks that must tell a missing
    // value from one of another type; nullopt when it is missing or the store unreadable.
    std::optional<platform::RegValue> GetRegistryValue(std::string_view name) const;
    // Why the store cannot be read (platform::RegistryFile::problem()); nullopt when it can.
    std::optional<std::string> StoreProblem() const;

    const std::filesystem::path &storePath() const { return m_storePath; }

private:
    std::filesystem::path m_storePath;
};

} // namespace hvn
