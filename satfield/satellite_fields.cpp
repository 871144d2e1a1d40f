#include "satellite_fields.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "angles.hpp"
#include "exposure_search.hpp"
#include "field_region.hpp"
#include "illumination.hpp"
#include "orbit_plane_rule_out.hpp"
#include "planet_ephemeris.hpp"
#include "satellite_observer.hpp"
#include "satellite_speed_bound.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// A field that is an image or has an exposure: each set is tested against
// it on its own, at the instants the exposure search asks for.
struct RegionField {
    std::size_t index;                  // into the plan
    const FieldSearch* field;
    SatelliteSearchGeometry geometry;   // at the rows' instant, no square
    FieldRegion region;
    ObservationInstant start;           // the exposure's start and end
    ObservationInstant end;
    Vector3 sun_start{};                // the Sun's geometric geocentric position there (km, J2000)
    Vector3 sun_end{};
};

// Fields with exposures that start at one instant: one search over the
// longest of them tells whether a set can enter any, before each is
// searched alone.
struct ExposureGroup {
    double start_utc_mjd;
    double longest_s;
    std::vector<std::size_t> members;  // indices into the region fields
    ObservationInstant start;          // at the common start, shared by the members' first samples
};

// The samples of an exposure between its start and end are taken through
// observation_instant_near: their places may differ from exact ones by this
// much (radians), which the clearances give up.
constexpr double NEAR_INSTANT_MARGIN_RAD = 1e-7;

// The shortest step of the exposure search, seconds.
constexpr double EXPOSURE_RESOLUTION_S = 0.001;

// How fast the direction of the Sun turns about the Earth (radians per
// second: the Earth's orbital rate at perihelion is 2.06e-7) and how fast the
// umbra's cone changes its shape as the Sun's distance changes (km/s: its
// vertex moves at 0.0092 times the rate of that distance, which is below
// 0.51 km/s).
constexpr double SUN_TURN_RATE_BOUND_RAD_S = 2.1e-7;
constexpr double UMBRA_SHAPE_RATE_BOUND_KM_S = 0.01;

// Taken off the distance to the umbra's edge (km, and a part of the
// satellite's geocentric distance): the Sun between the exposure's ends
// interpolated (sun_between) and the frame of the samples inside it kept
// from the start (observation_instant_near) move the edge by less.
constexpr double UMBRA_MARGIN_KM = 0.01;
constexpr double UMBRA_MARGIN_PER_KM = 2e-6;

// The Sun's geocentric position `fraction` (0 to 1) of the way from `start`
// to `end`, positions at most a day apart: turned in their plane at a steady
// rate, its distance changing steadily. The Sun's own path departs from
// that by less than 1.5e-6 rad over a day (its rate changes with the Earth's
// distance from it) and 3e-9 rad over an hour (against ERFA through 2008).
Vector3 sun_between(const Vector3& start, const Vector3& end, double fraction)
{
    const double a = std::sqrt(dot_product(start, start));
    const double b = std::sqrt(dot_product(end, end));
    const double angle = angle_between(start, end);
    const double length = a + fraction * (b - a);
    Vector3 v;
    if (!(angle > 1e-12)) {
        for (int i = 1; i <= 3; ++i) {
            v(i) = start(i) / a * length;
        }
        return v;
    }
    // The unit vector of the start and the one at right angles to it towards the end.
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double turn = fraction * angle;
    for (int i = 1; i <= 3; ++i) {
        const double u = start(i) / a;
        const double w = (end(i) / b - c * u) / s;
        v(i) = (std::cos(turn) * u + std::sin(turn) * w) * length;
    }
    return v;
}

