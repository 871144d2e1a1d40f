// The standard magnitudes of satellites (the magnitude at 1,000 km and 90 deg
// phase of a diffuse sphere), read from the text of a --standard-magnitudes
// file: one satellite a line, its catalogue number and its standard
// magnitude separated by blanks or by a comma (blanks may stand around it);
// '#' begins a comment that runs to the end of the line; blank lines and
// lines holding only a comment are skipped; a carriage return before a line
// feed is dropped.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace fieldsearch {

// Catalogue numbers run from 0 to this: nine digits, as an OMM record holds them.
inline constexpr long LARGEST_CATALOGUE_NUMBER = 999999999;

// A standard magnitude beyond this, either way, is no satellite's: a
// sphere that bright at 1,000 km would outshine the Sun.
inline constexpr double LARGEST_STANDARD_MAGNITUDE = 30.0;

// Standard magnitudes by catalogue number.
struct StandardMagnitudes {
    std::map<long, double> by_catalogue_number;
};

// The magnitudes of a file, or the first line at fault and why.
struct StandardMagnitudesResult {
    std::optional<StandardMagnitudes> magnitudes;  // empty when refused
    long line;                                     // 1-based line at fault, 0 when read
    std::string error;                             // one line saying what is wrong, empty when read
};

// The standard magnitudes the text of a file gives. A line is refused when
// it has more or fewer than two fields, when its catalogue number is not
// one to nine decimal digits, when its magnitude is not a finite decimal
// number within LARGEST_STANDARD_MAGNITUDE of 0, and when it names a
// satellite an earlier line named. A text with no magnitudes at all gives
// an empty table.
StandardMagnitudesResult standard_magnitudes_from_text(std::string_view text);

// The standard magnitude of the satellite of `catalogue_number`, if the
// table has one.
std::optional<double> standard_magnitude_of(const StandardMagnitudes& magnitudes, long catalogue_number);

}  // namespace fieldsearch
