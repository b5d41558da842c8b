#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hvn::platform {

// The settings store: one text file in the registry export format
// ("Windows Registry Editor Version 5.00") that stands for the local-machine root.
//
// Key paths are given relative to that root with backslashes ("SOFTWARE\\Halvane");
// in the file they appear as "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]". Key paths and
// value names compare without regard to ASCII letter case, as the registry's do.
//
// Reads take a shared flock on "<file>.lock" when it exists and never create anything, the
// lock file included. Writes take an exclusive flock on it (creating it), create the file,
// the key and its missing parent keys, keep every other key and value (including ones of
// types this module does not understand) as they were, and replace the file atomically
// (temporary file in the same folder, then rename).
// A file that cannot be parsed reads as empty and is never overwritten. A path that is a
// symbolic link is read and written through the link: the link stays, its target is replaced.
//
// Thread safe: every call opens, locks and closes the file on its own; nothing is cached.

enum class RegType {
    String,       // REG_SZ:        "Name"="text"
    Dword,        // REG_DWORD:     "Name"=dword:0000040a
    ExpandString, // REG_EXPAND_SZ: "Name"=hex(2):..  (UTF-16LE bytes, NUL-terminated)
    Other,        // any other hex(n): or hex: value, kept verbatim
};

struct RegValue {
    RegType type = RegType::Other;
    std::string text;        // String and ExpandString: the text as UTF-8
    std::uint32_t dword = 0; // Dword
};

class RegistryFile {
public:
    explicit RegistryFile(std::filesystem::path path);

    // $HALVANE_REGISTRY when set and non-empty, else /etc/halvane/registry.reg.
    static std::filesystem::path defaultPath();

    const std::filesystem::path &path() const { return m_path; }

    // The value, or nullopt when the file, the key or the value is missing, or the file
    // is malformed.
    std::optional<RegValue> read(std::string_view keyPath, std::string_view name) const;

    // Why the file cannot be read, one line naming the file: "the settings file F is
    // malformed: line N: ..." or "cannot read the settings file F: <reason>". nullopt when it
    // reads well or does not exist (a missing file is an empty store).
    std::optional<std::string> problem() const;

    // True when the key is present in a readable file.
    bool keyExists(std::string_view keyPath) const;

    // Every value of the key, in file order; nullopt when the key is missing.
    std::optional<std::vector<std::pair<std::string, RegValue>>> values(std::string_view keyPath) const;

    // Write one value. False on any failure (unwritable folder, malformed existing file,
    // lock or rename failure, a string with a line break or NUL, which the one-line
    // "Name"="text" form cannot hold); never throws.
    bool writeString(std::string_view keyPath, std::string_view name, std::string_view value);
    bool writeDword(std::string_view keyPath, std::string_view name, std::uint32_t value);

    // The same parsing and changing on text in memory, without a file: what problem() would
    // say of a file holding bytes (nullopt: readable), the value a read would give, and the
    // bytes a write would leave (nullopt where the write would be refused).
    static std::optional<std::string> problemIn(std::string_view bytes);
    static std::optional<RegValue> valueIn(std::string_view bytes, std::string_view keyPath, std::string_view name);
    static std::optional<std::string> withValue(std::string_view bytes, std::string_view keyPath,
                                                std::string_view name, const RegValue &value);

private:
    std::filesystem::path m_path;
};

} // namespace hvn::platform