// Puts the satellite's being lit (not in umbra) into the exposure search's
// place as its condition, with the observer at `observer_j2000` and the Sun
// at `sun` (geocentric, km, J2000) and `speed_bound_km_s` the search's bound
// of the satellite's speed relative to the observer (which bounds its
// geocentric speed too). The satellite, d km from the umbra's edge, cannot
// reach it before d / V seconds, V bounding how fast it nears the moving
// edge: its own speed, plus the speed of the points of the edge within
// r + 2 d of the Earth's centre (r its distance) as the Sun turns, plus the
// change of the cone's shape. The search steps by rho sin(c) / speed_bound
// for a clearance c, so c = asin(d speed_bound / (rho V)) steps no further.
void add_lit_condition(SkyPlace& place, const Vector3& observer_j2000, const Vector3& sun, double speed_bound_km_s)
{
    if (!place.ok) {
        return;
    }
    Vector3 geocentric;
    for (int i = 1; i <= 3; ++i) {
        geocentric(i) = place.direction(i) * place.distance_km + observer_j2000(i);
    }
    const double r = std::sqrt(dot_product(geocentric, geocentric));
    place.condition_holds = earth_shadow(geocentric, sun).state != ShadowState::umbra;
    const double d = std::max(0.0, umbra_boundary_distance_km(geocentric, sun) - UMBRA_MARGIN_KM - UMBRA_MARGIN_PER_KM * r);
    const double nearing = speed_bound_km_s + SUN_TURN_RATE_BOUND_RAD_S * (r + 2.0 * d) + UMBRA_SHAPE_RATE_BOUND_KM_S;
    place.condition_clearance_rad = std::asin(std::min(1.0, d * speed_bound_km_s / (place.distance_km * nearing)));
}

// The place of a theory's spherical coordinates as the exposure search takes it.
SkyPlace sky_place(const SphericalCoordinates& p)
{
    SkyPlace place{};
    place.ok = std::isfinite(p.ra_deg) && std::isfinite(p.dec_deg) && p.distance > 0.0;
    place.ra_deg = p.ra_deg;
    place.dec_deg = p.dec_deg;
    place.direction = unit_vector_from_sky(p.ra_deg, p.dec_deg);
    place.distance_km = p.distance;
    return place;
}

// The fields that share one instant, with that instant's observer and
// matrices, computed once per run.
struct InstantFields {
    std::vector<std::size_t> fields;                 // indices into the plan
    std::vector<SatelliteSearchGeometry> geometry;   // of each of those fields
    std::vector<FieldCone> cones;                    // of each of those fields, for the orbit-plane test
};

// False only when the set cannot be in any field of the group at any
// instant of its exposure: the exposure search against the union of the
// fields (inside any; the clearance from outside the nearest, from inside
// the deepest), over the longest exposure, by each theory asked for.
bool may_enter_group(const TleRecord& record, const SatelliteOrbits& orbits, SatelliteTheory theory,
                     const ExposureGroup& group, const std::vector<RegionField>& fields, const char*& problem)
{
    const Vector3& site = fields[group.members.front()].field->observer_earth_fixed;
    const double speed = satellite_speed_bound_km_s(semimajor_axis_km(record.n), record.ecc, site);
    const bool theories[] = {theory != SatelliteTheory::sgp4, theory != SatelliteTheory::vinti};
    for (int k = 0; k < 2; ++k) {
        if (!theories[k]) {
            continue;
        }
        auto place = [&](double seconds) {
            ObservationInstant other;
            const ObservationInstant* instant = &group.start;
            if (seconds != 0.0) {
                other = observation_instant_near(group.start, group.start_utc_mjd + seconds * DAYS_PER_SECOND);
                instant = &other;
            }
            const SatellitePlaces places = satellite_places(record, orbits, *instant);
            if (places.problem != nullptr) {
                problem = places.problem;
                return SkyPlace{};
            }
            return sky_place(k == 1 ? places.sgp4 : places.vinti);
        };
        auto region = [&](const SkyPlace& p) {
            RegionTest united{false, INFINITY};
            double deepest = 0.0;
            for (std::size_t member : group.members) {
                const RegionTest test = field_region_test(fields[member].region, p);
                if (test.inside) {
                    united.inside = true;
                    deepest = std::max(deepest, test.clearance_rad);
                } else {
                    united.clearance_rad = std::min(united.clearance_rad, test.clearance_rad);
                }
            }
            if (united.inside) {
                united.clearance_rad = deepest;
            }
            united.clearance_rad = std::max(0.0, united.clearance_rad - NEAR_INSTANT_MARGIN_RAD);
            return united;
        };
        const ExposureCrossing crossing =
            exposure_crossing(place, region, group.longest_s, speed, EXPOSURE_RESOLUTION_S);
        if (problem != nullptr) {
            return false;
        }
        // A search that could not be made leaves the decision to each field.
        if (!crossing.evaluated || crossing.found) {
            return true;
        }
    }
    return false;
}

