#include "period/ReportingPeriod.h"

namespace hvn::console {

namespace {

// Floor division, so that negative month counts carry into earlier years.
int floorDiv(int a, int b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

DbDateTime firstDay(YearMonth ym)
{
    DbDateTime value;
    value.year = ym.year;
    value.month = ym.month;
    value.day = 1;
    return value;
}

} // namespace

YearMonth normalizedMonth(int year, int month)
{
    const int zeroBased = month - 1;
    const int carry = floorDiv(zeroBased, 12);
    return {year + carry, zeroBased - carry * 12 + 1};
}

YearMonth periodFirstMonth(int kikanIndex, YearMonth last)
{
    if (kikanIndex >= 0 && kikanIndex <= 10) {
        const int month = last.month - kikanIndex;
        if (month > 0)
            return {last.year, month};
        return {last.year - 1, month + 12};
    }
    if (kikanIndex == 11 || kikanIndex == 12) {
        const int years = kikanIndex - 10;
        if (last.month + 1 == 13)
            return {last.year - years + 1, 1};
        return {last.year - years, last.month + 1};
    }
    return {};
}

DateRange periodDateRange(YearMonth first, YearMonth last, const DbDateTime &now)
{
    DateRange range;
    if (first.month == 0) {
        range.start = firstDay({2001, 1});
        range.end = now;
        range.end.year += 1;
        if (range.end.month == 2 && range.end.day > daysInMonth(range.end.year, 2))
            range.end.day = daysInMonth(range.end.year, 2);
        return range;
    }
    range.start = firstDay(normalizedMonth(first.year, first.month));
    const YearMonth end = normalizedMonth(last.year, last.month);
    range.end = firstDay(normalizedMonth(end.year, end.month + 1));
    return range;
}

} // namespace hvn::console
