#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RegistryFile.h"

// The settings file as a document of sections of lines, so that everything a write does not
// touch is written back exactly as it was read. Parsing and writing out; no file access.
namespace hvn::platform::registry {

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
Entry rawLine(std::string line);

// text in double quotes, with \\ and \" escaped.
std::string quote(std::string_view text);

// nullopt when the bytes are not a registry export this module can read completely; problem,
// when given, then says why ("line N: ..."). Empty (or blank) content is an empty store.
std::optional<Document> parseDocument(std::string_view bytes, std::string *problem = nullptr);

// The document's lines, each ended by CRLF.
std::string serialize(const Document &doc);

} // namespace hvn::platform::registry
