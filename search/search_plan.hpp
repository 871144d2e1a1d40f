// What one run searches: one field or a list of them, each with its instant
// or exposure, and how the run works through the catalogue.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image_frame.hpp"
#include "search_scenario.hpp"
#include "standard_magnitudes.hpp"

namespace fieldsearch {

// One field of a run: the one description from which both what is searched
// (field_request) and what the report restates (field_scenario) follow.
struct FieldSearch {
    std::string id;                      // the field's id in a list of fields; empty for the one field of a run
    double start_utc_mjd = 0.0;          // the exposure's start (the instant itself without one), UTC MJD
    double exposure_s = 0.0;             // the exposure's length, seconds; 0 for one instant
    std::optional<double> mid_utc_mjd;   // the rows' instant when the image's header names it (DATE-AVG)
    FieldCentre centre{};                // the square's centre; an image's centre pixel
    double half_side_arcmin = 0.0;       // half the square's side; for an image half its larger size
    Vector3 observer_earth_fixed;        // km, geocentric
    double mag_limit = 0.0;              // faintest V listed (asteroids; satellites show it only)
    LeapSecondTable leap_seconds = compiled_leap_second_table();
    double ut1_minus_utc_seconds = 0.0;  // |value| < UT1_MINUS_UTC_LIMIT_SECONDS
    std::string image;                         // the image's path, or empty for the square
    std::shared_ptr<const ImageFrame> frame;   // its frame: the field is its footprint
};

// A night's observations to be named instead of fields to be searched.
struct ObservationRun {
    std::string observations_path;
    std::string observatory_codes_path;
    double radius_arcsec = 0.0;
    double motion_tolerance = 0.0;   // "/h for asteroids, "/s for satellites
    int max_candidates = 0;
    std::string identified_path;     // the observations written again with their names; empty for none
};

// The whole run.
// How the asteroids' and comets' orbits are carried from their epochs to the
// instants: unperturbed two-body motion, or integrated under the planets.
enum class Propagation { two_body, n_body };

struct SearchPlan {
    std::vector<FieldSearch> fields;  // in the order their reports are printed
    int threads = 1;                  // threads evaluating the catalogue, at least 1
    std::string theory;               // the satellite theory asked for; empty for the default
    bool listed = false;              // the fields come from a list: each row carries its field's id
    bool sunlit_only = false;         // satellites: list only those lit (sunlit or in penumbra) while in a field
    StandardMagnitudes standard_magnitudes{};  // satellites: from a file, by catalogue number; before the catalogue's own
    Propagation propagation = Propagation::two_body;  // asteroids and comets
    std::optional<ObservationRun> observations{};  // name these observations instead of searching the fields
};

// The field of a scenario searched at its one instant, or over an exposure
// of `exposure_s` seconds from it (rows at mid-exposure).
FieldSearch field_search(const Scenario& scenario, double exposure_s = 0.0);

// The rows' instant of a field, UTC MJD: the header's mid-exposure when it
// names one, else the middle of the exposure (the instant itself without one).
double rows_utc_mjd(const FieldSearch& field);

// The request a field's rows are computed for: its observer, centre, half
// side, limit and clock at the rows' instant.
SearchRequest field_request(const FieldSearch& field);

// The scenario a report restates for a field: its start as a civil instant
// (to the millisecond), its centre, half side, limit and observer.
Scenario field_scenario(const FieldSearch& field);

// True when a run's rows carry their field's id: a list of fields, or more
// than one field.
bool rows_carry_field(const SearchPlan& plan);

// A search driver over a plan: scans the catalogue of `output` for every
// field; returns the program's exit status.
using PlanSearchFunction = int (*)(const SearchPlan& plan, const SearchOutput& output);

}  // namespace fieldsearch
