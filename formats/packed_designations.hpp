// The packed forms the orbit catalogues of today use for designations and
// dates, and their readable forms.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "time_scales.hpp"

namespace fieldsearch {

// The number of a numbered minor planet from its packed form of five
// characters: five digits; a letter (A-Z for 10-35, a-z for 36-61) then four
// digits, e.g. "A0000" = 100000; or "~" then four base-62 digits counted
// from 620000, e.g. "~0000" = 620000. Empty when the text is none of these.
std::optional<long> unpacked_number(std::string_view packed);

// The readable provisional designation of a minor planet from its packed
// form of seven characters, e.g. "J95X01L" = "1995 XL1", "K07Tf8A" =
// "2007 TA418", "PLS2040" = "2040 P-L", "T1S3138" = "3138 T-1". Empty when
// the text is not such a form.
std::optional<std::string> unpacked_provisional(std::string_view packed);

// The date of a packed date of five characters: century letter (I = 18,
// J = 19, K = 20), two digits of the year, month (1-9, A-C) and day (1-9,
// A-V for 10-31), e.g. "K085E" = 2008 May 14. Empty when the text is not
// such a date.
std::optional<CalendarDate> unpacked_date(std::string_view packed);

// The text with its blanks at both ends removed.
std::string_view trimmed_text(std::string_view text);

// `text` as a designation column of the report, `width` characters wide:
// right-aligned, or a blank then the text left-aligned; cut to fit, control
// characters (a NUL of a garbled record) as blanks.
std::string designation_column(std::string_view text, std::size_t width, bool right_aligned);

// Copies the designation column of `text` (as designation_column makes it)
// into a NUL-terminated array, cut to fit.
template <std::size_t N>
void put_designation(std::array<char, N>& field, std::string_view text, std::size_t width, bool right_aligned)
{
    field.fill('\0');
    const std::string column = designation_column(text, width, right_aligned);
    column.copy(field.data(), std::min(column.size(), N - 1));
}

}  // namespace fieldsearch
