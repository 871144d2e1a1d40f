// Naming a night's observations with the asteroids and comets of a
// catalogue: every observation a small field at its own instant and
// station, all of them answered in one pass over the catalogue.
#pragma once

#include <string>
#include <vector>

#include "catalogue_record.hpp"
#include "identification_report.hpp"
#include "rows.hpp"
#include "search_plan.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// Defaults of the options, and why. 30": two-body places from elements a
// few months from their epoch stray by arcseconds to tens of arcseconds for
// the near-Earth objects, while a catalogue of 1.4 M objects puts another
// object within 30" of a random place about once in fifty; the motion
// check and the ranking sort out the rest. 10"/h: the fitted rate of a
// tracklet of an hour with 0.5" astrometry is good to about 1"/h, and an
// object that matches a detection in place but moves differently (or a
// stationary source) misses by more than that. Five candidates show the
// near misses without burying the answer.
inline constexpr double ASTEROID_IDENTIFICATION_RADIUS_ARCSEC = 30.0;
inline constexpr double ASTEROID_MOTION_TOLERANCE_ARCSEC_PER_HOUR = 10.0;
inline constexpr int IDENTIFICATION_MAX_CANDIDATES = 5;

// Reads the observations and the observatory codes of plan.observations,
// groups the observations into tracklets, scans the catalogue of `output`
// once on plan.threads threads and writes, for each tracklet, its
// candidates ranked by their RMS offset and then their motion residual (at
// most max_candidates), as a text report grouped by tracklet, CSV or JSON;
// a tracklet without candidates gets its observations' rows with empty
// candidate columns and rank 0. Observations that cannot be read or placed
// (an unknown station) are reported on output.err with their line or
// element and left out. With the plan's n-body propagation each record that
// may reach an observation is integrated once, to the middle of the night,
// and seen from ERFA's Earth; an orbit the integrator cannot carry is
// reported with its line. With identified_path, writes the observations again
// in their own format, each observation of a tracklet with one candidate
// carrying that object's designation. Returns 0 after a normal run; 2 with
// one line and nothing on output.out for an observation file of no known
// format; 1 when a file cannot be read or written.
int identify_asteroid_observations(const SearchPlan& plan, const SearchOutput& output);

// The identification of plan.observations by records already read, as the
// rows the program prints as CSV for it, found in one pass over `records`
// on plan.threads threads.
ObservationIdentification identification_by_records(const SearchPlan& plan, const std::vector<OrbitRecord>& records);

}  // namespace fieldsearch
