#include "time_scales.hpp"

#include <cmath>

#include <gtest/gtest.h>

using namespace fieldsearch;

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

// TAI - UTC either side of the steps since 2006 (IERS Bulletin C: 34 s from
// 2009 January 1, 35 s from 2012 July 1, 36 s from 2015 July 1, 37 s from
// 2017 January 1, still 37 s in 2026) and of the first and 2006 ones;
// TT - UTC = TAI - UTC + 32.184 s. A missing or misdated row, or a < where
// <= belongs, moves TT by a second.
TEST(TtFromUtc, FollowsTheCompiledInStepsToDate)
{
    struct Case {
        int year, month, day, hour;
        double tai_minus_utc;  // s; TT is taken equal to UTC before 1972
    };
    const Case cases[] = {
        {1971, 12, 31, 23, 0}, {1972, 1, 1, 0, 10},  {2005, 12, 31, 23, 32}, {2006, 1, 1, 0, 33},
        {2008, 12, 31, 23, 33}, {2009, 1, 1, 0, 34}, {2012, 6, 30, 23, 34},  {2012, 7, 1, 0, 35},
        {2015, 6, 30, 23, 35},  {2015, 7, 1, 0, 36}, {2016, 12, 31, 23, 36}, {2017, 1, 1, 0, 37},
        {2026, 12, 7, 21, 37},
    };
    for (const Case& c : cases) {
        // One second before midnight for the days before a step.
        const double utc = mjd_from_calendar(c.day, c.month, c.year, c.hour, c.hour == 23 ? 59 : 0,
                                             c.hour == 23 ? 59.0 : 0.0);
        const double seconds = c.tai_minus_utc == 0 ? 0.0 : c.tai_minus_utc + 32.184;
        const TerrestrialTime t = tt_from_utc(utc, compiled_leap_second_table());
        EXPECT_EQ(t.tt_minus_utc_days, seconds * DAYS_PER_SECOND) << c.year << "-" << c.month;
        EXPECT_EQ(t.tt, utc + seconds * DAYS_PER_SECOND) << c.year << "-" << c.month;
    }
}

// No warning before the expiry (2027 June 28 for the compiled-in table), one
// line naming the expiry date and the TT - UTC taken from it on.
TEST(LeapSecondExpiryWarning, WarnsFromTheExpiryOn)
{
    const LeapSecondTable older{compiled_leap_second_table().steps, mjd_from_calendar(28, 6, 2026, 0, 0, 0.0)};
    struct Case {
        const LeapSecondTable* table;
        double utc;
        const char* expected;  // in the warning; nullptr for none
    };
    const Case cases[] = {
        {&compiled_leap_second_table(), mjd_from_calendar(27, 6, 2027, 23, 59, 59.0), nullptr},
        {&compiled_leap_second_table(), mjd_from_calendar(28, 6, 2027, 0, 0, 0.0), "expired on 2027-06-28;"},
        {&older, mjd_from_calendar(7, 12, 2026, 21, 30, 0.0), "expired on 2026-06-28; TT - UTC is taken as 69.184 s"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> warning = leap_second_expiry_warning(c.utc, *c.table);
        ASSERT_EQ(warning.has_value(), c.expected != nullptr) << c.utc;
        if (warning) {
            EXPECT_NE(warning->find(c.expected), std::string::npos) << *warning;
            EXPECT_EQ(warning->find('\n'), std::string::npos) << *warning;
        }
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
