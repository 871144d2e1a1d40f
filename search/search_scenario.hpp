// What a scenario hands to its search driver, and the report header that
// restates the scenario. Both programs print the header with the same formats.
#pragma once

#include <cstdio>

#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The search request: observer, instant, field, magnitude limit and the
// clock that turns the UTC instant into TT and UT1.
struct SearchRequest {
    double observer_x;      // km, geocentric Earth-fixed
    double observer_y;      // km
    double observer_z;      // km
    double utc_mjd;         // the instant, UTC MJD
    double centre_ra_deg;   // field centre, degrees
    double centre_dec_deg;  // degrees
    double half_side_deg;   // half the side of the square, degrees
    double mag_limit;       // faintest V listed (asteroids only)
    LeapSecondTable leap_seconds = compiled_leap_second_table();  // UTC to TT
    double ut1_minus_utc_seconds = 0.0;                           // UT1 = UTC + this
};

// The centre of the field in degrees, with the sexagesimal parts the header
// prints. The declination parts are magnitudes; dec_negative carries the sign.
struct FieldCentre {
    double ra_deg;
    double dec_deg;
    int ra_hours;
    int ra_minutes;
    double ra_seconds;
    bool dec_negative;
    int dec_degrees;
    int dec_arcminutes;
    double dec_arcseconds;
};

// The centre given in sexagesimal parts: right ascension (hours + (minutes +
// seconds/60)/60) x 15, declination degrees + (arcminutes + arcseconds/60)/60
// with its sign.
FieldCentre field_centre_from_sexagesimal(int ra_hours, int ra_minutes, double ra_seconds, bool dec_negative,
                                          int dec_degrees, int dec_arcminutes, double dec_arcseconds);

// The centre given in degrees; the header's parts are split from them.
FieldCentre field_centre_from_degrees(double ra_deg, double dec_deg);

// One search scenario: instant, observer, field, magnitude limit (for
// satellites the magnitude value is only shown in the header), and the
// leap-second table and UT1 - UTC its instant is read with.
struct Scenario {
    CalendarInstant instant;
    Vector3 observer_earth_fixed;  // km, geocentric
    FieldCentre centre;
    double half_side_arcmin;
    double mag_limit;
    LeapSecondTable leap_seconds = compiled_leap_second_table();
    double ut1_minus_utc_seconds = 0.0;  // seconds, |value| < UT1_MINUS_UTC_LIMIT_SECONDS
};

// The request a scenario hands to its search driver.
SearchRequest search_request_from_scenario(const Scenario& scenario);

// How a search writes what it finds: text is the report with its fixed
// columns, csv one header line and one line per object found, json one
// document with the scenario and the rows under the CSV's column names.
enum class OutputFormat { text, csv, json };

// Where a search reads its catalogue and writes its results and messages.
struct SearchOutput {
    const char* catalogue_path;
    OutputFormat format;
    std::FILE* out;  // the report or the CSV lines
    std::FILE* err;  // messages about the catalogue
    const char* catalogue_format = nullptr;  // the layout the catalogue is read in, or nullptr to tell it from the records
    const char* regions_path = nullptr;      // a region file of the field's objects to write, or nullptr
    const char* chart_path = nullptr;        // a finder chart (SVG) to write, or nullptr
};

// A search driver: scans the catalogue of `output` for the request; returns
// the program's exit status.
using SearchFunction = int (*)(const SearchRequest& request, const SearchOutput& output);

// Which program is asking: the magnitude limit belongs to the asteroids only.
struct ProgramInfo {
    const char* name;                  // "astfield" or "satfield"
    const char* default_catalogue;     // the compiled-in file name
    bool has_magnitude_limit;
    const char* catalogue_formats = nullptr;  // the layouts --catalogue-format names, '|'-separated; none: no option
    const char* theories = nullptr;           // the theories --theory names, '|'-separated, the default first
    bool has_sunlight_options = false;        // --sunlit-only and --standard-magnitudes (satellites)
    const char* propagations = nullptr;       // what --propagation names, '|'-separated, the default first; none: no option
    // --observations: the defaults of --radius and --motion-tolerance, and
    // the unit of the tolerance ("arcsec/h", "arcsec/s"); none: no option.
    double identification_radius_arcsec = 0.0;
    double motion_tolerance = 0.0;
    const char* motion_unit = nullptr;
    bool writes_identified = false;           // --write-identified
    bool writes_catalogue = false;            // --write-catalogue OUT --epoch DATE (run apart from the search)
};

}  // namespace fieldsearch
