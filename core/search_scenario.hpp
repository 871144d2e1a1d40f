// What a scenario hands to its search driver, and the report header that
// restates the scenario. Both programs print the header with the same formats.
#pragma once

#include <string>

// The search request: observer, instant, field and magnitude limit.
struct SearchRequest {
    double observer_x;      // km, geocentric Earth-fixed
    double observer_y;      // km
    double observer_z;      // km
    double utc_mjd;         // the instant, UTC MJD
    double centre_ra_deg;   // field centre, degrees
    double centre_dec_deg;  // degrees
    double half_side_deg;   // half the side of the square, degrees
    double mag_limit;       // faintest V listed (asteroids only)
};

// The scenario as the header prints it: the calendar instant, the MJD, the
// centre in sexagesimal parts, the full side and the magnitude value.
struct ScenarioHeader {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    double second;
    double utc_mjd;
    int ra_hours;
    int ra_minutes;
    double ra_seconds;
    bool dec_negative;  // shows the sign when the degrees are 0
    int dec_degrees;    // signed
    int dec_arcminutes;
    double dec_arcseconds;
    double side_arcmin;  // the full side
    double mag_limit;
};

// printf-style formatting into a string, for the report's fixed formats.
[[gnu::format(printf, 1, 2)]] std::string formatted(const char* format, ...);

// The five-line report header (with its blank lines), exactly as printed.
std::string report_header(const ScenarioHeader& header);

// The count line that closes a report: rows printed, records read.
std::string count_line(int found, int read);
