// The satellite program's compiled-in scenario and its catalogue scan.
#pragma once

#include <optional>
#include <string_view>

#include "satellite_evaluation.hpp"
#include "satellite_fields.hpp"
#include "search_plan.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// The catalogue the compiled-in scenario reads, in the working directory.
inline constexpr const char* SATELLITE_CATALOGUE_PATH = "080520ls.tle";

// The program's name, as its messages begin.
inline constexpr const char* SATFIELD_PROGRAM_NAME = "satfield";

// The compiled-in scenario: 2008 May 20, 20:54 UTC, a field of 5 deg square at
// 11h 28m, +1 deg 16', seen from a fixed observer. The magnitude 0.0 is only
// shown in the header; no magnitude limits satellites.
Scenario satellite_scenario();

// The search request of the compiled-in scenario.
SearchRequest satellite_scenario_request();

// Scans the catalogue once for every field of `plan`, on plan.threads
// threads, and writes the satellites found to output.out once the whole
// catalogue is read: as text each field's report (its header, the table
// header, one row per satellite in catalogue order and the count line of
// rows and complete sets read), as CSV a header line and every row (led by
// its field's id when the plan is a list), as JSON one document. Each set is
// placed once per distinct instant of the fields and tested against every
// field at that instant. The output is the same for every number of
// threads. The catalogue is element sets (of three lines, or two without
// name lines) or OMM as CSV, JSON or XML, recognised from the content (a
// path ending in .gz read through zlib). Over-long lines, sets that lack a
// line or are cut short by the end of the file (not counted), sets with
// short element lines or a field that fails its check, OMM records with a
// keyword missing, given twice, out of range or not understood, and sets
// without a real orbit (counted, not evaluated), and wrong checksums (the
// set still evaluated) are reported on output.err at their line, or record
// for JSON and XML, one line each. The theory is plan.theory: "vinti" (the default when empty),
// "sgp4" or "both" (listed when either theory places the satellite in the
// field; rows show Vinti's place, CSV appends SGP4's and the angle between
// the two). Returns 0 after a normal run; 1, with a message and nothing on
// output.out, when the catalogue cannot be opened or read (a read error, a
// file of no catalogue form, a JSON or XML document that does not parse, a
// CSV header without a required keyword or naming one twice), an overlay file cannot be written, or the results cannot be
// written.
int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output);

// The same for the one field of a scenario at its instant.
int search_satellite_field(const Scenario& scenario, const SearchOutput& output);

// search_satellite_fields with the way of evaluation chosen (the overload
// above scans fast).
int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output, SatelliteScan scan);

}  // namespace fieldsearch
