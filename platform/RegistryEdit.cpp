#include "RegistryEdit.h"

#include <cstdio>

#include "RegistryText.h"

namespace hvn::platform::registry {

namespace {

constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";

std::string formatName(std::string_view name)
{
    return name.empty() ? std::string("@") : quote(name);
}

Entry makeEntry(std::string_view name, const RegValue &value)
{
    Entry entry;
    entry.isValue = true;
    entry.name = std::string(name);
    entry.value = value;
    if (value.type == RegType::Dword) {
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", value.dword);
        entry.lines.push_back(formatName(name) + "=dword:" + digits);
    } else {
        entry.lines.push_back(formatName(name) + "=" + quote(value.text));
    }
    return entry;
}

bool endsBlank(const std::vector<Entry> &entries)
{
    return !entries.empty() && !entries.back().isValue && entries.back().lines.size() == 1
        && trim(entries.back().lines.front()).empty();
}

// The last section of the key, created when absent. A parent key exists when any section
// lies below it; only parents with no section at all get one. A new section goes after the
// last section of its parent's subtree (at the end when the parent has none) and spells its
// parents as the file already does.
Section &ensureKey(Document &doc, std::string_view keyPath)
{
    std::string parentKey(kRoot);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = keyPath.find('\\', start);
        const bool last = end == std::string_view::npos;
        const std::string wanted = fullKey(keyPath.substr(0, end));
        std::optional<std::size_t> exact;
        std::optional<std::size_t> below;
        for (std::size_t i = 0; i < doc.sections.size(); ++i) {
            if (equalsNoCase(doc.sections[i].key, wanted))
                exact = i;
            else if (!below && isSameOrBelow(doc.sections[i].key, wanted))
                below = i;
        }
        if (exact) {
            parentKey = doc.sections[*exact].key;
        } else if (below && !last) {
            parentKey = doc.sections[*below].key.substr(0, wanted.size());
        } else {
            std::size_t insertAt = doc.sections.size();
            for (std::size_t i = 0; i < doc.sections.size(); ++i) {
                if (isSameOrBelow(doc.sections[i].key, parentKey))
                    insertAt = i + 1;
            }
            if (insertAt > 0 && !endsBlank(doc.sections[insertAt - 1].entries))
                doc.sections[insertAt - 1].entries.push_back(rawLine({}));
            if (insertAt == 0 && !trim(doc.preamble.back()).empty())
                doc.preamble.emplace_back();
            Section section;
            section.key = parentKey + '\\' + std::string(keyPath.substr(start, end - start));
            section.entries.push_back(rawLine('[' + section.key + ']'));
            section.entries.push_back(rawLine({}));
            parentKey = section.key;
            doc.sections.insert(doc.sections.begin() + static_cast<std::ptrdiff_t>(insertAt),
                                std::move(section));
            exact = insertAt;
        }
        if (last)
            return doc.sections[*exact];
        start = end + 1;
    }
}

} // namespace

std::string fullKey(std::string_view keyPath)
{
    std::string key(kRoot);
    key += '\\';
    key += keyPath;
    return key;
}

bool isPrintableText(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return isValidUtf8(text);
}

bool isValidKeyPath(std::string_view keyPath)
{
    return !keyPath.empty() && keyPath.front() != '\\' && keyPath.back() != '\\'
        && keyPath.find("\\\\") == std::string_view::npos && isPrintableText(keyPath);
}

std::optional<std::vector<FoundValue>> findValues(const Document &doc, std::string_view keyPath)
{
    const std::string key = fullKey(keyPath);
    bool exists = false;
    std::vector<FoundValue> found;
    for (const auto &section : doc.sections) {
        if (!isSameOrBelow(section.key, key))
            continue;
        exists = true;
        if (section.key.size() != key.size())
            continue;
        for (const auto &entry : section.entries) {
            if (!entry.isValue)
                continue;
            bool replaced = false;
            for (auto &slot : found) {
                if (equalsNoCase(*slot.name, entry.name)) {
                    slot.entry = &entry;
                    replaced = true;
                    break;
                }
            }
            if (!replaced)
                found.push_back(FoundValue{&entry.name, &entry});
        }
    }
    if (!exists)
        return std::nullopt;
    return found;
}

void setValue(Document &doc, std::string_view keyPath, std::string_view name, const RegValue &value)
{
    const std::string key = fullKey(keyPath);
    Entry *existing = nullptr;
    for (auto &section : doc.sections) {
        if (!equalsNoCase(section.key, key))
            continue;
        for (auto &entry : section.entries) {
            if (entry.isValue && equalsNoCase(entry.name, name))
                existing = &entry;
        }
    }
    if (existing) {
        *existing = makeEntry(existing->name, value);
        return;
    }
    Section &section = ensureKey(doc, keyPath);
    std::size_t insertAt = 1; // after the section's header line
    for (std::size_t i = 0; i < section.entries.size(); ++i) {
        if (section.entries[i].isValue)
            insertAt = i + 1;
    }
    section.entries.insert(section.entries.begin() + static_cast<std::ptrdiff_t>(insertAt),
                           makeEntry(name, value));
}

bool isWritable(std::string_view keyPath, std::string_view name, const RegValue &value)
{
    if (!isValidKeyPath(keyPath) || !isPrintableText(name))
        return false;
    // Only the two forms this module writes; a plain string is one quoted line, in which a
    // line break or NUL cannot stand.
    if (value.type == RegType::String)
        return isValidUtf8(value.text) && value.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    return value.type == RegType::Dword;
}

std::optional<std::string> changedText(std::string_view bytes, std::string_view keyPath, std::string_view name,
                                       const RegValue &value)
{
    auto doc = parseDocument(bytes);
    if (!doc)
        return std::nullopt;
    setValue(*doc, keyPath, name, value);
    std::string content = serialize(*doc);
    // Never replace the store with something this module could not read back.
    if (!parseDocument(content))
        return std::nullopt;
    return content;
}

} // namespace hvn::platform::registry
