// The fields of a whole night that one catalogue record may lie in: the night
// is cut into time segments, the asteroid placed once per segment at its
// anchor instant, and a rigorous bound on how far its apparent place can
// stray over the segment picks the fields of that segment worth the full
// evaluation. A field whose full evaluation lists the asteroid at any instant
// of its window is always among them.
#pragma once

#include <vector>

#include "astorb_record.hpp"
#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// One field of the night: its time window and a cap on the sky that contains
// every place the full evaluation accepts for it.
struct FieldWindow {
    double start_utc_mjd;  // start of the exposure, UTC MJD
    double end_utc_mjd;    // its end; equal to start for a single instant
    Vector3 centre;        // direction of the cap's centre, J2000 (normalised on use)
    double radius;         // angular radius of the cap, radians
};

// A field as the index holds it: its centre and the cosine and sine of its
// cap radius.
struct IndexedField {
    int index;  // into the night's field list
    Vector3 centre;
    double cos_radius;
    double sin_radius;
    double radius;
};

// One time segment: its anchor, the observer there and its fields on a grid of
// declination bands cut into right-ascension cells; and the same fields cut
// into shorter parts, for the orbits whose bound over the whole segment is
// too wide.
struct NightSegment {
    double anchor_utc_mjd;
    double half_span_days;        // every window of the segment lies within this of the anchor
    Vector3 observer_position;    // heliocentric, km, J2000, at the anchor
    double largest_radius;        // of the segment's field caps held on the grid, radians
    std::vector<IndexedField> fields;  // ordered by cell; caps wider than a band last
    std::vector<int> band_first_cell;  // per band, its first cell; one more entry closes the last band
    std::vector<int> cell_first_field; // per cell, its first field in `fields`; two more: wide caps, end
    std::vector<NightSegment> parts;   // shorter segments of the same fields; empty when not worth it
};

// Everything candidate_fields needs, built once per night.
struct NightPlan {
    int field_count;
    double observer_speed_km_s;   // bound of the observer's heliocentric speed
    double band_height;           // radians
    int band_count;
    std::vector<NightSegment> segments;
    double ut1_minus_utc_seconds;  // the clock the observer's positions were taken with
    LeapSecondTable leap_seconds;
    // How far (km) the observers of the fields may stand from the observer
    // the plan was made for: fields seen from many sites share one plan made
    // for the geocentre, each record's bound widened by this much.
    double observer_spread_km = 0.0;
};

// Default greatest lengths of a segment and of its parts, hours: every window
// of a segment (part) lies within an interval this long. One position per
// night serves the orbits of the main belt better than several (see
// bench/asteroid_bench.cpp); near the Earth the parts keep the bound tight.
inline constexpr double NIGHT_SEGMENT_HOURS = 12.0;
inline constexpr double NIGHT_PART_HOURS = 1.0;

// An upper bound (km/s) of the heliocentric speed of an observer at the
// geocentric Earth-fixed position `observer_earth_fixed` (km): the Earth's
// greatest orbital speed, the wobble about the Earth-Moon barycentre and the
// rotation.
double observer_speed_bound(const Vector3& observer_earth_fixed);

// The plan for `fields` seen from `observer_earth_fixed` (km, geocentric
// Earth-fixed), its segments at most `segment_hours` long, cut into parts at
// most `part_hours` long, the Earth turned and timed by the clock given.
// Throws
// std::invalid_argument naming the first field whose window or cap is not
// finite, whose end precedes its start or whose radius is negative, and for
// an observer that is not finite.
NightPlan night_plan(const std::vector<FieldWindow>& fields, const Vector3& observer_earth_fixed,
                     double segment_hours = NIGHT_SEGMENT_HOURS, double part_hours = NIGHT_PART_HOURS,
                     double ut1_minus_utc_seconds = 0.0,
                     const LeapSecondTable& leap_seconds = compiled_leap_second_table());

// The greatest heliocentric speed (km/s) of the record's asteroid, at
// perihelion; infinite when the elements do not describe an ellipse.
double perihelion_speed_km_s(const AstorbRecord& record);

// Into `out` (cleared first, its storage reused): the indices, ascending and
// without repeats, of the fields the record's asteroid may lie in. Every field
// for an orbit too eccentric (e >= 0.99) or too fast to bound; none for
// elements that describe no ellipse, which the full evaluation never lists.
// `deviation_km` widens the bound for a place that may lie that far (km)
// from the two-body position (an integrated orbit).
void candidate_fields(const NightPlan& plan, const AstorbRecord& record, std::vector<int>& out,
                      double deviation_km = 0.0);

}  // namespace fieldsearch
