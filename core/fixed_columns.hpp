// Fields of fixed-column text records, and their conversion to numbers with
// the behaviour of the C library's atof and atoi.
#pragma once

#include <string_view>

// Columns first..last (1-based, inclusive) of `line`, cut where the line ends.
std::string_view columns(std::string_view line, int first, int last);

// The text converted as atof converts it: leading white space skipped, the
// longest valid prefix taken, 0.0 when there is none. A NUL ends the text.
double decimal_from_text(std::string_view text);

// The text converted as atoi converts it: leading white space skipped, an
// optional sign and decimal digits, 0 when there are none. Values beyond the
// range of int are clamped to it.
int integer_from_text(std::string_view text);

// The decimal in columns first..last (1-based, inclusive) of a line, as
// decimal_from_text converts it.
double decimal_field(std::string_view line, int first, int last);

// The integer in columns first..last of a line, as integer_from_text converts it.
int integer_field(std::string_view line, int first, int last);
