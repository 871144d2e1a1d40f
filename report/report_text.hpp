// The pieces of text every writer shares: the report header that restates a
// scenario, the count line that closes a report, and a text as a CSV field.
#pragma once

#include <string>
#include <string_view>

#include "formatted_text.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// The five-line report header (with its blank lines) that restates a
// scenario, exactly as printed: the instant and its MJD, the centre in its
// sexagesimal parts, the full side and the magnitude value.
std::string report_header(const Scenario& scenario);

// The count line that closes a report: rows printed, records read.
std::string count_line(int found, int read);

// A text as one CSV field: quoted, with its quotes doubled, when it holds a
// comma, a quote or a line end; surrounding blanks removed.
std::string csv_field(std::string_view text);

}  // namespace fieldsearch
