#include "satellite_search.hpp"

#include <algorithm>
#include <cmath>
#include <array>
#include <optional>
#include <string_view>
#include <string>
#include <utility>
#include <vector>
#include <string_view>

#include "catalogue_file.hpp"
#include "satellite_catalogue.hpp"
#include "exposure_search.hpp"
#include "field_region.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "time_scales.hpp"
#include "ordered_blocks.hpp"
#include "orbit_plane_rule_out.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_speed_bound.hpp"
#include "text_catalogue.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

namespace {

// Element sets are read and evaluated this many at a time.
constexpr std::size_t ENTRIES_PER_BLOCK = 1024;

// Consecutive entries of the catalogue: element sets, sets that cannot be
// evaluated and notices, in catalogue order.
struct EntryBlock {
    std::vector<ElementSetEntry> entries;
    std::size_t used = 0;
};

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

// Rows resting on elements older than this drift by kilometres.
constexpr double STALE_ELEMENTS_DAYS = 14.0;
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

// The overlay mark of a sighting: its place and track (over the exposure, or
// ten seconds of its motion).
OverlayObject overlay_of(const SatelliteSighting& s, const RowExtras& extras)
{
    const std::string label = s.name.data();
    const std::size_t last = label.find_last_not_of(' ');
    return overlay_mark(last == std::string::npos ? std::string(s.norad_id.data()) : label.substr(0, last + 1),
                        s.ra_deg, s.dec_deg, std::nullopt, extras, 10.0 * s.ra_motion / 3600.0,
                        10.0 * s.dec_motion / 3600.0);
}

// The fields that share one instant, with that instant's observer and
// matrices, computed once per run.
struct InstantFields {
    std::vector<std::size_t> fields;                 // indices into the plan
    std::vector<SatelliteSearchGeometry> geometry;   // of each of those fields
    std::vector<FieldCone> cones;                    // of each of those fields, for the orbit-plane test
};

// A problem at the line or record of an entry, as a message line.
std::string entry_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, entry.line, "%s", what.c_str());
}

