#include "RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace hvn::platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRoot = "HKEY_LOCAL_MACHINE";
// CRLF: the file stays in the exact form of a native registry export, so it can be moved
// to and from the tools of the format's home platform unchanged.
constexpr std::string_view kLineEnd = "\r\n";
// A settings file is a few kilobytes; anything this large is not one.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

// ---------------------------------------------------------------------------------------
// Text helpers

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// True when key is base itself or lies below it.
bool isSameOrBelow(std::string_view key, std::string_view base)
{
    if (!startsWithNoCase(key, base))
        return false;
    return key.size() == base.size() || key[base.size()] == '\\';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s)
{
    return trimRight(trimLeft(s));
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

void appendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the UTF-8 sequence at s[i], advancing i; nullopt on an invalid, overlong or
// surrogate sequence.
std::optional<char32_t> nextCodePoint(std::string_view s, std::size_t &i)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + extra >= s.size())
        return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    i += extra + 1;
    return cp;
}

bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        if (!nextCodePoint(s, i))
            return false;
    }
    return true;
}

// UTF-16LE bytes to UTF-8. With lenient, an unpaired surrogate or an odd last byte becomes
// U+FFFD; otherwise either makes the result nullopt.
std::optional<std::string> utf16leToUtf8(std::string_view bytes, bool lenient)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t k) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k])
                                     | (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    };
    for (std::size_t k = 0; k < units; ++k) {
        const char16_t u = unitAt(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
            const char16_t low = unitAt(k + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
                ++k;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (!lenient)
                return std::nullopt;
            appendUtf8(out, 0xFFFD);
            continue;
        }
        appendUtf8(out, u);
    }
    if (bytes.size() % 2 != 0) {
        if (!lenient)
            return std::nullopt;
        appendUtf8(out, 0xFFFD);
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Document model: the file as sections of lines, so that everything a write does not touch
// is written back exactly as it was read.

struct Entry {
    std::vector<std::string> lines; // physical lines, without line ends
    bool isValue = false;
    std::string name; // value name, unescaped; empty for the default value "@"
    RegValue value;
};

struct Section {
    std::string key; // the text between the brackets
    std::vector<Entry> entries;
};

struct Document {
    std::vector<std::string> preamble; // the header line, then comments and blank lines
    std::vector<Section> sections;
};

// A key header, comment or blank line.
Entry rawLine(std::string line)
{
    Entry entry;
    entry.lines.push_back(std::move(line));
    return entry;
}

std::string quote(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// Reads a quoted text starting at s[pos] == '"'; accepts only the escapes \\ and \".
std::optional<std::string> unquote(std::string_view s, std::size_t &pos)
{
    std::string out;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return std::nullopt;
            out += s[++i];
            continue;
        }
        out += c;
    }
    return std::nullopt;
}

std::optional<std::string> parseHexBytes(std::string_view body)
{
    std::string bytes;
    body = trim(body);
    if (body.empty())
        return bytes;
    while (true) {
        const std::size_t comma = body.find(',');
        const std::string_view token = trim(body.substr(0, comma));
        if (token.size() != 2 || hexDigit(token[0]) < 0 || hexDigit(token[1]) < 0)
            return std::nullopt;
        bytes += static_cast<char>(hexDigit(token[0]) * 16 + hexDigit(token[1]));
        if (comma == std::string_view::npos)
            return bytes;
        body.remove_prefix(comma + 1);
    }
}

// Text of a string value stored as hex: UTF-16LE, ending at the first NUL.
std::string textFromUtf16(std::string_view bytes)
{
    std::string text = *utf16leToUtf8(bytes, true);
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        text.resize(nul);
    return text;
}

// Parses one value, starting at lines[index]; hex data may continue over the next lines,
// and index is left on the value's last line.
std::optional<Entry> parseValue(const std::vector<std::string> &lines, std::size_t &index)
{
    Entry entry;
    entry.isValue = true;
    entry.lines.push_back(lines[index]);
    const std::string_view line = trim(lines[index]);

    std::size_t pos = 0;
    if (line.front() == '@') {
        pos = 1;
    } else {
        auto name = unquote(line, pos);
        if (!name)
            return std::nullopt;
        entry.name = std::move(*name);
    }
    std::string_view data = trimLeft(line.substr(pos));
    if (data.empty() || data.front() != '=')
        return std::nullopt;
    data = trim(data.substr(1));

    if (!data.empty() && data.front() == '"') {
        std::size_t end = 0;
        auto text = unquote(data, end);
        if (!text || end != data.size())
            return std::nullopt;
        entry.value.type = RegType::String;
        entry.value.text = std::move(*text);
        return entry;
    }
    if (startsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.size() != 8)
            return std::nullopt;
        std::uint32_t value = 0;
        for (char c : digits) {
            if (hexDigit(c) < 0)
                return std::nullopt;
            value = value * 16 + static_cast<std::uint32_t>(hexDigit(c));
        }
        entry.value.type = RegType::Dword;
        entry.value.dword = value;
        return entry;
    }
    if (!startsWithNoCase(data, "hex"))
        return std::nullopt;

    data.remove_prefix(3);
    long typeNumber = 3; // plain "hex:" is binary data
    if (!data.empty() && data.front() == '(') {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos || close == 1 || close > 9)
            return std::nullopt;
        typeNumber = 0;
        for (char c : data.substr(1, close - 1)) {
            if (hexDigit(c) < 0)
                return std::nullopt;
            typeNumber = typeNumber * 16 + hexDigit(c);
        }
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':')
        return std::nullopt;

    std::string body(data.substr(1));
    while (!trimRight(body).empty() && trimRight(body).back() == '\\') {
        body.resize(trimRight(body).size() - 1);
        if (++index >= lines.size())
            return std::nullopt; // the file ends inside the value
        entry.lines.push_back(lines[index]);
        body += trim(lines[index]);
    }
    const auto bytes = parseHexBytes(body);
    if (!bytes)
        return std::nullopt;

    // A plain string is only ever "text" and a DWORD only ever dword:. Of the hex forms only
    // hex(2) has a type of its own; every other one, hex(1) and hex(4) among them, is
    // another type, so a reader of the file needs nothing beyond these three forms.
    if (typeNumber == 2) {
        entry.value.type = RegType::ExpandString;
        entry.value.text = textFromUtf16(*bytes);
    } else {
        entry.value.type = RegType::Other;
    }
    return entry;
}

