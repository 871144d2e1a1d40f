// A list of fields to search in one run: the CSV file of --fields, one field
// per line after a header line that names the columns.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "time_scales.hpp"

namespace fieldsearch {

// One line of a field list. A field from an image leaves the centre and the
// side empty and may leave the instant empty: the frame's header gives them.
struct FieldListRow {
    long line;                            // 1-based line of the file (the header is line 1)
    std::string id;                       // the field's id, as written (blanks around it removed)
    std::optional<CalendarInstant> time;  // UTC, the exposure's start
    std::optional<double> ra_deg;         // the centre, degrees
    std::optional<double> dec_deg;
    std::optional<double> side_arcmin;    // the full side of the square
    std::optional<double> exposure_s;     // the exposure's length, seconds
    std::string image;                    // a FITS path, or empty
};

// The rows of a field list, or the one-line reason it was refused (with the
// line number): a missing column, an unparsable time or angle, a side out of
// range, an empty list.
struct FieldListResult {
    std::vector<FieldListRow> rows;
    std::string error;
};

// The field list from the text of its file. Columns go by name (id, time,
// ra_deg, dec_deg, side_arcmin; exposure_s and image optional), in any order;
// other columns are ignored. Fields may be quoted as in RFC 4180. Blank
// lines are skipped.
FieldListResult field_list_from_text(std::string_view text);

// The fields of one line of CSV text: separated by commas, each optionally
// quoted with its quotes doubled; blanks around an unquoted field are kept.
// Empty when a quote is left open.
std::optional<std::vector<std::string>> csv_fields(std::string_view line);

}  // namespace fieldsearch
