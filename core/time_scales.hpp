// Calendar dates to Modified Julian Dates, and the UTC, TT and TDB time scales.
#pragma once

#include <array>

inline constexpr double MJD_J2000 = 51544.5;
// 1/36525: Julian centuries per day. T = (MJD - MJD_J2000) * CENTURIES_PER_DAY.
inline constexpr double CENTURIES_PER_DAY = 2.7378507871321012e-5;
// 1/86400: days per second.
inline constexpr double DAYS_PER_SECOND = 1.1574074074074073e-5;

// MJD of a calendar date and time of day, in the time scale of the inputs.
// Two-digit years 0..84 mean 2000..2084, 85..99 mean 1985..1999. Agrees with
// the Gregorian calendar from 1 March 1897 to 28 February 2100.
double mjd_from_calendar(int day, int month, int year, int hour, int minute, double second);

// One step of the leap-second table: from this UTC MJD on, TT - UTC is
// tt_minus_utc_seconds (TAI - UTC + 32.184 s).
struct LeapSecondStep {
    double mjd;
    double tt_minus_utc_seconds;
};

inline constexpr std::array<LeapSecondStep, 15> LEAP_SECOND_TABLE{{
    {44239.0, 51.184},  // 1980 January 1
    {44786.0, 52.184},  // 1981 July 1
    {45151.0, 53.184},  // 1982 July 1
    {45516.0, 54.184},  // 1983 July 1
    {46247.0, 55.184},  // 1985 July 1
    {47161.0, 56.184},  // 1988 January 1
    {47892.0, 57.184},  // 1990 January 1
    {48257.0, 58.184},  // 1991 January 1
    {48804.0, 59.184},  // 1992 July 1
    {49169.0, 60.184},  // 1993 July 1
    {49534.0, 61.184},  // 1994 July 1
    {50083.0, 62.184},  // 1996 January 1
    {50630.0, 63.184},  // 1997 July 1
    {51179.0, 64.184},  // 1999 January 1
    {53736.0, 65.184},  // 2006 January 1
}};

struct TerrestrialTime {
    double tt;                 // TT MJD
    double tt_minus_utc_days;  // TT - UTC, days
};

// TT of a UTC MJD from the leap-second table; before 1980 TT is taken equal to UTC.
TerrestrialTime tt_from_utc(double utc);

// TDB MJD of a TT MJD: the annual periodic term of amplitude 0.001658 s.
double tdb_from_tt(double tt);