// Whether the set lies in a region field: at the rows' instant for an image,
// at some instant of the exposure otherwise (by the theory's place; with
// both theories, by either), with the extra columns; empty when it does not.
// `problem` is set when a theory gives no place at an instant asked for.
// With `sunlit_only` the search of an exposure finds where the set is both in
// the field and lit.
std::optional<RowExtras> set_in_region(const TleRecord& record, const SatelliteOrbits& orbits, SatelliteTheory theory,
                                       const RegionField& work, bool sunlit_only, const char*& problem)
{
    const FieldSearch& field = *work.field;
    RowExtras extras;
    auto primary = [&](const SatellitePlaces& places, bool sgp4) { return sgp4 ? places.sgp4 : places.vinti; };
    const bool theories[] = {theory != SatelliteTheory::sgp4, theory != SatelliteTheory::vinti};
    if (field.exposure_s <= 0.0) {
        const SatellitePlaces at = satellite_places(record, orbits, work.geometry.at);
        if (at.problem != nullptr) {
            problem = at.problem;
            return std::nullopt;
        }
        for (int k = 0; k < 2; ++k) {
            if (theories[k] && in_field_region(work.region, primary(at, k == 1).ra_deg, primary(at, k == 1).dec_deg)) {
                return extras;
            }
        }
        return std::nullopt;
    }
    const double speed = satellite_speed_bound_km_s(semimajor_axis_km(record.n), record.ecc, field.observer_earth_fixed);
    for (int k = 0; k < 2 && !extras.exposure; ++k) {
        if (!theories[k]) {
            continue;
        }
        const bool sgp4 = k == 1;
        auto place = [&](double seconds) {
            const ObservationInstant* instant = seconds == 0.0 ? &work.start
                                                : seconds == field.exposure_s ? &work.end
                                                                              : nullptr;
            ObservationInstant other;
            if (instant == nullptr) {
                other = observation_instant_near(work.start, field.start_utc_mjd + seconds * DAYS_PER_SECOND);
                instant = &other;
            }
            const SatellitePlaces places = satellite_places(record, orbits, *instant);
            if (places.problem != nullptr) {
                problem = places.problem;
                return SkyPlace{};
            }
            SkyPlace p = sky_place(primary(places, sgp4));
            if (sunlit_only) {
                add_lit_condition(p, instant->observer_j2000,
                                  sun_between(work.sun_start, work.sun_end, seconds / field.exposure_s), speed);
            }
            return p;
        };
        auto region = [&](const SkyPlace& p) {
            RegionTest test = field_region_test(work.region, p);
            test.clearance_rad = std::max(0.0, test.clearance_rad - NEAR_INSTANT_MARGIN_RAD);
            return test;
        };
        const ExposureCrossing crossing =
            exposure_crossing(place, region, field.exposure_s, speed, EXPOSURE_RESOLUTION_S);
        if (problem != nullptr || !crossing.evaluated || !crossing.found) {
            continue;
        }
        extras = exposure_extras(crossing, place(0.0), place(field.exposure_s), work.region);
    }
    if (!extras.exposure) {
        return std::nullopt;
    }
    return extras;
}

}  // namespace

// What the fields of a run hold for the evaluation of sets.
struct SatelliteFields::State {
    const SearchPlan& plan;
    SatelliteTheory theory = SatelliteTheory::vinti;
    std::vector<InstantFields> instants{};       // the squares at one instant, grouped by instant
    std::vector<RegionField> region_fields{};    // images and exposures
    std::vector<ExposureGroup> groups{};         // the region fields with exposures, by their start
    std::vector<std::size_t> instant_regions{};  // the region fields that are images at an instant
    bool plane_test = false;                     // rule sets out by their orbit plane first
    ExtraColumns extra{};
    bool sunlit_only = false;                    // list only the sets lit while in a field
};

