// What one run searches: one field or a list of them, each with its instant
// or exposure, and how the run works through the catalogue.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image_frame.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

// One field of a run, as searched and as reported.
struct FieldSearch {
    std::string id;          // the field's id in a list of fields; empty for the one field of a run
    Scenario scenario;       // what the report header restates (its instant: the exposure's start)
    SearchRequest request;   // the square, the observer, the limit and the instant of the rows (mid-exposure)
    double start_utc_mjd;    // the exposure's start, UTC MJD (the instant itself without an exposure)
    double exposure_s;       // the exposure's length, seconds; 0 for one instant
    std::string image;                         // the image's path, or empty for the square
    std::shared_ptr<const ImageFrame> frame;   // its frame: the field is its footprint
};

// The whole run.
struct SearchPlan {
    std::vector<FieldSearch> fields;  // in the order their reports are printed
    int threads;                      // threads evaluating the catalogue, at least 1
    std::string theory;               // the satellite theory asked for; empty for the default
};

// The field of a scenario searched at its one instant.
FieldSearch field_search_at_instant(const Scenario& scenario);

// The square field of a request at its one instant (no scenario to report).
FieldSearch field_search_for_request(const SearchRequest& request);

// A search driver over a plan: scans the catalogue of `output` for every
// field; returns the program's exit status.
using PlanSearchFunction = int (*)(const SearchPlan& plan, const SearchOutput& output);

}  // namespace fieldsearch
