// The settings-file parser against any file: a file it reads takes a write, the written value
// reads back, every other value stays as it was, and a file it cannot read is never written.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "RegistryFile.h"

using hvn::platform::RegistryFile;
using hvn::platform::RegType;
using hvn::platform::RegValue;

namespace {

constexpr std::string_view kKey = "SOFTWARE\\Halvane";

bool same(const std::optional<RegValue> &a, const std::optional<RegValue> &b)
{
    if (!a || !b)
        return !a && !b;
    return a->type == b->type && a->text == b->text && a->dword == b->dword;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const bool readable = !RegistryFile::problemIn(bytes);

    for (const RegValue &value : {RegValue{RegType::Dword, {}, 1033}, RegValue{RegType::String, "C:\\\\db \"x\"", 0}}) {
        const auto written = RegistryFile::withValue(bytes, kKey, "PortNumber", value);
        if (written.has_value() != readable)
            std::abort();
        if (!written)
            continue;
        if (RegistryFile::problemIn(*written) || !same(RegistryFile::valueIn(*written, kKey, "PortNumber"), value))
            std::abort();
        for (const char *other : {"DatabasePath", "PortNumberConsole", "AgentNetworks"})
            if (!same(RegistryFile::valueIn(*written, kKey, other), RegistryFile::valueIn(bytes, kKey, other)))
                std::abort();
        if (!same(RegistryFile::valueIn(*written, "SOFTWARE\\Halvane\\ProgramSetting", "WindowTop"),
                  RegistryFile::valueIn(bytes, "SOFTWARE\\Halvane\\ProgramSetting", "WindowTop")))
            std::abort();
        // Writing the same value again changes nothing.
        if (RegistryFile::withValue(*written, kKey, "PortNumber", value) != written)
            std::abort();
    }
    return 0;
}
