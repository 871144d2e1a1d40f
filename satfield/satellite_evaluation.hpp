// The evaluation of one element set against the search: its place as seen by
// the observer at the instant, the square-field test and, for a satellite in
// the field, its apparent motion and report row. No I/O.
#pragma once

#include <array>
#include <string>

#include "angles.hpp"
#include "satellite_observer.hpp"
#include "search_scenario.hpp"
#include "tle_record.hpp"

// The field and the three instants of a search: the instant itself and one
// minute before and after it, for the motion. Built once per search.
struct SatelliteSearchGeometry {
    double centre_ra_deg;
    double centre_dec_deg;
    double half_side_deg;
    ObservationInstant at;      // t
    ObservationInstant before;  // t - MOTION_STEP_DAYS
    ObservationInstant after;   // t + MOTION_STEP_DAYS
};

// The geometry of a search request (its magnitude limit is not used).
SatelliteSearchGeometry satellite_search_geometry(const SearchRequest& request);

// UTC MJD of the epoch of an element set: January 1, 0 h of the two-digit
// year (00-84 are 2000-2084, 85-99 are 1985-1999) plus the day of the year less 1.
double tle_epoch_mjd(const TleRecord& record);

// A change of angle (degrees) over the motion interval 2 MOTION_STEP_DAYS as
// a rate in arcseconds per second.
double motion_arcsec_per_second(double change_deg);

// Everything a report row shows of a satellite in the field. Right ascension
// and declination are topocentric and geometric, J2000.0; the motion in right
// ascension is the rate of the coordinate (not multiplied by cos dec).
struct SatelliteSighting {
    std::array<char, 15> name;
    std::array<char, 7> cospar_id;
    std::array<char, 7> norad_id;
    long norad_number;  // the catalogue number in full
    double ra_deg;
    double dec_deg;
    HoursMinutesSeconds ra;
    SignDegreesMinutesSeconds dec;
    double ra_motion;   // arcsec/s
    double dec_motion;  // arcsec/s
};

enum class SatelliteOutcome {
    outside_field,
    in_field,       // the sighting is filled
    not_evaluated,  // the orbit cannot be evaluated or gave no finite place: see the problem
};

struct SatelliteEvaluation {
    SatelliteOutcome outcome;
    const char* problem;  // why not evaluated, else nullptr
    SatelliteSighting sighting;
};

// One element set at the instant of the search: its topocentric place, the
// square-field test (no magnitude condition) and, in the field, the motion
// from the places one minute before and after.
SatelliteEvaluation evaluate_satellite(const TleRecord& record, const SatelliteSearchGeometry& geometry);

// The header of the report's table, with the blank line after it.
std::string satellite_table_header();

// The report row of a satellite in the field, with its line feed.
std::string satellite_report_row(const SatelliteSighting& sighting);

// The header line of the CSV output, with its line feed.
std::string satellite_csv_header();

// The CSV line of a satellite in the field: the designations, the place in
// degrees at full precision, its sexagesimal fields, both motions and the
// catalogue number in full.
std::string satellite_csv_row(const SatelliteSighting& sighting);
