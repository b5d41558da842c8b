#include "Dmregistry.h"

#include <exception>

#include "RegistryFile.h"

namespace hvn {

using platform::RegistryFile;
using platform::RegType;

namespace {

// A REG_DWORD reinterpreted as signed, so negative window positions round-trip; 0 for
// anything else.
std::int32_t readDword(const std::filesystem::path &store, std::string_view keyPath,
                       std::string_view name) noexcept
{
    try {
        const auto value = RegistryFile(store).read(keyPath, name);
        if (value && value->type == RegType::Dword)
            return static_cast<std::int32_t>(value->dword);
    } catch (const std::exception &) {
    }
    return 0;
}

} // namespace

TdmRegistryCtl::TdmRegistryCtl()
    : m_storePath(RegistryFile::defaultPath())
{
}

TdmRegistryCtl::TdmRegistryCtl(std::filesystem::path storePath)
    : m_storePath(std::move(storePath))
{
}

std::string TdmRegistryCtl::GetRegistryString(std::string_view name) const
{
    try {
        const auto value = RegistryFile(m_storePath).read(kProductKey, name);
        if (value && value->type == RegType::String)
            return value->text;
    } catch (const std::exception &) {
    }
    return {};
}

std::int32_t TdmRegistryCtl::GetRegistryInteger(std::string_view name) const
{
    return readDword(m_storePath, kProductKey, name);
}

std::optional<platform::RegValue> TdmRegistryCtl::GetRegistryValue(std::string_view name) const
{
    try {
        return RegistryFile(m_storePath).read(kProductKey, name);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

std::optional<std::string> TdmRegistryCtl::StoreProblem() const
{
    return RegistryFile(m_storePath).problem();
}

bool TdmRegistryCtl::SetRegistryString(std::string_view name, std::string_view value) const
{
    try {
        return RegistryFile(m_storePath).writeString(kProductKey, name, value);
    } catch (const std::exception &) {
        return false;
    }
}

std::int32_t TdmRegistryCtl::GetSettingInteger(RootKey root, std::string_view keyPath,
                                               std::string_view name) const
{
    // The store holds the local-machine root only.
    if (root != RootKey::LocalMachine)
        return 0;
    return readDword(m_storePath, keyPath, name);
}

bool TdmRegistryCtl::SetSettingInteger(RootKey root, std::string_view keyPath, std::string_view name,
                                       std::int32_t value) const
{
    if (root != RootKey::LocalMachine)
        return false;
    try {
        return RegistryFile(m_storePath).writeDword(keyPath, name, static_cast<std::uint32_t>(value));
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace hvn
