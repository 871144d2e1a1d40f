// Calendar dates to Modified Julian Dates, and the UTC, TT and TDB time scales.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "constants.hpp"

namespace fieldsearch {

// MJD of a calendar date and time of day, in the time scale of the inputs.
// Two-digit years 0..84 mean 2000..2084, 85..99 mean 1985..1999. Agrees with
// the Gregorian calendar from 1 March 1897 to 28 February 2100.
double mjd_from_calendar(int day, int month, int year, int hour, int minute, double second);

// A Gregorian calendar date.
struct CalendarDate {
    int year;
    int month;
    int day;
};

// A civil instant: a calendar date and a time of day, in the time scale of
// its use (UTC for every instant the programs are given).
struct CalendarInstant {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    double second;
};

// True for a leap year of the Gregorian calendar.
bool is_leap_year(int year);

// The days of `month` (1-12) of `year` in the Gregorian calendar.
int days_in_month(int year, int month);

// One step of the leap-second table: from this UTC MJD on, TT - UTC is
// tt_minus_utc_seconds (TAI - UTC + 32.184 s).
struct LeapSecondStep {
    double mjd;
    double tt_minus_utc_seconds;
};

// The leap seconds announced up to the publication of IERS Bulletin C 72
// (July 2026: no leap second at the end of December 2026; TAI - UTC = 37 s
// from 2017 January 1 until further notice).
inline constexpr std::array<LeapSecondStep, 28> LEAP_SECOND_TABLE{{
    {41317.0, 42.184},  // 1972 January 1
    {41499.0, 43.184},  // 1972 July 1
    {41683.0, 44.184},  // 1973 January 1
    {42048.0, 45.184},  // 1974 January 1
    {42413.0, 46.184},  // 1975 January 1
    {42778.0, 47.184},  // 1976 January 1
    {43144.0, 48.184},  // 1977 January 1
    {43509.0, 49.184},  // 1978 January 1
    {43874.0, 50.184},  // 1979 January 1
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
    {54832.0, 66.184},  // 2009 January 1
    {56109.0, 67.184},  // 2012 July 1
    {57204.0, 68.184},  // 2015 July 1
    {57754.0, 69.184},  // 2017 January 1
}};

// The UTC MJD up to which the compiled-in steps are known complete: 2027
// June 28, the expiry of the leap-second list published with Bulletin C 72.
inline constexpr double COMPILED_LEAP_SECONDS_EXPIRY_MJD = 61584.0;

// A leap-second table: its steps in increasing MJD, and the UTC MJD from
// which a leap second announced after its publication may be missing.
struct LeapSecondTable {
    std::vector<LeapSecondStep> steps;
    double expiry_mjd;
};

// The compiled-in table: LEAP_SECOND_TABLE, expiring on
// COMPILED_LEAP_SECONDS_EXPIRY_MJD.
const LeapSecondTable& compiled_leap_second_table();

struct TerrestrialTime {
    double tt;                 // TT MJD
    double tt_minus_utc_days;  // TT - UTC, days
};

// TT of a UTC MJD from the steps of `table`; before its first step TT is
// taken equal to UTC.
TerrestrialTime tt_from_utc(double utc, const LeapSecondTable& table);

// The warning an instant at UTC MJD `utc` deserves under `table`: empty while
// the table has not expired, else one line (no line end) naming the expiry
// date and the TT - UTC taken.
std::optional<std::string> leap_second_expiry_warning(double utc, const LeapSecondTable& table);

// Largest |UT1 - UTC| that UTC allows, seconds: an offset must lie strictly
// inside it.
inline constexpr double UT1_MINUS_UTC_LIMIT_SECONDS = 0.9;

// True when `seconds` is a finite UT1 - UTC strictly inside the limit.
bool is_valid_ut1_minus_utc(double seconds);

// The Gregorian calendar date of the day that holds MJD `mjd` (the time of
// day dropped); all zero unless |mjd| < 1e9.
CalendarDate calendar_date_from_mjd(double mjd);

// The civil instant of an MJD, rounded to the millisecond (in the time scale
// of the MJD).
CalendarInstant calendar_instant_from_mjd(double mjd);

// The MJD of a civil instant.
double mjd_from_calendar_instant(const CalendarInstant& instant);

// TDB MJD of a TT MJD: the annual periodic term of amplitude 0.001658 s.
double tdb_from_tt(double tt);

}  // namespace fieldsearch
