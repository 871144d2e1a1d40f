// The asteroid program's compiled-in scenario and its catalogue scan.
#pragma once

#include <cstdio>

#include "search_scenario.hpp"

// The catalogue the program reads, in the working directory.
inline constexpr const char* ASTORB_CATALOGUE_PATH = "astorb.dat";

// The compiled-in scenario as the report header restates it.
ScenarioHeader asteroid_scenario_header();

// The compiled-in scenario as the search takes it: the same instant, centre,
// side and limit in MJD and degrees.
SearchRequest asteroid_search_request();

// Prints the report header of the compiled-in scenario and runs the search;
// returns the program's exit status.
int run_asteroid_scenario();

// Scans the catalogue "astorb.dat" in the working directory and prints the
// table on standard output, messages on standard error; returns 0 after a
// normal run.
int search_asteroid_field(const SearchRequest& request);

// Scans the catalogue at `catalogue_path`, one record per line, and writes the
// table header, one row per asteroid in the field and the count line to
// `out`; lines that are no record or whose elements describe no ellipse are
// reported on `err` with their line number. Returns 0 after a normal run and
// 1 when the catalogue cannot be opened or read (no rows, no count line) or
// the report cannot be written.
int search_asteroid_field(const SearchRequest& request, const char* catalogue_path, std::FILE* out, std::FILE* err);
