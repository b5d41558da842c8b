#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text helpers of the settings file: ASCII case folding as the registry compares names,
// trimming, hex digits, and the UTF-8 and UTF-16LE checks and conversions the file's
// encodings need. Pure functions; thread safe.
namespace hvn::platform::registry {

char asciiLower(char c);

bool equalsNoCase(std::string_view a, std::string_view b);

bool startsWithNoCase(std::string_view text, std::string_view prefix);

// True when key is base itself or lies below it.
bool isSameOrBelow(std::string_view key, std::string_view base);

std::string_view trimLeft(std::string_view s);

std::string_view trimRight(std::string_view s);

std::string_view trim(std::string_view s);

// The value of a hexadecimal digit of either case, -1 for any other character.
int hexDigit(char c);

// True when s is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view s);

// UTF-16LE bytes to UTF-8. With lenient, an unpaired surrogate or an odd last byte becomes
// U+FFFD; otherwise either makes the result nullopt.
std::optional<std::string> utf16leToUtf8(std::string_view bytes, bool lenient);

} // namespace hvn::platform::registry
