// One record of the minor planet orbit catalogue in the one-line export
// layout (packed designation, H, G, packed epoch, M, argument of perihelion,
// node, i, e, n, a, ..., readable designation), read into the record type
// of the fixed-column catalogue so that the same orbit is evaluated alike
// whichever catalogue holds it.
#pragma once

#include <string_view>

#include "astorb_record.hpp"

namespace fieldsearch {

// Columns 1 to this one hold the elements (a ends in column 103).
inline constexpr int MPCORB_COLUMNS_READ = 103;

// The record held in `line`: number and name columns as the fixed-column
// catalogue shows them (a numbered minor planet its number right-aligned in
// six columns, or more past 999999, and its name; an unnumbered one blanks
// and its provisional designation), each name a blank then the name whole.
// The packed epoch is 0h TT of its date, as the fixed-column epoch; numeric
// fields convert as atof does. A packed epoch that is no date leaves the
// epoch's year, month and day 0. The uncertainty is NaN.
AstorbRecord parse_mpcorb_record(std::string_view line);

// True when the line looks like a record of this layout: long enough, a
// packed epoch in columns 21-25 and the decimal points of M, e and a where
// the layout puts them.
bool looks_like_mpcorb_record(std::string_view line);

}  // namespace fieldsearch
