// One element set of the satellite catalogue: a name line followed by the two
// lines of the two-line element format, read by fixed columns.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fieldsearch {

// The fields of one element set that the search uses, in degrees,
// revolutions per day and revolutions per day squared as the set carries them.
struct TleRecord {
    std::array<char, 15> name;       // name line columns 1-14, blank-padded, NUL-terminated
    std::string full_name;           // the whole name line (or OBJECT_NAME), blanks on its right dropped
    std::array<char, 7> cospar_id;   // line 1 columns 10-15: launch year, number, first piece letter
    std::array<char, 7> norad_id;    // line 1 columns 3-8: catalogue number and classification
    int epoch_year;                  // line 1 columns 19-20, two digits
    double epoch_day;                // line 1 columns 21-32, day of the year, 1.0 = January 1, 0 h
    double ndot2;                    // line 1 columns 34-43, half the first derivative of the mean motion, rev/day^2
    double nddot6;  // line 1 columns 45-52, a sixth of the second derivative of the mean motion, rev/day^3 (assumed decimal point and exponent)
    double bstar;   // line 1 columns 54-61, drag term B*, 1/earth radii (assumed decimal point and exponent)
    long norad_number;               // line 1 columns 3-7, the catalogue number in full (Alpha-5 letters decoded)
    double mean_anom;                // line 2 columns 44-51, mean anomaly at epoch, degrees
    double omega;                    // line 2 columns 35-42, argument of perigee, degrees
    double node;                     // line 2 columns 18-25, right ascension of the ascending node, degrees
    double incl;                     // line 2 columns 9-16, inclination, degrees
    double ecc;                      // "0." and line 2 columns 27-33, eccentricity
    double n;                        // line 2 columns 53-63, mean motion, rev/day
    std::optional<double> standard_magnitude;  // at 1,000 km and 90 deg phase: an OMM record's, or from a file
};

// Line 1 must reach column 43 and line 2 column 63. Line 1 is read on to
// column 61 where it goes that far: the second derivative and B* of a
// shorter line read as 0.
inline constexpr std::size_t TLE_LINE1_MIN_LENGTH = 43;
inline constexpr std::size_t TLE_LINE2_MIN_LENGTH = 63;

// The element set parsed from its name line and two element lines by fixed
// columns; numbers convert as atoi and atof do (no number gives 0). Nothing
// beyond the end of a line is read: missing columns count as absent text.
// A NUL byte ends the name, as it would a C string.
TleRecord parse_tle_record(std::string_view name_line, std::string_view line1, std::string_view line2);

// Why the element lines cannot be parsed in full (line 1 shorter than 43
// characters, line 2 shorter than 63), or nullptr when they can.
const char* tle_line_length_problem(std::string_view line1, std::string_view line2);

// Why the parsed elements describe no orbit (a field that is not a finite
// number, a mean motion that is not positive, an eccentricity of 1 or more),
// or nullptr when they may.
const char* tle_element_problem(const TleRecord& record);

// 1 or 2 when `line` opens as element line 1 or 2 does (the line's number
// and a blank), else 0.
int tle_line_kind(std::string_view line);

// Where the element lines hold a field that is not what it may be: the
// line (1 or 2) and what is wrong, naming the field, its columns and its
// text; line 0 when every field may be read.
struct TleFieldProblem {
    int line = 0;
    std::string what;
};

// Checks each field the search reads, by what it may hold: the catalogue
// numbers (five digits after blanks, or Alpha-5; line 2's the same as line
// 1's), the epoch's two-digit year and its day of the year (1 to the day
// after the year's last, the calendar of 1985-2084 deciding 365 or 366),
// half the first derivative of the mean motion (a decimal within 1), the
// second derivative and B* (sign, up to five digits, the exponent's sign and
// digit; blank reads as 0), the inclination (0 to 180 deg), the node,
// argument of perigee and mean anomaly (0 to 360 deg), the eccentricity
// (seven digits after an implied "0.") and the mean motion (a positive
// decimal). Lines must be as long as tle_line_length_problem asks; `record`
// is what parse_tle_record reads from them, whose values the ranges are
// checked on.
TleFieldProblem tle_field_problem(std::string_view line1, std::string_view line2, const TleRecord& record);

// The checksum in column 69 of an element line: the sum of the digits of
// columns 1-68, a minus sign counting 1, modulo 10.
int tle_line_checksum(std::string_view line);

// What is wrong with the checksums of the two lines (column 69 not the
// checksum of the columns before it, or not a digit), or empty; a line that
// ends before column 69, or leaves it blank, carries no checksum.
std::string tle_checksum_problem(std::string_view line1, std::string_view line2);

// The catalogue number of the five catalogue-number columns of line 1: five
// digits (read as atoi reads them), or in the Alpha-5 form a capital letter
// other than I and O followed by four digits, the letter standing for the
// number's leading 10 to 33 (A0000 = 100000, J0000 = 180000, Z9999 = 339999).
long catalogue_number_from_text(std::string_view text);

// The report's six-character catalogue-number column of `number`: five
// digits and the classification letter up to 99999, the Alpha-5 form and the
// letter from 100000 to 339999, six digits without the letter from 340000 to
// 999999, and "******" for a number that is negative or has seven digits or more.
std::array<char, 7> catalogue_number_column(long number, char classification);

}  // namespace fieldsearch