namespace {

// Sorts the plan's fields: squares at one instant into groups by instant
// (sharing the instant's observer, matrices and each set's place there),
// images and exposures into region fields, those with exposures into groups
// by their start.
void sort_fields(SatelliteFields::State& scan)
{
    const SearchPlan& plan = scan.plan;
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldSearch& field = plan.fields[i];
        const SearchRequest request = field_request(field);
        if (field.frame != nullptr || field.exposure_s > 0.0) {
            const Vector3& site = field.observer_earth_fixed;
            SatelliteSearchGeometry geometry = satellite_search_geometry(request);
            geometry.whole_sky = true;
            const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
            scan.region_fields.push_back(
                {i, &field, geometry, field_region(field),
                 observation_instant(field.start_utc_mjd, request.ut1_minus_utc_seconds, request.leap_seconds, site),
                 observation_instant(end, request.ut1_minus_utc_seconds, request.leap_seconds, site)});
            if (field.exposure_s > 0.0) {
                const auto sun_at = [&](double utc) {
                    return sun_geocentric_position_km(tdb_from_tt(tt_from_utc(utc, request.leap_seconds).tt));
                };
                scan.region_fields.back().sun_start = sun_at(field.start_utc_mjd);
                scan.region_fields.back().sun_end = sun_at(end);
            }
            continue;
        }
        // One instant from one site: fields seen from different sites at one
        // instant (a night's observations) each have their own observer.
        auto same = std::find_if(scan.instants.begin(), scan.instants.end(), [&](const InstantFields& group) {
            const Vector3& site = plan.fields[group.fields.front()].observer_earth_fixed;
            return group.geometry.front().at.utc_mjd == request.utc_mjd && site(1) == field.observer_earth_fixed(1) &&
                   site(2) == field.observer_earth_fixed(2) && site(3) == field.observer_earth_fixed(3);
        });
        if (same == scan.instants.end()) {
            scan.instants.push_back({{i}, {satellite_search_geometry(request)}, {}});
        } else {
            SatelliteSearchGeometry geometry = same->geometry.front();
            geometry.centre_ra_deg = request.centre_ra_deg;
            geometry.centre_dec_deg = request.centre_dec_deg;
            geometry.half_side_deg = request.half_side_deg;
            same->fields.push_back(i);
            same->geometry.push_back(geometry);
        }
    }
    for (std::size_t r = 0; r < scan.region_fields.size(); ++r) {
        const FieldSearch& field = *scan.region_fields[r].field;
        if (field.exposure_s <= 0.0) {
            scan.instant_regions.push_back(r);
            continue;
        }
        auto same = std::find_if(scan.groups.begin(), scan.groups.end(), [&](const ExposureGroup& group) {
            return group.start_utc_mjd == field.start_utc_mjd;
        });
        if (same == scan.groups.end()) {
            scan.groups.push_back({field.start_utc_mjd, field.exposure_s, {r}, scan.region_fields[r].start});
        } else {
            same->longest_s = std::max(same->longest_s, field.exposure_s);
            same->members.push_back(r);
        }
    }
    for (InstantFields& group : scan.instants) {
        for (const SatelliteSearchGeometry& geometry : group.geometry) {
            group.cones.push_back(field_cone(geometry.at, geometry.centre_ra_deg, geometry.centre_dec_deg,
                                             geometry.half_side_deg));
        }
    }
}

// The set at each instant of the squares: ruled out by its orbit plane where
// it can be, else placed once and tested against every square of the
// instant, with the full evaluation for each square it lies in.
void place_at_instants(const SatelliteFields::State& scan, const TleRecord& record, const SatelliteOrbits& orbits,
                       SatelliteProblems& problems, const SatelliteFound& found)
{
    const OrbitPlaneBound plane_bound = scan.plane_test && problems.problem == nullptr &&
                                                orbits.theory == SatelliteTheory::vinti
                                            ? orbit_plane_bound(orbits.vinti)
                                            : OrbitPlaneBound{};
    for (const InstantFields& group : scan.instants) {
        if (problems.problem != nullptr) {
            return;
        }
        if (plane_bound.usable) {
            // A set that is in no field of the instant and whose position
            // there is finite needs no place.
            OrbitPlane plane = orbit_plane_at(plane_bound, orbits.vinti, orbits.epoch_mjd, record.omega, record.node,
                                              record.mean_anom, record.ndot2, group.geometry.front().at.utc_mjd);
            if (std::all_of(group.cones.begin(), group.cones.end(), [&](const FieldCone& cone) {
                    if (plane_misses_field(plane, cone)) {
                        return true;
                    }
                    add_orbit_track(plane_bound, plane);
                    return track_misses_field(plane, cone);
                })) {
                continue;
            }
        }
        const SatellitePlaces at = satellite_places(record, orbits, group.geometry.front().at);
        if (at.problem != nullptr) {
            problems.problem = at.problem;
            return;
        }
        if (at.sgp4_problem != nullptr) {
            problems.sgp4_problem = at.sgp4_problem;
        }
        for (std::size_t k = 0; k < group.fields.size(); ++k) {
            if (!satellite_places_in_field(at, orbits.theory, group.geometry[k])) {
                continue;
            }
            // In the field: the full evaluation gives the row.
            const SatelliteEvaluation evaluation = evaluate_satellite(record, group.geometry[k], scan.theory);
            if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
                problems.problem = evaluation.problem;
                return;
            }
            if (evaluation.sgp4_problem != nullptr) {
                problems.sgp4_problem = evaluation.sgp4_problem;
            }
            if (evaluation.outcome == SatelliteOutcome::in_field &&
                (!scan.sunlit_only || sighting_is_lit(evaluation.sighting))) {
                found(group.fields[k], evaluation.sighting, RowExtras{});
            }
        }
    }
}

