#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace hvn {

// A local date and time with milliseconds, no time zone: the form of every date/time value
// in the database. Stored as text "YYYY-MM-DD HH:MM:SS.SSS" (always this width), which
// sorts and compares in time order.
struct DbDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;

    auto operator<=>(const DbDateTime &) const = default;

    // True for year 1..9999, a real calendar day, hour < 24, minute and second < 60,
    // millisecond < 1000.
    bool isValid() const;

    // "YYYY-MM-DD HH:MM:SS.SSS". Precondition: isValid().
    std::string toText() const;

    // Parses exactly the form toText() writes; nullopt for anything else or an invalid value.
    static std::optional<DbDateTime> fromText(std::string_view text);

    // The validated value, or nullopt.
    static std::optional<DbDateTime> make(int year, int month, int day, int hour = 0, int minute = 0,
                                          int second = 0, int msec = 0);

    // The local clock, to the millisecond.
    static DbDateTime now();
};

bool isLeapYear(int year);
// Days in the month, 0 for a month outside 1..12.
int daysInMonth(int year, int month);

} // namespace hvn
