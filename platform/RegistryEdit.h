#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryDocument.h"

// Looking up and changing values in a parsed document: key paths relative to the
// local-machine root, which values a key holds, and the one change a write makes.
namespace hvn::platform::registry {

// A value as the key holds it: the name as first spelled, the data of the last definition.
struct FoundValue {
    const std::string *name;
    const Entry *entry;
};

// The key as its section header spells it: HKEY_LOCAL_MACHINE, a backslash, keyPath.
std::string fullKey(std::string_view keyPath);

// Valid UTF-8 without control characters: a line break or NUL would break the line format.
bool isPrintableText(std::string_view text);

// Non-empty, printable, and no empty key name before, between or after backslashes.
bool isValidKeyPath(std::string_view keyPath);

// The key's values as an import of the file would leave them; nullopt when neither the key
// nor any key below it has a section.
std::optional<std::vector<FoundValue>> findValues(const Document &doc, std::string_view keyPath);

// Sets the value: replaces the key's last definition of the name, or adds it after the
// key's last value, creating the key and its missing parents where needed.
void setValue(Document &doc, std::string_view keyPath, std::string_view name, const RegValue &value);

// True when the value may be written: a valid key path and name, and a DWORD or a one-line
// UTF-8 string.
bool isWritable(std::string_view keyPath, std::string_view name, const RegValue &value);

// The bytes of the store after the write, nullopt when the old bytes cannot be read or the
// result could not be read back.
std::optional<std::string> changedText(std::string_view bytes, std::string_view keyPath, std::string_view name,
                                       const RegValue &value);

} // namespace hvn::platform::registry
