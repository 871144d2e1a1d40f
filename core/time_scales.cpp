#include "time_scales.hpp"

#include <cmath>

#include "angles.hpp"

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

TerrestrialTime tt_from_utc(double utc)
{
    double seconds = 0.0;
    for (const LeapSecondStep& step : LEAP_SECOND_TABLE) {
        if (step.mjd <= utc) {
            seconds = step.tt_minus_utc_seconds;
        }
    }
    const double days = seconds * DAYS_PER_SECOND;
    return {utc + days, days};
}

double tdb_from_tt(double tt)
{
    const double t = (tt - MJD_J2000) * CENTURIES_PER_DAY;
    const double g = (357.528 + 35999.05 * t) * DEG_TO_RAD;
    return tt + 0.001658 * std::sin(g + 0.0167 * std::sin(g)) * DAYS_PER_SECOND;
}
