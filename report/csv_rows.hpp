// Rows as CSV: one header line naming the columns, one line per row.
#pragma once

#include <string>
#include <string_view>

#include "rows.hpp"

namespace fieldsearch {

// A text as one CSV field: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line end; surrounding blanks removed.
std::string csv_field(std::string_view text);

// The CSV form of one value: empty when absent, whole numbers as they are,
// real numbers to their decimals ("%.*f") or to every digit ("%.17g"), texts
// as csv_field makes them.
std::string csv_value(const RowValue& value);

// The header line, line end included; with `field_column` led by "field".
std::string csv_header_line(const RowColumns& columns, bool field_column);

// The line of a row, line end included; with `field_column` led by the
// field's id.
std::string csv_row_line(const Row& row, bool field_column, std::string_view field_id);

}  // namespace fieldsearch
