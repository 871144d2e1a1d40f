// The leap-second list in the IERS/NTP "leap-seconds.list" text format, read
// into a leap-second table, and the choice between a list found on the system
// and the compiled-in table.
//
// The format: '#' begins a comment to the end of the line; "#@" (expiry) and
// "#$" (last update) carry a time in NTP seconds, "#h" the SHA-1 hash of the
// data as five hexadecimal words: the digits of the last-update time, of the
// expiry and of each data line, concatenated in that order. Every other non-blank line is "NTP-seconds TAI-UTC",
// optionally followed by a '#' comment: from that instant (0h UTC of a day,
// as seconds since 1900 January 1, 0h) on, TAI - UTC is the given number of
// seconds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "time_scales.hpp"

namespace fieldsearch {

// MJD of the NTP time origin, 1900 January 1, 0h.
inline constexpr double NTP_EPOCH_MJD = 15020.0;

// The table a list describes, or the reason it cannot be read.
struct LeapSecondListResult {
    std::optional<LeapSecondTable> table;
    long line;          // 1-based line at fault; 0 when the fault is the text as a whole
    std::string error;  // what is wrong, empty when read
};

// The table of a leap-second list: every step (TT - UTC = TAI - UTC + 32.184 s),
// later than the one before, at 0h of a day and one second more than the one
// before, and the expiry of the "#@" line, which must be present and later
// than the last step; a "#h" hash, when there is one, must match the data.
LeapSecondListResult leap_second_table_from_text(std::string_view text);

// The table a program should use when no list was named: the candidate's
// (the text of the system's list; empty when there is none or it cannot be
// read) when it is well-formed, agrees with every step of `compiled` and
// expires later; otherwise `compiled`.
LeapSecondTable preferred_leap_second_table(const std::optional<std::string>& candidate_text,
                                            const LeapSecondTable& compiled);

}  // namespace fieldsearch
