// The satellite program's compiled-in scenario and its catalogue scan.
#pragma once

#include <cstdio>

#include "search_scenario.hpp"

// The catalogue the compiled-in scenario reads, in the working directory.
inline constexpr const char* SATELLITE_CATALOGUE_PATH = "080520ls.tle";

// Prints the report header of the compiled-in scenario and runs the search;
// returns the program's exit status.
int run_satellite_scenario();

// The compiled-in scenario as the report header restates it, and the search
// request derived from it (magnitude limit 0, unused by the satellite search).
ScenarioHeader satellite_scenario_header();
SearchRequest satellite_scenario_request();

// Scans the catalogue "080520ls.tle" in the working directory, prints the
// table on standard output and messages on standard error; returns 0 after a
// normal run.
int search_satellite_field(const SearchRequest& request);

// Scans the element sets of the catalogue at `catalogue_path` (a name line,
// line 1 and line 2 each) and writes to `out` the table header, one row per
// satellite in the field, in catalogue order, and the count line: rows
// printed, complete sets read. Blank lines where a name line is due are
// skipped. Over-long lines (kept to their first 79 characters), sets cut
// short by the end of the file (not counted), sets with short element lines
// and sets without a real orbit (counted, not evaluated) are reported on
// `err`. Returns 0 after a normal run; non-zero, with a message on `err` and
// no count line, when the catalogue cannot be opened or read.
int search_satellite_field(const SearchRequest& request, const char* catalogue_path, std::FILE* out,
                           std::FILE* err);
