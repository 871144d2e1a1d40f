// One record of the comet orbit catalogue in the one-line layout
// (perihelion time and distance, e, argument of perihelion, node, i, epoch,
// H and K, designation and name), its orbit as perihelion elements and the
// comet's total magnitude.
#pragma once

#include <array>
#include <string_view>

#include "astorb_record.hpp"
#include "two_body.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// Columns 1 to this one hold everything the search needs (K ends in column 100).
inline constexpr int COMET_COLUMNS_READ = 100;

// A parsed comet record. Angles are degrees, referred to the ecliptic and
// mean equinox of J2000.0.
struct CometRecord {
    std::array<char, 9> number;   // periodic number and orbit type, right-aligned in six columns
    std::array<char, NAME_FIELD_BYTES> name;  // a blank and the designation (or name)
    int perihelion_year;
    int perihelion_month;
    double perihelion_day;        // TT, with its fraction
    double perihelion_distance;   // q, AU
    double eccentricity;
    double perihelion_argument;   // degrees
    double node;                  // degrees
    double inclination;           // degrees
    double epoch_mjd;             // of the elements, 0h TT of their date; NaN when not given
    double h;                     // absolute total magnitude
    double k;                     // slope of the total magnitude with log r
};

// The record held in `line`. Numeric fields convert as atof does; the number
// and name columns take the periodic number (e.g. "    2P") and the
// designation without a parenthesised name, e.g. " C/2006 P1" or, for a
// numbered comet, the name after its slash, e.g. " Encke".
CometRecord parse_comet_record(std::string_view line);

// True when the line looks like a record of this layout: an orbit type in
// column 5, four digits of the perihelion year and the decimal points of q
// and e where the layout puts them.
bool looks_like_comet_record(std::string_view line);

// True when the record describes a conic the propagation takes (q > 0,
// e >= 0, a perihelion month 1-12 and day 0-32) and every numeric field the
// evaluation reads is a finite number.
bool has_valid_comet_elements(const CometRecord& record);

// The record's orbit: perihelion time as an MJD (0h of its date plus the
// day's fraction, the same time axis as the asteroid epochs), q, e, angles.
PerihelionElements perihelion_elements(const CometRecord& record);

// Total magnitude H + 5 log10(delta) + 2.5 K log10(r) of a comet at the
// heliocentric vector `comet_position_km` seen along `topocentric_km`.
double comet_total_magnitude(double h, double k, const Vector3& comet_position_km, const Vector3& topocentric_km);

}  // namespace fieldsearch
