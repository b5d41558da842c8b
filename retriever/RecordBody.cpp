#include "RecordBody.h"

#include <algorithm>

#include "AnsiCodePage.h"

namespace hvn::retriever::record {

std::string_view raw(std::string_view body, Field field)
{
    const std::size_t offset = field.position - 1;
    if (offset >= body.size())
        return {};
    return body.substr(offset, field.width);
}

std::string_view trim(std::string_view bytes)
{
    auto isPadding = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!bytes.empty() && isPadding(bytes.front()))
        bytes.remove_prefix(1);
    while (!bytes.empty() && isPadding(bytes.back()))
        bytes.remove_suffix(1);
    return bytes;
}

std::string text(std::string_view body, Field field)
{
    const std::string_view bytes = trim(raw(body, field));
    // CP932 keeps ASCII as it is, so most names need no conversion.
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(bytes) : platform::cp932ToUtf8(bytes);
}

std::optional<int> number(std::string_view field)
{
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i == field.size())
        return std::nullopt;
    long value = 0;
    for (; i < field.size(); ++i) {
        const char c = field[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 1'000'000'000L)
            return std::nullopt; // far beyond any field width; keeps the arithmetic in range
    }
    return static_cast<int>(negative ? -value : value);
}

std::optional<DbDateTime> dateTime(std::string_view body)
{
    const std::optional<int> year = number(raw(body, kYear));
    const std::optional<int> month = number(raw(body, kMonth));
    const std::optional<int> day = number(raw(body, kDay));
    const std::optional<int> hour = number(raw(body, kHour));
    const std::optional<int> minute = number(raw(body, kMinute));
    const std::optional<int> second = number(raw(body, kSecond));
    const std::optional<int> msec = number(raw(body, kMillisecond));
    if (!year || !month || !day || !hour || !minute || !second || !msec)
        return std::nullopt;
    return DbDateTime::make(*year, *month, *day, *hour, *minute, *second, *msec);
}

} // namespace hvn::retriever::record
