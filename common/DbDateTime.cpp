#include "DbDateTime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace hvn {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool DbDateTime::isValid() const
{
    return year >= 1 && year <= 9999 && day >= 1 && day <= daysInMonth(year, month) && hour >= 0 &&
           hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && msec >= 0 &&
           msec < 1000;
}

std::string DbDateTime::toText() const
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", year, month, day, hour,
                  minute, second, msec);
    return buffer;
}

std::optional<DbDateTime> DbDateTime::fromText(std::string_view text)
{
    // Positions of the separators in "YYYY-MM-DD HH:MM:SS.SSS".
    static constexpr std::string_view kPattern = "0000-00-00 00:00:00.000";
    if (text.size() != kPattern.size())
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digitWanted = kPattern[i] == '0';
        const bool isDigit = text[i] >= '0' && text[i] <= '9';
        if (digitWanted != isDigit || (!digitWanted && text[i] != kPattern[i]))
            return std::nullopt;
    }
    auto num = [&](std::size_t pos, std::size_t len) {
        int v = 0;
        for (std::size_t i = pos; i < pos + len; ++i)
            v = v * 10 + (text[i] - '0');
        return v;
    };
    return make(num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2), num(20, 3));
}

std::optional<DbDateTime> DbDateTime::make(int year, int month, int day, int hour, int minute,
                                           int second, int msec)
{
    DbDateTime t{year, month, day, hour, minute, second, msec};
    if (!t.isValid())
        return std::nullopt;
    return t;
}

DbDateTime DbDateTime::now()
{
    using namespace std::chrono;
    const auto tp = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(tp);
    std::tm local{};
    ::localtime_r(&secs, &local);
    const auto ms = duration_cast<milliseconds>(tp.time_since_epoch()).count() % 1000;
    return DbDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

} // namespace hvn
