// Values written as text in options, lists and headers: decimal numbers, UTC
// instants and sexagesimal angles.
#pragma once

#include <optional>
#include <string_view>

#include "time_scales.hpp"

namespace fieldsearch {

// A whole decimal number filling all of `text`, optionally signed; empty
// when anything else is there or the value is not finite.
std::optional<double> number_from_text(std::string_view text);

// A UTC instant written YYYY-MM-DDTHH:MM:SS[.sss] with an optional trailing
// Z; empty when the text is malformed or the date does not exist (years
// 1900 to 2099).
std::optional<CalendarInstant> instant_from_text(std::string_view text);

// An unsigned sexagesimal value: its whole units, minutes and seconds as
// written. `parts` is how many were written (1 to 3); those not written are 0.
struct SexagesimalValue {
    int parts;
    double whole;
    double minutes;
    double seconds;
    bool whole_is_integer;  // the whole units were written as 1 to 3 digits alone
};

// The value of "U[:MM[:SS.sss]]" or "U MM SS.sss" (parts separated by a colon
// or by blanks, blanks around the text ignored, no sign): every part but the
// last is a whole number of digits, the last may have a fraction, minutes
// and seconds are below 60. Empty when malformed.
std::optional<SexagesimalValue> sexagesimal_from_text(std::string_view text);

// The value of a sexagesimal text in its units: whole + (minutes + seconds /
// 60) / 60.
double sexagesimal_units(const SexagesimalValue& value);

// Degrees from a signed decimal or sexagesimal text ("+43:44:30.5",
// "-43 44 30", "43.7417"); empty when malformed.
std::optional<double> degrees_from_text(std::string_view text);

}  // namespace fieldsearch
