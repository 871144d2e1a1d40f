// The asteroid program's compiled-in scenario and its catalogue scan.
#pragma once

#include "asteroid_fields.hpp"
#include "catalogue_record.hpp"
#include "search_plan.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// The catalogue the program reads, in the working directory.
inline constexpr const char* ASTORB_CATALOGUE_PATH = "astorb.dat";

// The program's name, as its messages begin.
inline constexpr const char* ASTFIELD_PROGRAM_NAME = "astfield";

// The compiled-in scenario: 2008 May 20, 05:14 UTC, a field of 2 deg square at
// 0h 0m 10s, +0 deg 30', asteroids down to V = 20.0.
Scenario asteroid_scenario();

// The compiled-in scenario as the search takes it: the same instant, centre,
// side and limit in MJD and degrees.
SearchRequest asteroid_search_request();

// Scans the catalogue once for every field of `plan`, on plan.threads
// threads, and writes the asteroids and comets found to output.out once the
// whole catalogue is read: as text each field's report (its header, the
// table header, one row per object in catalogue order and the count line of
// rows and records read), as CSV a header line and every row (led by its
// field's id when the plan is a list), as JSON one document. The output is
// the same for every number of threads. Lines that are no record and records
// whose elements describe no orbit are reported on output.err with their
// line number; the first are not counted, the second are. The catalogue's
// layout is told from its first lines unless `layout` (or
// output.catalogue_format) names one; a catalogue whose path ends in ".gz" is
// read through zlib. Returns 0 after a normal run; 1, with a message and
// nothing on output.out, when the catalogue cannot be opened or read or
// matches no layout, an overlay file cannot be written, or the results
// cannot be written.
int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output, AsteroidScan scan,
                           std::optional<CatalogueLayout> layout);
int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output);

// The same for the one field of a scenario at its instant.
int search_asteroid_field(const Scenario& scenario, const SearchOutput& output, AsteroidScan scan = AsteroidScan::fast,
                          std::optional<CatalogueLayout> layout = std::nullopt);

}  // namespace fieldsearch
