#pragma once

#include "DbDateTime.h"

namespace hvn::console {

// Month arithmetic of the reporting period chosen in the main window's toolbar: a length
// (the item index of cmbKikan) and the last month (year and month). Pure functions.

inline constexpr int kKikanItemCount = 14;
inline constexpr int kKikanAll = 13; // "すべて"

struct YearMonth {
    int year = 0;
    int month = 0; // 1..12; 0 together with year 0 stands for "everything"

    bool operator==(const YearMonth &) const = default;
};

// The month carried into 1..12, moving the year by whole years (13 -> January of the next
// year, 0 -> December of the year before).
YearMonth normalizedMonth(int year, int month);

// The first month of the period: k + 1 months for k in 0..10, 12·(k − 10) months for k 11
// and 12; {0, 0} ("everything") for 13 and for any index outside 0..13.
YearMonth periodFirstMonth(int kikanIndex, YearMonth last);

// The half-open range [start, end) of the period. With first == {0, 0} it runs from
// 1 January 2001 to `now` one year on (28 February when `now` is 29 February). Otherwise
// from day 1 of the first month to day 1 of the month after the last one. Months outside
// 1..12 are carried into the year first, so the result is always a valid pair of dates.
struct DateRange {
    DbDateTime start;
    DbDateTime end;
};
DateRange periodDateRange(YearMonth first, YearMonth last, const DbDateTime &now);

} // namespace hvn::console
