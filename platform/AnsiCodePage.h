#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hvn::platform {

// The agents' texts arrive in the Japanese ANSI code page, CP932 (Shift-JIS with the
// vendor extensions). These convert between it and UTF-8 through glibc iconv.
// Thread safe: each thread keeps its own conversion descriptors.

// Decodes CP932 bytes to UTF-8. Bytes that do not form a valid character, including a
// lead byte cut off at the end, each become U+FFFD; the rest of the text is kept.
std::string cp932ToUtf8(std::string_view bytes);

// Encodes UTF-8 text to CP932. nullopt when the text is not valid UTF-8 or holds a
// character that CP932 cannot represent.
std::optional<std::string> utf8ToCp932(std::string_view text);

} // namespace hvn::platform
