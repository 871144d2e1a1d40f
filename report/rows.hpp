// The rows a search finds, as typed values: each evaluation fills a row once,
// column by column, and each writer (text report, CSV, JSON) formats it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "angles.hpp"

namespace fieldsearch {

// What a value of a row holds.
enum class ValueKind { absent, whole, real, text };

// A real number written with every significant digit a double holds
// (17 significant digits, "%.17g"), rather than to fixed decimals.
inline constexpr int ALL_DIGITS = -1;

// One value of a row: absent, a whole number, a real number with the decimals
// it is written with (or ALL_DIGITS), or a text (a designation or name in
// full, as the catalogue holds it).
struct RowValue {
    ValueKind kind = ValueKind::absent;
    long long whole = 0;
    double real = 0.0;
    int decimals = 0;
    std::string text;
};

// No value: an empty CSV field, null in JSON.
RowValue absent_value();

// A whole number.
RowValue whole_value(long long value);

// A real number written to `decimals` decimals (or ALL_DIGITS); absent when
// it is not finite.
RowValue real_value(double value, int decimals);

// A text, as it stands.
RowValue text_value(std::string_view text);

// A designation: absent when blank, a whole number when it is one (the
// catalogue number of a numbered asteroid), else the text; surrounding
// blanks removed.
RowValue designation_value(std::string_view text);

// The names of a run's columns, in the order of the values of its rows.
using RowColumns = std::vector<std::string>;

// One row: a value per column.
struct Row {
    std::vector<RowValue> values;
};

// Appends the columns of a place: ra_deg, dec_deg (full precision), then its
// sexagesimal fields ra_h, ra_m, ra_s, dec_sign, dec_deg_part, dec_arcmin,
// dec_arcsec.
void append_place_columns(RowColumns& columns);

// Appends the values of those columns for a place (J2000 degrees) and its
// sexagesimal split: seconds of time to 1e-6, arcseconds to 1e-5.
void append_place_values(double ra_deg, double dec_deg, const HoursMinutesSeconds& ra,
                         const SignDegreesMinutesSeconds& dec, Row& row);

}  // namespace fieldsearch
