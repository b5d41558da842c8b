#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "DbDateTime.h"

namespace hvn::retriever::record {

// The fixed-width fields of a print-record body (the bytes between STX and ETX). Positions are
// 1-based body positions; widths count bytes. Text is CP932 on the wire.
struct Field {
    std::size_t position;
    std::size_t width;
};

inline constexpr std::size_t kBodySize = 158;

inline constexpr Field kYear{1, 4};
inline constexpr Field kMonth{5, 2};
inline constexpr Field kDay{7, 2};
inline constexpr Field kHour{9, 2};
inline constexpr Field kMinute{11, 2};
inline constexpr Field kSecond{13, 2};
inline constexpr Field kMillisecond{15, 4};
inline constexpr Field kDocumentPages{19, 4};
inline constexpr Field kSidesOfPaper{23, 4};
inline constexpr Field kSheetsOfPaper{27, 4};
inline constexpr Field kPrinterName{31, 64};
inline constexpr Field kUserName{95, 32};
inline constexpr Field kComputerName{127, 32};

// The field's bytes; a field that runs past the end of a short body takes only the bytes
// present, and one wholly past the end is empty.
std::string_view raw(std::string_view body, Field field);

// Cuts every leading and trailing byte of value 0x20 or less (blanks and control bytes).
// No CP932 trail byte is that small, so this never splits a character.
std::string_view trim(std::string_view bytes);

// The field trimmed and decoded from CP932 to UTF-8; invalid bytes become U+FFFD. Text is
// decoded here, where it is cut from the body, so everything past this point is UTF-8.
std::string text(std::string_view body, Field field);

// A whole decimal number right-aligned in its field: leading blanks or zeros, an optional
// sign, then digits to the end of the field. Trailing blanks, an empty field or any other
// byte make it invalid (nullopt).
std::optional<int> number(std::string_view field);

// The job's date and time from body positions 1 to 18; nullopt when a part is not a number
// or the parts do not form a valid date and time of day.
std::optional<DbDateTime> dateTime(std::string_view body);

} // namespace hvn::retriever::record
