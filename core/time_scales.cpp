#include "time_scales.hpp"

#include <cmath>
#include <cstdio>

#include "angles.hpp"

namespace fieldsearch {

double mjd_from_calendar(int day, int month, int year, int hour, int minute, double second)
{
    if (year < 85) {
        year += 2000;
    }
    if (year < 100) {
        year += 1900;
    }
    // The year counted from 1 March, so that the leap day ends it.
    int y = year - 1900;
    int m = month - 3;
    if (m < 0) {
        m += 12;
        y -= 1;
    }
    const int day_count = 365 * y + 15078 + y / 4 + static_cast<int>(30.6 * m + 0.5) + day;
    const double fraction_of_day = (hour + (minute + second * (1.0 / 60.0)) * (1.0 / 60.0)) * (1.0 / 24.0);
    return static_cast<double>(day_count) + fraction_of_day;
}

const LeapSecondTable& compiled_leap_second_table()
{
    static const LeapSecondTable table{
        std::vector<LeapSecondStep>(LEAP_SECOND_TABLE.begin(), LEAP_SECOND_TABLE.end()),
        COMPILED_LEAP_SECONDS_EXPIRY_MJD};
    return table;
}

TerrestrialTime tt_from_utc(double utc, const LeapSecondTable& table)
{
    double seconds = 0.0;
    for (const LeapSecondStep& step : table.steps) {
        if (step.mjd <= utc) {
            seconds = step.tt_minus_utc_seconds;
        }
    }
    const double days = seconds * DAYS_PER_SECOND;
    return {utc + days, days};
}

CalendarDate calendar_date_from_mjd(double mjd)
{
    if (!(std::fabs(mjd) < 1.0e9)) {
        return {0, 0, 0};  // no calendar date is asked of such a number
    }
    // Fliegel and Van Flandern (1968) from the Julian Day Number of the day.
    long l = static_cast<long>(std::floor(mjd)) + 2400001L + 68569L;
    const long n = 4 * l / 146097;
    l -= (146097 * n + 3) / 4;
    const long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const long j = 80 * l / 2447;
    const long day = l - 2447 * j / 80;
    l = j / 11;
    const long month = j + 2 - 12 * l;
    const long year = 100 * (n - 49) + i + l;
    return {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month)
{
    constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : DAYS[month - 1];
}

CalendarInstant calendar_instant_from_mjd(double mjd)
{
    const double day = std::floor(mjd);
    long long ms = std::llround((mjd - day) * 86400000.0);
    double whole_day = day;
    if (ms >= 86400000LL) {
        ms -= 86400000LL;
        whole_day += 1.0;
    }
    const CalendarDate date = calendar_date_from_mjd(whole_day);
    const int hour = static_cast<int>(ms / 3600000LL);
    const int minute = static_cast<int>(ms / 60000LL % 60);
    const double second = static_cast<double>(ms % 60000LL) / 1000.0;
    return {date.year, date.month, date.day, hour, minute, second};
}

double mjd_from_calendar_instant(const CalendarInstant& i)
{
    return mjd_from_calendar(i.day, i.month, i.year, i.hour, i.minute, i.second);
}

std::optional<std::string> leap_second_expiry_warning(double utc, const LeapSecondTable& table)
{
    if (!std::isfinite(table.expiry_mjd) || !(utc >= table.expiry_mjd)) {
        return std::nullopt;
    }
    const CalendarDate expiry = calendar_date_from_mjd(table.expiry_mjd);
    char line[200];
    std::snprintf(line, sizeof line,
                  "warning: the leap-second table expired on %04d-%02d-%02d; TT - UTC is taken as %.3f s, "
                  "a leap second announced since would be missed (give a current list with --leap-seconds)",
                  expiry.year, expiry.month, expiry.day, tt_from_utc(utc, table).tt_minus_utc_days / DAYS_PER_SECOND);
    return std::string(line);
}

bool is_valid_ut1_minus_utc(double seconds)
{
    return std::fabs(seconds) < UT1_MINUS_UTC_LIMIT_SECONDS;
}

double tdb_from_tt(double tt)
{
    const double t = (tt - MJD_J2000) * CENTURIES_PER_DAY;
    const double g = (357.528 + 35999.05 * t) * DEG_TO_RAD;
    return tt + 0.001658 * std::sin(g + 0.0167 * std::sin(g)) * DAYS_PER_SECOND;
}

}  // namespace fieldsearch
