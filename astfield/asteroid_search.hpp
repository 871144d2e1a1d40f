// The asteroid program's compiled-in scenario and its catalogue scan.
#pragma once

#include "search_scenario.hpp"

// Prints the report header of the compiled-in scenario and runs the search;
// returns the program's exit status.
int run_asteroid_scenario();

// Scans the catalogue "astorb.dat" in the working directory and prints the
// table; returns 0 after a normal run.
int search_asteroid_field(const SearchRequest& request);
