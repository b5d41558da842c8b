#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "RegistryDocument.h"

// The settings file on disk: reading under a shared flock on "<file>.lock", and writing
// under an exclusive one by atomic replacement (temporary file, fsync, rename). Every call
// opens, locks and closes on its own; thread safe.
namespace hvn::platform::registry {

// The file a path finally names: symbolic links are followed (a dangling one to the file it
// would create), so that a write replaces the link's target and the link stays in place.
std::filesystem::path resolveLinks(std::filesystem::path path);

// Reads the current document under a shared lock on the lock file when one exists. A read
// never creates anything, the lock file included: without one (no write has happened yet, or
// the folder is read-only) the read goes on unlocked, which is still consistent because
// writers replace the file by rename.
std::optional<Document> loadForRead(const std::filesystem::path &linkedPath, std::string *problem = nullptr);

// Writes one value into the file under the exclusive lock. False on any failure, the file
// then left as it was.
bool writeValue(const std::filesystem::path &linkedPath, std::string_view keyPath, std::string_view name,
                const RegValue &value);

} // namespace hvn::platform::registry
