// The text report: the header that restates a field's scenario, the table
// header, one fixed-column line per row, and the count line.
#pragma once

#include <string>
#include <vector>

#include "rows.hpp"
#include "search_plan.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// How one value of a row is shown in the report's fixed columns.
enum class TextStyle {
    right_aligned,   // a designation right-aligned in `width` (longer ones overflow it)
    blank_then_left, // a blank, then the text left-aligned, cut to width - 1
    left_padded,     // the text left-aligned, cut to `width` (never inside a character), padded with blanks
    integer,         // a whole number right-aligned in `width`
    fixed,           // a real number right-aligned in `width` with `decimals` decimals
    character,       // the first character of the text (a sign), or a blank
};

// One column of the report: the text printed before it, the row's value it
// shows and how.
struct TextColumn {
    const char* before;
    std::size_t value;
    TextStyle style;
    int width;
    int decimals = 0;
};

// The layout of a program's report lines: its columns, then `end` (the line
// end included).
struct TextRowLayout {
    std::vector<TextColumn> columns;
    const char* end;
};

// The report line of `row`: its columns, without the blanks they leave at
// the end (absent values there), then the layout's end.
std::string text_row(const Row& row, const TextRowLayout& layout);

// The five-line report header (with its blank lines) that restates a
// scenario, exactly as printed: the instant and its MJD, the centre in its
// sexagesimal parts, the full side and the magnitude value.
std::string report_header(const Scenario& scenario);

// The report header of one field: its scenario, and for an image its frame
// and site instead of the square, and the exposure.
std::string field_report_header(const FieldSearch& field);

// The count line that closes a report: rows printed, records read, and a
// note of the element sets superseded by a nearer set of the same satellite
// when there are any.
std::string count_line(int found, int read, int superseded = 0);

}  // namespace fieldsearch
