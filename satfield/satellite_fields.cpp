#include "satellite_fields.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "exposure_search.hpp"
#include "field_region.hpp"
#include "orbit_plane_rule_out.hpp"
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
std::optional<RowExtras> set_in_region(const TleRecord& record, const SatelliteOrbits& orbits, SatelliteTheory theory,
                                       const RegionField& work, const char*& problem)
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
            return sky_place(primary(places, sgp4));
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
            continue;
        }
        auto same = std::find_if(scan.instants.begin(), scan.instants.end(), [&](const InstantFields& group) {
            return group.geometry.front().at.utc_mjd == request.utc_mjd;
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
            if (evaluation.outcome == SatelliteOutcome::in_field) {
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
        const std::optional<RowExtras> extras = set_in_region(record, orbits, orbits.theory, work, problems.problem);
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
    state_ = std::move(state);
}

SatelliteProblems SatelliteFields::evaluate(const TleRecord& record, const SatelliteFound& found) const
{
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
