// One record of the asteroid orbit catalogue (fixed columns, one asteroid per
// line) and the quantities the propagation takes from it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// Columns 1 to this one hold everything the search reads from a record.
inline constexpr int ASTORB_COLUMNS_READ = 181;

// The bytes that hold a record's name or designation, its terminating NUL
// included: a blank, then up to 78 characters (the text report shows the
// first ten; CSV and JSON all of it).
inline constexpr std::size_t NAME_FIELD_BYTES = 80;

// A parsed catalogue record. Angles are degrees, referred to the ecliptic and
// mean equinox of J2000.0; the epoch is 0h of the calendar date given.
struct AstorbRecord {
    std::array<char, 9> number;   // columns 1-6 exactly, blanks kept, NUL-terminated
    std::array<char, NAME_FIELD_BYTES> name;  // columns 7-25 (a blank, then the name), NUL-terminated
    double h;                     // absolute magnitude, mag
    double g;                     // slope parameter of the H-G system
    int epoch_year;
    int epoch_month;
    int epoch_day;
    double mean_anomaly;          // at the epoch, degrees
    double perihelion_argument;   // degrees
    double node;                  // longitude of the ascending node, degrees
    double inclination;           // degrees
    double eccentricity;
    double semimajor_axis;        // AU
    // The current ephemeris uncertainty as the record holds it, columns
    // 191-216 (its value in arcsec, its rate in arcsec per day, the date
    // yyyymmdd they hold for), NUL-terminated: converted only for the rows
    // that show it (uncertainty_at).
    std::array<char, 27> uncertainty_columns;
};

// The record held in `line` (column 1 first). Numeric fields convert as atof
// and atoi do: blanks or text without digits give 0. Columns missing from a
// line shorter than 181 characters read as empty. The uncertainty is NaN
// unless columns 192-216 hold a value, a rate and a date yyyymmdd.
AstorbRecord parse_astorb_record(std::string_view line);

// The orbit of the record in `line` alone, for a first look: the epoch and
// the six elements as parse_astorb_record reads them; number, name and
// uncertainty empty; H and G as parse_astorb_record reads them when their
// columns hold nothing but blanks, digits, points and minus signs (so that
// they are finite numbers), NaN otherwise. has_elliptic_elements of it is that of the
// whole record.
AstorbRecord parse_astorb_orbit(std::string_view line);

// True when the record's elements describe an ellipse (0 <= e < 1, a > 0)
// and every numeric field (H, G and the six elements) is a finite number.
bool has_elliptic_elements(const AstorbRecord& record);

// The epoch of osculation as an MJD: 0h of the record's date, on the time
// axis of the observation instant.
double epoch_mjd(const AstorbRecord& record);

// The element triple (a in AU, e, i in degrees), 1-based.
Vector3 elements_aei(const AstorbRecord& record);

// The element triple (node, argument of perihelion, mean anomaly at the
// epoch), degrees, 1-based.
Vector3 elements_angles(const AstorbRecord& record);

// The record's ephemeris uncertainty carried to `mjd` (the time axis of
// epoch_mjd): value + rate x (mjd - its date), arcsec; NaN when the record
// gives none.
double uncertainty_at(const AstorbRecord& record, double mjd);

}  // namespace fieldsearch