// False only when the set cannot be in any field of the group at any
// instant of its exposure: the exposure search against the union of the
// fields (inside any; the clearance from outside the nearest, from inside
// the deepest), over the longest exposure, by each theory asked for.
bool may_enter_group(const TleRecord& record, const SatelliteOrbits& orbits, SatelliteTheory theory,
                     const ExposureGroup& group, const std::vector<RegionField>& fields, const char*& problem)
{
    const FieldSearch& first = *fields[group.members.front()].field;
    const SearchRequest& clock = first.request;
    const Vector3 site{{clock.observer_x, clock.observer_y, clock.observer_z}};
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
    const Vector3 site{{field.request.observer_x, field.request.observer_y, field.request.observer_z}};
    const double speed = satellite_speed_bound_km_s(semimajor_axis_km(record.n), record.ecc, site);
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

Scenario satellite_scenario()
{
    Scenario scenario{};
    scenario.instant = {2008, 5, 20, 20, 54, 0.0};
    scenario.observer_earth_fixed(1) = 3395.0303;
    scenario.observer_earth_fixed(2) = 3128.7911;
    scenario.observer_earth_fixed(3) = 4388.8511;
    scenario.centre = field_centre_from_sexagesimal(11, 28, 0.0, false, 1, 16, 0.0);
    scenario.half_side_arcmin = 150;
    scenario.mag_limit = 0.0;
    return scenario;
}

SearchRequest satellite_scenario_request()
{
    return search_request_from_scenario(satellite_scenario());
}

int search_satellite_field(const SearchRequest& request, const SearchOutput& output)
{
    const SearchPlan plan{{field_search_for_request(request)}, 1, {}};
    return search_satellite_fields(plan, output);
}

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

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output)
{
    return search_satellite_fields(plan, output, SatelliteScan::fast);
}

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output, SatelliteScan scan)
{
    const SatelliteTheory theory =
        plan.theory.empty() ? SatelliteTheory::vinti : satellite_theory_from_name(plan.theory).value_or(SatelliteTheory::vinti);
    // Fields at the same instant share its observer, its matrices and each
    // satellite's place at it.
    std::vector<InstantFields> instants;
    std::vector<RegionField> region_fields;
    for (std::size_t i = 0; i < plan.fields.size(); ++i) {
        const FieldSearch& field = plan.fields[i];
        const SearchRequest& request = field.request;
        if (field.frame != nullptr || field.exposure_s > 0.0) {
            const Vector3 site{{request.observer_x, request.observer_y, request.observer_z}};
            SatelliteSearchGeometry geometry = satellite_search_geometry(request);
            geometry.whole_sky = true;
            const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
            region_fields.push_back(
                {i, &field, geometry, field_region(field),
                 observation_instant(field.start_utc_mjd, request.ut1_minus_utc_seconds, request.leap_seconds, site),
                 observation_instant(end, request.ut1_minus_utc_seconds, request.leap_seconds, site)});
            continue;
        }
        auto same = std::find_if(instants.begin(), instants.end(), [&](const InstantFields& group) {
            return group.geometry.front().at.utc_mjd == request.utc_mjd;
        });
        if (same == instants.end()) {
            instants.push_back({{i}, {satellite_search_geometry(request)}, {}});
        } else {
            SatelliteSearchGeometry geometry = same->geometry.front();
            geometry.centre_ra_deg = request.centre_ra_deg;
            geometry.centre_dec_deg = request.centre_dec_deg;
            geometry.half_side_deg = request.half_side_deg;
            same->fields.push_back(i);
            same->geometry.push_back(geometry);
        }
    }

    // The region fields with exposures, grouped by their start; the others
    // (images at an instant) are each tested at their instant.
    std::vector<ExposureGroup> groups;
    std::vector<std::size_t> instant_regions;
    for (std::size_t r = 0; r < region_fields.size(); ++r) {
        const FieldSearch& field = *region_fields[r].field;
        if (field.exposure_s <= 0.0) {
            instant_regions.push_back(r);
            continue;
        }
        auto same = std::find_if(groups.begin(), groups.end(), [&](const ExposureGroup& group) {
            return group.start_utc_mjd == field.start_utc_mjd;
        });
        if (same == groups.end()) {
            groups.push_back({field.start_utc_mjd, field.exposure_s, {r}, region_fields[r].start});
        } else {
            same->longest_s = std::max(same->longest_s, field.exposure_s);
            same->members.push_back(r);
        }
    }

    for (InstantFields& group : instants) {
        for (const SatelliteSearchGeometry& geometry : group.geometry) {
            group.cones.push_back(field_cone(geometry.at, geometry.centre_ra_deg, geometry.centre_dec_deg,
                                             geometry.half_side_deg));
        }
    }
    // The orbit-plane test is shown for Vinti's theory alone.
    const bool plane_test = scan == SatelliteScan::fast && theory == SatelliteTheory::vinti;

    const CatalogueDiagnostics diagnostics{SATFIELD_PROGRAM_NAME, output.catalogue_path, output.err};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    const ExtraColumns extra = extra_columns(plan);
    const bool overlays = output.regions_path != nullptr || output.chart_path != nullptr;
    FieldReports reports(plan, output.format, output.out, satellite_table_header(),
                         with_extra_columns(satellite_csv_header(theory), extra_columns_header(extra)),
                         {"name", "cospar_id", "norad_id", "dec_sign"});
    reports.begin();

    // The element lines are read into records by the evaluating threads.
    SatelliteCatalogueReader catalogue(file, true);
    auto read = [&](EntryBlock& block) {
        block.used = 0;
        while (block.used < ENTRIES_PER_BLOCK) {
            if (block.used == block.entries.size()) {
                block.entries.emplace_back();
            }
            if (!catalogue.next(block.entries[block.used])) {
                break;
            }
            ++block.used;
        }
        return block.used > 0;
    };
    auto evaluate = [&](const EntryBlock& block, BlockFindings& findings) {
        thread_local std::vector<std::size_t> candidates;
        findings.clear();
        thread_local ElementSetEntry read_set;
        for (std::size_t e = 0; e < block.used; ++e) {
            const ElementSetEntry* held = &block.entries[e];
            if (held->kind == EntryKind::lines) {
                read_set.line = held->line;
                read_set.record_index = held->record_index;
                read_three_line_set(held->lines[0], held->lines[1], held->lines[2], read_set);
                held = &read_set;
            }
            const ElementSetEntry& entry = *held;
            if (entry.kind != EntryKind::notice) {
                ++findings.records;
            }
            if (entry.kind != EntryKind::element_set) {
                findings.messages += entry_message(diagnostics, entry, entry.message);
                continue;
            }
            const TleRecord& record = entry.record;
            auto add_row = [&](std::size_t field, const SatelliteSighting& sighting, const RowExtras& extras) {
                FoundRow found{field,
                               text ? satellite_report_row(sighting)
                                    : with_extra_columns(satellite_csv_row(sighting, theory),
                                                         extra_columns_values(extra, extras)),
                               plan.fields[field].request.utc_mjd - tle_epoch_mjd(record),
                               std::nullopt};
                if (overlays && field == 0) {
                    found.overlay = overlay_of(sighting, extras);
                }
                findings.rows.push_back(std::move(found));
            };
            const SatelliteOrbits orbits = satellite_orbits(record, theory);
            const char* problem = orbits.problem;
            const char* sgp4_problem = orbits.sgp4_problem;
            const OrbitPlaneBound plane_bound = plane_test && problem == nullptr && orbits.theory == SatelliteTheory::vinti
                                                    ? orbit_plane_bound(orbits.vinti)
                                                    : OrbitPlaneBound{};
            for (const InstantFields& group : instants) {
                if (problem != nullptr) {
                    break;
                }
                if (plane_bound.usable) {
                    // A set that is in no field of the instant and whose
                    // position there is finite needs no place.
                    OrbitPlane plane =
                        orbit_plane_at(plane_bound, orbits.vinti, orbits.epoch_mjd, record.omega, record.node,
                                       record.mean_anom, record.ndot2, group.geometry.front().at.utc_mjd);
                    if (std::all_of(group.cones.begin(), group.cones.end(),
                                    [&](const FieldCone& cone) {
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
                    problem = at.problem;
                    break;
                }
                if (at.sgp4_problem != nullptr) {
                    sgp4_problem = at.sgp4_problem;
                }
                for (std::size_t k = 0; k < group.fields.size(); ++k) {
                    if (!satellite_places_in_field(at, orbits.theory, group.geometry[k])) {
                        continue;
                    }
                    // In the field: the full evaluation gives the row.
                    const SatelliteEvaluation evaluation = evaluate_satellite(record, group.geometry[k], theory);
                    if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
                        problem = evaluation.problem;
                        break;
                    }
                    if (evaluation.sgp4_problem != nullptr) {
                        sgp4_problem = evaluation.sgp4_problem;
                    }
                    if (evaluation.outcome == SatelliteOutcome::in_field) {
                        add_row(group.fields[k], evaluation.sighting, RowExtras{});
                    }
                }
            }
            // The region fields that may hold the set: every image at an
            // instant, and the members of the exposure groups it may enter.
            candidates.clear();
            candidates.insert(candidates.end(), instant_regions.begin(), instant_regions.end());
            for (const ExposureGroup& group : groups) {
                if (problem != nullptr) {
                    break;
                }
                if (may_enter_group(record, orbits, orbits.theory, group, region_fields, problem)) {
                    candidates.insert(candidates.end(), group.members.begin(), group.members.end());
                }
            }
            std::sort(candidates.begin(), candidates.end());
            for (const std::size_t r : candidates) {
                const RegionField& work = region_fields[r];
                if (problem != nullptr) {
                    break;
                }
                const std::optional<RowExtras> extras = set_in_region(record, orbits, orbits.theory, work, problem);
                if (!extras) {
                    continue;
                }
                // The row at the rows' instant, wherever the set then is.
                const SatelliteEvaluation evaluation = evaluate_satellite(record, work.geometry, theory);
                if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
                    problem = evaluation.problem;
                    break;
                }
                if (evaluation.sgp4_problem != nullptr) {
                    sgp4_problem = evaluation.sgp4_problem;
                }
                RowExtras with_pixel = *extras;
                with_pixel.pixel = field_pixel(work.region, evaluation.sighting.ra_deg, evaluation.sighting.dec_deg);
                add_row(work.index, evaluation.sighting, with_pixel);
            }
            if (problem != nullptr) {
                findings.messages += entry_message(diagnostics, entry, std::string("element set not evaluated: ") + problem);
            } else if (sgp4_problem != nullptr) {
                findings.messages +=
                    entry_message(diagnostics, entry, std::string("element set not evaluated by SGP4: ") + sgp4_problem);
            }
        }
    };
    int read_count = 0;
    auto emit = [&](BlockFindings& findings) { read_count += reports.take(findings, output.err); };
    run_ordered_blocks<EntryBlock, BlockFindings>(plan.threads, read, evaluate, emit);
    // A scan cut short by a read error, or a catalogue that cannot be read as
    // a whole, claims no count.
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    reports.finish(read_count, !reader.read_error() && whole, SATFIELD_PROGRAM_NAME, output.catalogue_path);
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", SATFIELD_PROGRAM_NAME, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    std::fputs(reports.stale_elements_summary(SATFIELD_PROGRAM_NAME, STALE_ELEMENTS_DAYS).c_str(), output.err);
    int status = close_catalogue(diagnostics, file, reader, output.out);
    if (write_field_overlays(plan.fields.front(), output, reports.overlays(), OverlayObjectKind::satellite,
                             SATFIELD_PROGRAM_NAME) != 0) {
        status = 1;
    }
    return whole ? status : 1;
}

}  // namespace fieldsearch
