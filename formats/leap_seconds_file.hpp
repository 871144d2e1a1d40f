// The leap-second table a run uses: a list named by the observer, else the
// system's list when it is current, else the compiled-in table. Reads files.
#pragma once

#include <optional>
#include <string>

#include "time_scales.hpp"

namespace fieldsearch {

// Where Debian's tzdata installs the IERS/NTP leap-second list.
inline constexpr const char* SYSTEM_LEAP_SECONDS_LIST = "/usr/share/zoneinfo/leap-seconds.list";

// Longer files are no leap-second list (a current one has about 5 kB).
inline constexpr long LARGEST_LEAP_SECONDS_LIST_BYTES = 1L << 20;

// The table of a run, or why the named list cannot be used.
struct LeapSecondTableLoad {
    std::optional<LeapSecondTable> table;
    std::string source;  // the path read, or "compiled-in"
    std::string error;   // "PATH: reason" or "PATH:LINE: reason", empty when loaded
};

// The text of the file at `path` (at most LARGEST_LEAP_SECONDS_LIST_BYTES),
// or empty after putting the reason in `reason`.
std::optional<std::string> leap_seconds_list_text(const std::string& path, std::string& reason);

// With `path` (the --leap-seconds option): that list, or an error naming it
// when it cannot be read or is malformed. Without: the list at
// `system_path` when it can be read, is well-formed, agrees with the
// compiled-in steps and expires later than the compiled-in table; otherwise
// the compiled-in table.
LeapSecondTableLoad leap_second_table_for_run(const std::optional<std::string>& path,
                                              const std::string& system_path = SYSTEM_LEAP_SECONDS_LIST);

}  // namespace fieldsearch
