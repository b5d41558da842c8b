#include "RegistryDocument.h"

#include "RegistryText.h"

namespace hvn::platform::registry {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// CRLF: the file stays in the exact form of a native registry export, so it can be moved
// to and from the tools of the format's home platform unchanged.
constexpr std::string_view kLineEnd = "\r\n";

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

} // namespace

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

std::optional<Document> parseDocument(std::string_view bytes, std::string *problem)
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

} // namespace hvn::platform::registry
