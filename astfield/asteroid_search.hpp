// The asteroid program's compiled-in scenario and its catalogue scan.
#pragma once

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

// Scans the catalogue of `output`, one record per line, and writes the
// asteroids in the field to output.out: as text the table header, one row
// per asteroid and the count line (rows, records read); as CSV a header line
// and one line per asteroid. Lines that are no record (fewer than 181
// characters, not blank) and records whose elements describe no ellipse are
// reported on output.err with their line number; the first are not counted,
// the second are. Returns 0 after a normal run and 1 when the catalogue
// cannot be opened or read (no rows, no count line) or the results cannot be
// written.
int search_asteroid_field(const SearchRequest& request, const SearchOutput& output);

// How a scan evaluates its records: `fast` first rules out, from the
// geometric place alone, the records that cannot be in the field and
// evaluates only the others in full; `straightforward` evaluates every
// record in full. Both write the same bytes.
enum class AsteroidScan { fast, straightforward };

// search_asteroid_field with the way of evaluation chosen (the overloads
// above scan fast).
int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan);

// Scans the catalogue once for every field of `plan`, on plan.threads
// threads: each field's rows are those search_asteroid_field prints for it,
// in catalogue order; one field's rows go out as they are found, a list of
// fields is printed field by field at the end (text: one complete report per
// field; CSV: one header line, and each row led by its field's id). The
// output is the same for every number of threads. The catalogue's layout is
// told from its first lines unless output.catalogue_format names one; a
// catalogue whose path ends in ".gz" is read through zlib. A catalogue whose
// first lines match no layout is reported and not read (status 1, no rows).
int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output, AsteroidScan scan,
                           std::optional<CatalogueLayout> layout);
int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output);

// search_asteroid_field with the catalogue's layout forced (empty: told from
// its first lines).
int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan,
                          std::optional<CatalogueLayout> layout);

}  // namespace fieldsearch