// The set against the region fields that may hold it: every image at an
// instant, and the members of the exposure groups it may enter; a row for
// each it lies in, at the rows' instant wherever the set then is.
void place_in_regions(const SatelliteFields::State& scan, const TleRecord& record, const SatelliteOrbits& orbits,
                      SatelliteProblems& problems, const SatelliteFound& found)
{
    thread_local std::vector<std::size_t> candidates;
    candidates.clear();
    candidates.insert(candidates.end(), scan.instant_regions.begin(), scan.instant_regions.end());
    for (const ExposureGroup& group : scan.groups) {
        if (problems.problem != nullptr) {
            return;
        }
        if (may_enter_group(record, orbits, orbits.theory, group, scan.region_fields, problems.problem)) {
            candidates.insert(candidates.end(), group.members.begin(), group.members.end());
        }
    }
    std::sort(candidates.begin(), candidates.end());
    for (const std::size_t r : candidates) {
        const RegionField& work = scan.region_fields[r];
        if (problems.problem != nullptr) {
            return;
        }
        const std::optional<RowExtras> extras =
            set_in_region(record, orbits, orbits.theory, work, scan.sunlit_only, problems.problem);
        if (!extras) {
            continue;
        }
        const SatelliteEvaluation evaluation = evaluate_satellite(record, work.geometry, scan.theory);
        if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
            problems.problem = evaluation.problem;
            return;
        }
        if (evaluation.sgp4_problem != nullptr) {
            problems.sgp4_problem = evaluation.sgp4_problem;
        }
        // An image at an instant holds a set lit at that instant; an
        // exposure's search has already asked for the light in the field.
        if (scan.sunlit_only && work.field->exposure_s <= 0.0 && !sighting_is_lit(evaluation.sighting)) {
            continue;
        }
        RowExtras with_pixel = *extras;
        with_pixel.pixel = field_pixel(work.region, evaluation.sighting.ra_deg, evaluation.sighting.dec_deg);
        found(work.index, evaluation.sighting, with_pixel);
    }
}

}  // namespace

std::optional<SatelliteTheory> satellite_theory_from_name(std::string_view name)
{
    if (name == "vinti") {
        return SatelliteTheory::vinti;
    }
    if (name == "sgp4") {
        return SatelliteTheory::sgp4;
    }
    if (name == "both") {
        return SatelliteTheory::both;
    }
    return std::nullopt;
}

SatelliteFields::SatelliteFields(const SearchPlan& plan, SatelliteScan scan)
{
    auto state = std::make_shared<State>(State{plan});
    state->theory = plan.theory.empty() ? SatelliteTheory::vinti
                                        : satellite_theory_from_name(plan.theory).value_or(SatelliteTheory::vinti);
    sort_fields(*state);
    // The orbit-plane test is shown for Vinti's theory alone.
    state->plane_test = scan == SatelliteScan::fast && state->theory == SatelliteTheory::vinti;
    state->extra = extra_columns(plan);
    state->sunlit_only = plan.sunlit_only;
    state_ = std::move(state);
}

SatelliteProblems SatelliteFields::evaluate(const TleRecord& catalogued, const SatelliteFound& found) const
{
    // A standard magnitude from the plan's file goes before the catalogue's own.
    const TleRecord* chosen = &catalogued;
    TleRecord with_magnitude;
    if (const std::optional<double> magnitude =
            standard_magnitude_of(state_->plan.standard_magnitudes, catalogued.norad_number)) {
        with_magnitude = catalogued;
        with_magnitude.standard_magnitude = magnitude;
        chosen = &with_magnitude;
    }
    const TleRecord& record = *chosen;
    const SatelliteOrbits orbits = satellite_orbits(record, state_->theory);
    SatelliteProblems problems{orbits.problem, orbits.sgp4_problem};
    place_at_instants(*state_, record, orbits, problems, found);
    place_in_regions(*state_, record, orbits, problems, found);
    return problems;
}

SatelliteTheory SatelliteFields::theory() const
{
    return state_->theory;
}

const ExtraColumns& SatelliteFields::extra() const
{
    return state_->extra;
}

}  // namespace fieldsearch
