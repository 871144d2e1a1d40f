// Naming a night's observations with the satellites of a catalogue: every
// observation a small field at its own instant and station, all of them
// answered in one pass over the element sets.
#pragma once

#include <vector>

#include "identification_report.hpp"
#include "search_plan.hpp"
#include "search_scenario.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

// Defaults of the options, and why. 300": a set a few days old places a
// low satellite within a few km along its track, which is some hundreds of
// arcseconds seen from the ground at 1000 km, while the sky holds so few
// catalogued satellites that another one within 300" of a detection is
// rare; the motion check and the ranking sort out the rest. 5"/s: a
// tracklet of a few seconds with 1" astrometry fits its rate to about
// 1"/s, while low satellites cross the sky at hundreds of arcseconds a
// second, so two satellites on one place at one instant moving within 5"/s
// of each other are rare, and a stationary source misses by far more
// (except against a geostationary satellite, which it resembles).
inline constexpr double SATELLITE_IDENTIFICATION_RADIUS_ARCSEC = 300.0;
inline constexpr double SATELLITE_MOTION_TOLERANCE_ARCSEC_PER_SECOND = 5.0;

// The largest radius a satellite identification takes (arcseconds): each
// observation is searched as a square field around it, which holds its
// circle only for radii of a few degrees.
inline constexpr double SATELLITE_IDENTIFICATION_MAX_RADIUS_ARCSEC = 18000.0;

// Reads the observations and the observatory codes of plan.observations,
// groups the observations into tracklets, scans the element sets of the
// catalogue of `output` once on plan.threads threads (each set placed by
// plan.theory, as the field search places it, at each observation's
// instant from its station; a satellite with several sets by its set whose
// epoch is nearest the tracklet's mean instant) and writes, for each
// tracklet, its candidates
// ranked by their RMS offset and then their motion residual ("/s), at most
// max_candidates, as a text report grouped by tracklet, CSV or JSON; a
// tracklet without candidates gets its observations' rows with empty
// candidate columns and rank 0. Observations that cannot be read or placed
// (an unknown station) and sets that cannot be read or evaluated are
// reported on output.err with their line, record or element and left out.
// Returns 0 after a normal run; 2 with one line and nothing on output.out
// for an observation file of no known format or a radius above
// SATELLITE_IDENTIFICATION_MAX_RADIUS_ARCSEC; 1 when a file cannot be read.
int identify_satellite_observations(const SearchPlan& plan, const SearchOutput& output);

// The identification of plan.observations by element sets already read, as
// the rows the program prints as CSV for it, found in one pass over
// `records` on plan.threads threads.
ObservationIdentification satellite_identification_by_records(const SearchPlan& plan,
                                                               const std::vector<TleRecord>& records);

}  // namespace fieldsearch
