#include "time_scales.hpp"

#include <cmath>

#include <gtest/gtest.h>

// The two compiled-in instants; a wrong nesting of the fraction of the day
// or a division where a multiplication belongs moves the last digits.
TEST(MjdFromCalendar, GivesTheScenarioInstantsToTheLastDigit)
{
    EXPECT_DOUBLE_EQ(mjd_from_calendar(20, 5, 2008, 5, 14, 0.0), 54606.21805555555);
    EXPECT_DOUBLE_EQ(mjd_from_calendar(20, 5, 2008, 20, 54, 0.0), 54606.870833333334);
    EXPECT_EQ(mjd_from_calendar(20, 5, 2008, 0, 0, 0.0), 54606.0);
}

// Two-digit years, the leap day and the turn of the century: faults in the
// year offsets or in the March-based month count show up here.
TEST(MjdFromCalendar, HandlesTwoDigitYearsAndLeapDays)
{
    const double may_2008 = mjd_from_calendar(20, 5, 2008, 0, 0, 0.0);
    EXPECT_EQ(mjd_from_calendar(20, 5, 8, 0, 0, 0.0), may_2008);
    EXPECT_EQ(mjd_from_calendar(1, 1, 84, 0, 0, 0.0), mjd_from_calendar(1, 1, 2084, 0, 0, 0.0));
    EXPECT_EQ(mjd_from_calendar(1, 1, 85, 0, 0, 0.0), mjd_from_calendar(1, 1, 1985, 0, 0, 0.0));
    EXPECT_EQ(mjd_from_calendar(1, 1, 99, 0, 0, 0.0), mjd_from_calendar(1, 1, 1999, 0, 0, 0.0));
    EXPECT_EQ(mjd_from_calendar(1, 1, 1985, 0, 0, 0.0), 46066.0);  // JD 2446066.5
    EXPECT_EQ(mjd_from_calendar(1, 3, 1900, 0, 0, 0.0), 15079.0);
    EXPECT_EQ(mjd_from_calendar(29, 2, 2000, 0, 0, 0.0), 51603.0);
    EXPECT_EQ(mjd_from_calendar(1, 3, 2000, 0, 0, 0.0), 51604.0);
    EXPECT_EQ(mjd_from_calendar(1, 1, 2000, 12, 0, 0.0), MJD_J2000);
    EXPECT_EQ(mjd_from_calendar(31, 12, 2008, 0, 0, 0.0) - mjd_from_calendar(1, 1, 2008, 0, 0, 0.0), 365.0);
}

// Each step of the table holds from its own MJD inclusive; a < where <=
// belongs, or a missing row, shifts TT by a second.
TEST(TtFromUtc, StepsAtTheLeapSeconds)
{
    struct Case {
        double utc;
        double tt_minus_utc_seconds;
    };
    const Case cases[] = {
        {44238.999, 0.0},     {44239.0, 51.184},     {51178.5, 63.184},          {51179.0, 64.184},
        {53735.9999, 64.184}, {53736.0, 65.184},     {54606.21805555555, 65.184}, {60000.0, 65.184},
        {46246.9, 54.184},    {46247.0, 55.184},
    };
    for (const Case& c : cases) {
        const TerrestrialTime t = tt_from_utc(c.utc);
        EXPECT_EQ(t.tt_minus_utc_days, c.tt_minus_utc_seconds * DAYS_PER_SECOND) << c.utc;
        EXPECT_EQ(t.tt, c.utc + c.tt_minus_utc_seconds * DAYS_PER_SECOND) << c.utc;
    }
}

// The periodic term never exceeds its amplitude of 0.001658 s; the bound
// carries one rounding of the day number (about 7e-12 day near MJD 50000).
TEST(TdbFromTt, StaysWithinTheAmplitudeOfThePeriodicTerm)
{
    double largest = 0.0;
    for (double tt = 51544.5; tt < 51544.5 + 800.0; tt += 0.37) {
        largest = std::fmax(largest, std::fabs(tdb_from_tt(tt) - tt));
    }
    EXPECT_LT(largest, 0.001658 / 86400.0 + 1.0e-11);
    EXPECT_GT(largest, 0.00165 / 86400.0);
}