// The file's bytes as UTF-8 text: UTF-8 with or without BOM, or UTF-16LE with BOM.
std::optional<std::string> decodeFile(std::string_view bytes)
{
    std::optional<std::string> text;
    if (bytes.starts_with("\xFF\xFE")) {
        text = utf16leToUtf8(bytes.substr(2), false);
    } else {
        if (bytes.starts_with("\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        if (isValidUtf8(bytes))
            text = std::string(bytes);
    }
    if (text && text->find('\0') != std::string::npos)
        return std::nullopt;
    return text;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// A line as an error message shows it: trimmed and cut to a readable length.
std::string quotedLine(std::string_view line)
{
    constexpr std::size_t kShown = 80;
    line = trim(line);
    std::string shown(line.substr(0, kShown));
    if (line.size() > kShown) {
        // Never cut a UTF-8 sequence in two.
        while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
            shown.pop_back();
        if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0)
            shown.pop_back();
        shown += "...";
    }
    return "\"" + shown + "\"";
}

// nullopt when the bytes are not a registry export this module can read completely; problem,
// when given, then says why ("line N: ..."). Empty (or blank) content is an empty store.
std::optional<Document> parseDocument(std::string_view bytes, std::string *problem = nullptr)
{
    auto fail = [problem](std::string reason) -> std::optional<Document> {
        if (problem)
            *problem = std::move(reason);
        return std::nullopt;
    };
    const auto text = decodeFile(bytes);
    if (!text)
        return fail("the text is neither UTF-8 nor UTF-16LE with a byte order mark, or holds a NUL byte");
    const std::vector<std::string> lines = splitLines(*text);

    Document doc;
    bool blank = true;
    for (const auto &line : lines)
        blank = blank && trim(line).empty();
    if (blank) {
        doc.preamble = {std::string(kHeader), std::string()};
        return doc;
    }
    if (trim(lines.front()) != kHeader)
        return fail("line 1: " + quotedLine(lines.front()) + " is not the header \"" + std::string(kHeader) +
                    "\"");
    doc.preamble.push_back(lines.front());

    Section *current = nullptr;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i]);
        const std::size_t lineNumber = i + 1;
        if (line.empty() || line.front() == ';') {
            if (current)
                current->entries.push_back(rawLine(lines[i]));
            else
                doc.preamble.push_back(lines[i]);
        } else if (line.front() == '[') {
            if (line.size() < 3 || line.back() != ']')
                return fail("line " + std::to_string(lineNumber) + ": " + quotedLine(line) +
                            " is not a key in square brackets");
            doc.sections.push_back(Section{std::string(line.substr(1, line.size() - 2)), {}});
            current = &doc.sections.back();
            current->entries.push_back(rawLine(lines[i]));
        } else if ((line.front() == '"' || line.front() == '@') && current) {
            auto entry = parseValue(lines, i);
            if (!entry)
                return fail("line " + std::to_string(lineNumber) + ": " + quotedLine(line) +
                            " is not a value this store can read");
            current->entries.push_back(std::move(*entry));
        } else {
            return fail("line " + std::to_string(lineNumber) + ": " + quotedLine(line) +
                        (current ? " is neither a key, a value nor a comment" : " comes before the first key"));
        }
    }
    return doc;
}

