#include "RegistryFile.h"

#include <cerrno>
#include <cstdlib>
#include <exception>

#include <sys/stat.h>

#include "RegistryDocument.h"
#include "RegistryEdit.h"
#include "RegistryStore.h"
#include "RegistryText.h"

namespace hvn::platform {

using namespace registry;

RegistryFile::RegistryFile(std::filesystem::path path)
    : m_path(std::move(path))
{
}

std::filesystem::path RegistryFile::defaultPath()
{
    const char *env = std::getenv("HALVANE_REGISTRY");
    if (env && *env)
        return env;
    return "/etc/halvane/registry.reg";
}

std::optional<RegValue> RegistryFile::read(std::string_view keyPath, std::string_view name) const
{
    try {
        if (!isValidKeyPath(keyPath))
            return std::nullopt;
        const auto doc = loadForRead(m_path);
        if (!doc)
            return std::nullopt;
        const auto found = findValues(*doc, keyPath);
        if (!found)
            return std::nullopt;
        for (const auto &value : *found) {
            if (equalsNoCase(*value.name, name))
                return value.entry->value;
        }
    } catch (const std::exception &) {
    }
    return std::nullopt;
}

std::optional<std::string> RegistryFile::problem() const
{
    try {
        struct stat info {};
        if (::stat(resolveLinks(m_path).c_str(), &info) != 0 && errno == ENOENT)
            return std::nullopt;
        std::string reason;
        if (loadForRead(m_path, &reason))
            return std::nullopt;
        if (reason.starts_with("line ") || reason.starts_with("the text"))
            return "the settings file " + m_path.string() + " is malformed: " + reason;
        return "cannot read the settings file " + m_path.string() + ": " + reason;
    } catch (const std::exception &e) {
        return "cannot read the settings file " + m_path.string() + ": " + e.what();
    }
}

std::optional<std::string> RegistryFile::problemIn(std::string_view bytes)
{
    std::string reason;
    if (parseDocument(bytes, &reason))
        return std::nullopt;
    return reason;
}

std::optional<RegValue> RegistryFile::valueIn(std::string_view bytes, std::string_view keyPath, std::string_view name)
{
    if (!isValidKeyPath(keyPath))
        return std::nullopt;
    const auto doc = parseDocument(bytes);
    if (!doc)
        return std::nullopt;
    const auto found = findValues(*doc, keyPath);
    if (!found)
        return std::nullopt;
    for (const auto &value : *found)
        if (equalsNoCase(*value.name, name))
            return value.entry->value;
    return std::nullopt;
}

std::optional<std::string> RegistryFile::withValue(std::string_view bytes, std::string_view keyPath,
                                                   std::string_view name, const RegValue &value)
{
    if (!isWritable(keyPath, name, value))
        return std::nullopt;
    return changedText(bytes, keyPath, name, value);
}

bool RegistryFile::keyExists(std::string_view keyPath) const
{
    try {
        if (!isValidKeyPath(keyPath))
            return false;
        const auto doc = loadForRead(m_path);
        return doc && findValues(*doc, keyPath).has_value();
    } catch (const std::exception &) {
        return false;
    }
}

std::optional<std::vector<std::pair<std::string, RegValue>>>
RegistryFile::values(std::string_view keyPath) const
{
    try {
        if (!isValidKeyPath(keyPath))
            return std::nullopt;
        const auto doc = loadForRead(m_path);
        if (!doc)
            return std::nullopt;
        const auto found = findValues(*doc, keyPath);
        if (!found)
            return std::nullopt;
        std::vector<std::pair<std::string, RegValue>> result;
        result.reserve(found->size());
        for (const auto &value : *found)
            result.emplace_back(*value.name, value.entry->value);
        return result;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

bool RegistryFile::writeString(std::string_view keyPath, std::string_view name, std::string_view value)
{
    try {
        return writeValue(m_path, keyPath, name, RegValue{RegType::String, std::string(value), 0});
    } catch (const std::exception &) {
        return false;
    }
}

bool RegistryFile::writeDword(std::string_view keyPath, std::string_view name, std::uint32_t value)
{
    try {
        return writeValue(m_path, keyPath, name, RegValue{RegType::Dword, {}, value});
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace hvn::platform
