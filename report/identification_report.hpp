// The report of a night's identification, shared by both programs: the
// leading columns of every row (the observation and its rank), and the
// whole output in each format (the text report grouped by tracklet, CSV,
// JSON) with the closing counts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "observations.hpp"
#include "rows.hpp"
#include "search_scenario.hpp"
#include "text_report.hpp"

namespace fieldsearch {

// The columns every row begins with: tracklet, observation, time_utc,
// station, observed_ra_deg, observed_dec_deg, rank.
RowColumns identification_observation_columns();

// Their values for observation `o` of tracklet `tracklet` (counted from 0,
// shown from 1) at rank `rank` (0: no candidate): the observation's
// position in its file, its UTC instant to the millisecond, its station and
// its J2000 place in degrees to 1e-7.
Row identification_observation_row(std::size_t tracklet, const Observation& o, int rank);

// What the output says of the run besides the rows.
struct IdentificationSummary {
    const char* program;
    std::string observations_path;
    const char* observations_format;    // as observation_format_name gives it
    std::string observatory_codes_path;
    std::size_t stations = 0;           // read from the observatory codes
    std::size_t observations = 0;       // placed at a known station
    const char* catalogue_path;
    double radius_arcsec = 0.0;
    double motion_tolerance = 0.0;
    const char* motion_unit;            // as the text shows it: "arcsec/h" or "arcsec/s"
    const char* motion_tolerance_key;   // its JSON key, e.g. "motion_tolerance_arcsec_per_hour"
    int max_candidates = 0;
    int records_read = 0;
    int identified = 0;                 // tracklets with a candidate
    const char* orbits = nullptr;       // the text header's line (no line end) on how the orbits were
                                        // carried, after the catalogue's; none for two-body motion
};

// One tracklet of the output: its key as shown, its station, how many
// observations and candidates it has and its rows, by rank.
struct TrackletSection {
    std::string designation;
    std::string station;
    std::size_t observations = 0;
    std::size_t candidates = 0;
    std::vector<Row> rows;
};

// The rows of an identification for a caller that holds the catalogue in
// memory: the status of the run and the messages the program would print.
struct ObservationIdentification {
    int status = 0;        // 1: a file cannot be read; 2: observations of no known format (or a bad value)
    std::string error;     // with a status: one line, without the program's name
    std::string messages;  // the observations that cannot be read or placed and the orbits not integrated
                           // (by their place among the records), as the program reports them
    RowColumns columns;
    std::vector<Row> rows;
    int tracklets = 0;
    int identified = 0;    // tracklets with a candidate
};

// The program's whole output for `format`. Text: the run's header lines,
// each tracklet's title, `table_header` and its rows laid out by `layout`,
// and the closing line of the counts. CSV: the header of `columns` and every
// row. JSON: one document with the run's settings, the counts
// (tracklets_read, identified, unidentified) and the rows.
std::string identification_report(OutputFormat format, const IdentificationSummary& summary,
                                   const std::vector<TrackletSection>& tracklets, const RowColumns& columns,
                                   const TextRowLayout& layout, const char* table_header);

}  // namespace fieldsearch
