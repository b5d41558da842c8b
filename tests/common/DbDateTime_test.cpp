#include "DbDateTime.h"

#include <gtest/gtest.h>

namespace hvn {
namespace {

struct DateCase {
    int y, mo, d, h, mi, s, ms;
    bool valid;
};

class DateValidity : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateValidity, AcceptsOnlyRealCalendarDaysAndTimes)
{
    const DateCase c = GetParam();
    EXPECT_EQ(DbDateTime::make(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms).has_value(), c.valid)
        << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s << "." << c.ms;
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, DateValidity,
    ::testing::Values(DateCase{2004, 4, 1, 9, 30, 15, 250, true}, DateCase{1, 1, 1, 0, 0, 0, 0, true},
                      DateCase{9999, 12, 31, 23, 59, 59, 999, true}, DateCase{0, 1, 1, 0, 0, 0, 0, false},
                      DateCase{10000, 1, 1, 0, 0, 0, 0, false}, DateCase{2004, 0, 1, 0, 0, 0, 0, false},
                      DateCase{2004, 13, 1, 0, 0, 0, 0, false}, DateCase{2004, 1, 0, 0, 0, 0, 0, false},
                      DateCase{2004, 1, 32, 0, 0, 0, 0, false}, DateCase{2004, 4, 31, 0, 0, 0, 0, false},
                      DateCase{2004, 2, 29, 0, 0, 0, 0, true}, DateCase{2005, 2, 29, 0, 0, 0, 0, false},
                      DateCase{2000, 2, 29, 0, 0, 0, 0, true}, DateCase{1900, 2, 29, 0, 0, 0, 0, false},
                      DateCase{2004, 1, 1, 24, 0, 0, 0, false}, DateCase{2004, 1, 1, 0, 60, 0, 0, false},
                      DateCase{2004, 1, 1, 0, 0, 60, 0, false}, DateCase{2004, 1, 1, 0, 0, 0, 1000, false},
                      DateCase{2004, 1, 1, -1, 0, 0, 0, false}, DateCase{2004, 1, 1, 0, 0, 0, -1, false}));

TEST(DbDateTimeText, WritesFixedWidthWithMilliseconds)
{
    EXPECT_EQ(DbDateTime::make(2004, 4, 1, 9, 30, 15, 250)->toText(), "2004-04-01 09:30:15.250");
    EXPECT_EQ(DbDateTime::make(1, 1, 1)->toText(), "0001-01-01 00:00:00.000");
}

TEST(DbDateTimeText, RoundTripsAndRejectsOtherForms)
{
    const auto t = DbDateTime::make(2026, 12, 31, 23, 59, 59, 7);
    EXPECT_EQ(DbDateTime::fromText(t->toText()), t);
    for (const char *bad : {"2004-04-01 09:30:15", "2004-04-01T09:30:15.250", "2004/04/01 09:30:15.250",
                            "2004-02-30 00:00:00.000", "2004-04-01 24:00:00.000", " 2004-04-01 09:30:15.25",
                            "2004-04-01 09:30:15.2500", "", "abcd-ef-gh ij:kl:mn.opq"})
        EXPECT_FALSE(DbDateTime::fromText(bad).has_value()) << bad;
}

TEST(DbDateTimeText, TextOrderIsTimeOrder)
{
    const auto a = DbDateTime::make(999, 12, 31, 23, 59, 59, 999);
    const auto b = DbDateTime::make(2004, 1, 1, 0, 0, 0, 0);
    const auto c = DbDateTime::make(2004, 1, 1, 0, 0, 0, 1);
    const auto d = DbDateTime::make(2004, 1, 1, 10, 0, 0, 0);
    EXPECT_LT(a->toText(), b->toText());
    EXPECT_LT(b->toText(), c->toText());
    EXPECT_LT(c->toText(), d->toText());
    EXPECT_LT(*a, *b);
    EXPECT_LT(*c, *d);
}

TEST(DbDateTimeNow, IsAValidLocalTime)
{
    EXPECT_TRUE(DbDateTime::now().isValid());
}

} // namespace
} // namespace hvn
