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

// The packed form of five characters of minor planet number `number`, the
// inverse of unpacked_number: five digits up to 99999, a letter and four
// digits up to 619999, "~" and four base-62 digits up to 620000 + 62^4 - 1
// (15396335). Empty for a number outside 1 to 15396335.
std::optional<std::string> packed_number(long number);

// The packed form of seven characters of a readable provisional designation,
// the inverse of unpacked_provisional: "1995 XL1" = "J95X01L", "2007 TA418" =
// "K07Tf8A", "2040 P-L" = "PLS2040", "3138 T-1" = "T1S3138". Years 1000 to
// 2199, cycle numbers 0 to 619, survey numbers 1 to 9999. Empty when the
// text is no such designation (blanks at its ends are not allowed either).
std::optional<std::string> packed_provisional(std::string_view readable);

// The date of a packed date of five characters: century letter (I = 18,
// J = 19, K = 20), two digits of the year, month (1-9, A-C) and day (1-9,
// A-V for 10-31), e.g. "K085E" = 2008 May 14. Empty when the text is not
// such a date.
std::optional<CalendarDate> unpacked_date(std::string_view packed);

// The packed date of `date` (the form unpacked_date reads), e.g. 2008 May 14
// = "K085E". Empty for a year outside 1000-2199 or a month or day out of
// range.
std::optional<std::string> packed_date(const CalendarDate& date);

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