std::string serialize(const Document &doc)
{
    std::string out;
    for (const auto &line : doc.preamble)
        out.append(line).append(kLineEnd);
    for (const auto &section : doc.sections) {
        for (const auto &entry : section.entries) {
            for (const auto &line : entry.lines)
                out.append(line).append(kLineEnd);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Lookup and change

std::string fullKey(std::string_view keyPath)
{
    std::string key(kRoot);
    key += '\\';
    key += keyPath;
    return key;
}

// Valid UTF-8 without control characters: a line break or NUL would break the line format.
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

// A value as the key holds it: the name as first spelled, the data of the last definition.
struct FoundValue {
    const std::string *name;
    const Entry *entry;
};

// The key's values as an import of the file would leave them; nullopt when neither the key
// nor any key below it has a section.
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

// ---------------------------------------------------------------------------------------
// File access

enum class LoadStatus { Ok, Missing, Failed };

struct Loaded {
    LoadStatus status = LoadStatus::Failed;
    std::string bytes;
    struct stat info {};
};

int flockRetry(int fd, int operation)
{
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

Loaded loadFile(const std::filesystem::path &path)
{
    Loaded result;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        result.status = errno == ENOENT ? LoadStatus::Missing : LoadStatus::Failed;
        return result;
    }
    if (::fstat(fd.get(), &result.info) != 0 || !S_ISREG(result.info.st_mode)
        || result.info.st_size > kMaxFileSize)
        return result;
    char buffer[16384];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return result;
        if (n == 0)
            break;
        result.bytes.append(buffer, static_cast<std::size_t>(n));
        if (result.bytes.size() > static_cast<std::size_t>(kMaxFileSize))
            return result;
    }
    result.status = LoadStatus::Ok;
    return result;
}

// The file a path finally names: symbolic links are followed (a dangling one to the file it
// would create), so that a write replaces the link's target and the link stays in place.
std::filesystem::path resolveLinks(std::filesystem::path path)
{
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    for (int i = 0; i < kMaxLinks; ++i) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec)))
            return path;
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec)
            return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

std::filesystem::path lockPathOf(const std::filesystem::path &path)
{
    return std::filesystem::path(path.string() + ".lock");
}

// Reads the current document under a shared lock on the lock file when one exists. A read
// never creates anything, the lock file included: without one (no write has happened yet, or
// the folder is read-only) the read goes on unlocked, which is still consistent because
// writers replace the file by rename.
std::optional<Document> loadForRead(const std::filesystem::path &linkedPath, std::string *problem = nullptr)
{
    const std::filesystem::path path = resolveLinks(linkedPath);
    auto failed = [problem](int error) -> std::optional<Document> {
        if (problem)
            *problem = std::strerror(error);
        return std::nullopt;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return failed(errno);
    const auto lockPath = lockPathOf(path);
    UniqueFd lock(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (lock && flockRetry(lock.get(), LOCK_SH) != 0)
        return failed(errno);
    errno = 0;
    Loaded loaded = loadFile(path);
    const int loadError = errno;
    lock.reset();
    if (loaded.status != LoadStatus::Ok) {
        if (problem) {
            if (S_ISDIR(info.st_mode))
                *problem = "it is a folder";
            else if (!S_ISREG(info.st_mode))
                *problem = "it is not a file";
            else if (info.st_size > kMaxFileSize)
                *problem = "it is too large for a settings file";
            else
                *problem = std::strerror(loadError ? loadError : EIO);
        }
        return std::nullopt;
    }
    return parseDocument(loaded.bytes, problem);
}

// Removes a temporary file unless it was renamed into place.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFileGuard(const TempFileGuard &) = delete;
    TempFileGuard &operator=(const TempFileGuard &) = delete;
    void release() { m_path.clear(); }

private:
    std::string m_path;
};

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Replaces path with content: temporary file in the same folder, fsync, rename, fsync of
// the folder. The file keeps the mode (and, where permitted, the owner) it had.
bool replaceFile(const std::filesystem::path &path, const std::string &content, const Loaded &old)
{
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string tempPath = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    UniqueFd fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd)
        return false;
    TempFileGuard guard(tempPath);

    const bool existed = old.status == LoadStatus::Ok;
    if (::fchmod(fd.get(), existed ? (old.info.st_mode & 07777) : 0644) != 0)
        return false;
    if (existed && (old.info.st_uid != ::geteuid() || old.info.st_gid != ::getegid())) {
        // Best effort: only a privileged writer can hand the file back to its owner.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), old.info.st_uid, old.info.st_gid);
    }
    if (!writeAll(fd.get(), content) || ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0)
        return false;
    if (::rename(tempPath.c_str(), path.c_str()) != 0)
        return false;
    guard.release();

    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
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

// The bytes of the store after the write, nullopt when the old bytes cannot be read or the
// result could not be read back.
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

bool writeValue(const std::filesystem::path &linkedPath, std::string_view keyPath, std::string_view name,
                const RegValue &value)
{
    const std::filesystem::path path = resolveLinks(linkedPath);
    if (!isWritable(keyPath, name, value))
        return false;

    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
        return false;

    const auto lockPath = lockPathOf(path);
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock)
        lock.reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock || flockRetry(lock.get(), LOCK_EX) != 0)
        return false;

    const Loaded old = loadFile(path);
    if (old.status == LoadStatus::Failed)
        return false;
    const auto content = changedText(old.status == LoadStatus::Ok ? std::string_view(old.bytes) : "", keyPath,
                                     name, value);
    if (!content)
        return false;
    if (old.status == LoadStatus::Ok && *content == old.bytes)
        return true;
    return replaceFile(path, *content, old);
}

} // namespace

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
