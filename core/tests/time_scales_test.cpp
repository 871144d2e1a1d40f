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

// TAI - UTC on either side of steps old and new (IERS Bulletin C: 10 s from
// 1972, 19 s from 1980, 33 s from 2006, then 34 s from 2009 January 1, 35 s
// from 2012 July 1, 36 s from 2015 July 1, 37 s from 2017 January 1, still
// 37 s in 2026); TT - UTC = TAI - UTC + 32.184 s. A missing or misdated row,
// or a < where <= belongs, moves TT by a second.
TEST(TtFromUtc, FollowsTheCompiledInStepsToDate)
{
    struct Case {
        int year, month, day, hour, minute;
        double second;
        double tai_minus_utc;  // s; 0 for TT taken equal to UTC before 1972
    };
    const Case cases[] = {
        {1971, 12, 31, 23, 59, 59.0, 0},  {1972, 1, 1, 0, 0, 0.0, 10},  {1979, 12, 31, 23, 59, 59.0, 18},
        {1980, 1, 1, 0, 0, 0.0, 19},      {2005, 12, 31, 23, 59, 59.0, 32}, {2006, 1, 1, 0, 0, 0.0, 33},
        {2008, 5, 20, 5, 14, 0.0, 33},    {2008, 12, 31, 23, 59, 59.0, 33}, {2009, 1, 1, 0, 0, 0.0, 34},
        {2012, 6, 30, 23, 59, 59.0, 34},  {2012, 7, 1, 0, 0, 0.0, 35},  {2015, 6, 30, 23, 59, 59.0, 35},
        {2015, 7, 1, 0, 0, 0.0, 36},      {2016, 12, 31, 23, 59, 59.0, 36}, {2017, 1, 1, 0, 0, 0.0, 37},
        {2026, 12, 7, 21, 30, 0.0, 37},   {2027, 6, 27, 12, 0, 0.0, 37},
    };
    for (const Case& c : cases) {
        const double utc = mjd_from_calendar(c.day, c.month, c.year, c.hour, c.minute, c.second);
        const double expected_seconds = c.tai_minus_utc == 0 ? 0.0 : c.tai_minus_utc + 32.184;
        const TerrestrialTime t = tt_from_utc(utc, compiled_leap_second_table());
        EXPECT_EQ(t.tt_minus_utc_days, expected_seconds * DAYS_PER_SECOND) << c.year << "-" << c.month;
        EXPECT_EQ(t.tt, utc + expected_seconds * DAYS_PER_SECOND) << c.year << "-" << c.month;
    }
    EXPECT_EQ(tt_from_utc(61000.0, compiled_leap_second_table()).tt_minus_utc_days * 86400.0, 69.184);
}

// No warning before the expiry (2027 June 28 for the compiled-in table), one
// line naming the expiry date and the TT - UTC taken from it on; a wrong
// comparison or a wrong calendar date shows here.
TEST(LeapSecondExpiryWarning, WarnsFromTheExpiryOn)
{
    const LeapSecondTable older{compiled_leap_second_table().steps, mjd_from_calendar(28, 6, 2026, 0, 0, 0.0)};
    struct Case {
        const LeapSecondTable* table;
        double utc;
        const char* expected;  // in the warning; nullptr for none
    };
    const Case cases[] = {
        {&compiled_leap_second_table(), mjd_from_calendar(7, 12, 2026, 21, 30, 0.0), nullptr},
        {&compiled_leap_second_table(), mjd_from_calendar(27, 6, 2027, 23, 59, 59.0), nullptr},
        {&compiled_leap_second_table(), mjd_from_calendar(28, 6, 2027, 0, 0, 0.0), "expired on 2027-06-28"},
        {&older, mjd_from_calendar(7, 12, 2026, 21, 30, 0.0), "expired on 2026-06-28; TT - UTC is taken as 69.184 s"},
        {&older, mjd_from_calendar(20, 5, 2008, 5, 14, 0.0), nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> warning = leap_second_expiry_warning(c.utc, *c.table);
        if (c.expected == nullptr) {
            EXPECT_FALSE(warning) << c.utc;
            continue;
        }
        ASSERT_TRUE(warning) << c.utc;
        EXPECT_NE(warning->find(c.expected), std::string::npos) << *warning;
        EXPECT_EQ(warning->find('\n'), std::string::npos) << *warning;
    }
}

// Calendar dates of MJDs by definition (MJD 0 is 1858 November 17) and of
// J2000.0 (MJD 51544.5), across a leap day and a century year.
TEST(CalendarDateFromMjd, MatchesKnownDates)
{
    struct Case {
        double mjd;
        int year, month, day;
    };
    const Case cases[] = {
        {0.0, 1858, 11, 17},   {15079.0, 1900, 3, 1},  {51544.5, 2000, 1, 1},  {51603.99, 2000, 2, 29},
        {51604.0, 2000, 3, 1}, {57753.9, 2016, 12, 31}, {61584.0, 2027, 6, 28}, {-1.0, 1858, 11, 16},
    };
    for (const Case& c : cases) {
        const CalendarDate d = calendar_date_from_mjd(c.mjd);
        EXPECT_EQ(d.year, c.year) << c.mjd;
        EXPECT_EQ(d.month, c.month) << c.mjd;
        EXPECT_EQ(d.day, c.day) << c.mjd;
    }
}

// UTC keeps |UT1 - UTC| below 0.9 s: the limit itself, larger values and
// non-numbers are refused.
TEST(IsValidUt1MinusUtc, AcceptsOnlyWhatUtcAllows)
{
    for (const double dut1 : {0.0, 0.899, -0.899}) {
        EXPECT_TRUE(is_valid_ut1_minus_utc(dut1)) << dut1;
    }
    for (const double dut1 : {0.9, -0.9, 1.5, static_cast<double>(NAN), static_cast<double>(INFINITY)}) {
        EXPECT_FALSE(is_valid_ut1_minus_utc(dut1)) << dut1;
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
