#include "satellite_search.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue_file.hpp"
#include "exposure_search.hpp"
#include "field_region.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "orbit_plane_rule_out.hpp"
#include "ordered_blocks.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_speed_bound.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"
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

// What every thread of one scan shares, read-only while the scan runs.
struct SatelliteScanContext {
    const SearchPlan& plan;
    SatelliteTheory theory = SatelliteTheory::vinti;
    std::vector<InstantFields> instants{};       // the squares at one instant, grouped by instant
    std::vector<RegionField> region_fields{};    // images and exposures
    std::vector<ExposureGroup> groups{};         // the region fields with exposures, by their start
    std::vector<std::size_t> instant_regions{};  // the region fields that are images at an instant
    bool plane_test = false;                   // rule sets out by their orbit plane first
    CatalogueDiagnostics diagnostics{};
    ExtraColumns extra{};
    bool overlays = false;                     // the rows of the first field are marked on overlays
    const FieldReports* reports = nullptr;
};

// Sorts the plan's fields: squares at one instant into groups by instant
// (sharing the instant's observer, matrices and each set's place there),
// images and exposures into region fields, those with exposures into groups
// by their start.
void sort_fields(SatelliteScanContext& scan)
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

// Reads the next block of entries; false at the end of the catalogue.
bool read_entries(SatelliteCatalogueReader& catalogue, EntryBlock& block)
{
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
}

// Adds the row of a set found in field `field`.
void add_row(const SatelliteScanContext& scan, std::size_t field, const TleRecord& record,
             const SatelliteSighting& sighting, const RowExtras& extras, BlockFindings& findings)
{
    const double age_days = rows_utc_mjd(scan.plan.fields[field]) - tle_epoch_mjd(record);
    Row row = satellite_row(sighting, scan.theory);
    append_extra_values(scan.extra, extras, row);
    row.values.push_back(real_value(age_days, 5));
    FoundRow found{field, scan.reports->row_text(field, row), age_days, std::nullopt};
    if (scan.overlays && field == 0) {
        found.overlay = overlay_of(sighting, extras);
    }
    findings.rows.push_back(std::move(found));
}

// Why a set could not be evaluated, by any theory or by SGP4 alone.
struct SetProblems {
    const char* problem = nullptr;
    const char* sgp4_problem = nullptr;
};

// The set at each instant of the squares: ruled out by its orbit plane where
// it can be, else placed once and tested against every square of the
// instant, with the full evaluation for each square it lies in.
void place_at_instants(const SatelliteScanContext& scan, const TleRecord& record, const SatelliteOrbits& orbits,
                       SetProblems& problems, BlockFindings& findings)
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
                add_row(scan, group.fields[k], record, evaluation.sighting, RowExtras{}, findings);
            }
        }
    }
}

// The set against the region fields that may hold it: every image at an
// instant, and the members of the exposure groups it may enter; a row for
// each it lies in, at the rows' instant wherever the set then is.
void place_in_regions(const SatelliteScanContext& scan, const TleRecord& record, const SatelliteOrbits& orbits,
                      SetProblems& problems, BlockFindings& findings)
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
        add_row(scan, work.index, record, evaluation.sighting, with_pixel, findings);
    }
}

// Reads the entries of one block into records and evaluates them, in
// catalogue order: a count and a message for what is no element set, rows
// for the sets in a field, a message for a set a theory cannot evaluate.
void evaluate_block(const SatelliteScanContext& scan, const EntryBlock& block, BlockFindings& findings)
{
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
            findings.messages += entry_message(scan.diagnostics, entry, entry.message);
            continue;
        }
        const TleRecord& record = entry.record;
        const SatelliteOrbits orbits = satellite_orbits(record, scan.theory);
        SetProblems problems{orbits.problem, orbits.sgp4_problem};
        place_at_instants(scan, record, orbits, problems, findings);
        place_in_regions(scan, record, orbits, problems, findings);
        if (problems.problem != nullptr) {
            findings.messages +=
                entry_message(scan.diagnostics, entry, std::string("element set not evaluated: ") + problems.problem);
        } else if (problems.sgp4_problem != nullptr) {
            findings.messages += entry_message(scan.diagnostics, entry,
                                               std::string("element set not evaluated by SGP4: ") + problems.sgp4_problem);
        }
    }
}

// The columns of the run's rows: the satellite's under the theory, those of
// its images and exposures, then the age of the elements.
RowFormat run_row_format(SatelliteTheory theory, const ExtraColumns& extra)
{
    RowFormat format = satellite_row_format(theory);
    append_extra_columns(extra, format.columns);
    format.columns.push_back("elements_age_days");
    return format;
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
    return field_request(field_search(satellite_scenario()));
}

int search_satellite_field(const Scenario& scenario, const SearchOutput& output)
{
    SearchPlan plan;
    plan.fields.push_back(field_search(scenario));
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

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output, SatelliteScan scan_kind)
{
    OverlayFiles overlay_files;
    if (!open_overlay_files(output, SATFIELD_PROGRAM_NAME, overlay_files)) {
        return 1;
    }
    SatelliteScanContext scan{plan};
    scan.theory = plan.theory.empty() ? SatelliteTheory::vinti
                                      : satellite_theory_from_name(plan.theory).value_or(SatelliteTheory::vinti);
    sort_fields(scan);
    // The orbit-plane test is shown for Vinti's theory alone.
    scan.plane_test = scan_kind == SatelliteScan::fast && scan.theory == SatelliteTheory::vinti;
    scan.diagnostics = {SATFIELD_PROGRAM_NAME, output.catalogue_path, output.err};
    scan.extra = extra_columns(plan);
    scan.overlays = output.regions_path != nullptr || output.chart_path != nullptr;

    std::FILE* file = open_catalogue(scan.diagnostics);
    if (file == nullptr) {
        discard_overlay_files(output, overlay_files);
        return 1;
    }
    FieldReports reports(plan, output.format, run_row_format(scan.theory, scan.extra));
    scan.reports = &reports;

    // The element lines are read into records by the evaluating threads.
    SatelliteCatalogueReader catalogue(file, true);
    int read_count = 0;
    run_ordered_blocks<EntryBlock, BlockFindings>(
        plan.threads, [&](EntryBlock& block) { return read_entries(catalogue, block); },
        [&](const EntryBlock& block, BlockFindings& findings) { evaluate_block(scan, block, findings); },
        [&](BlockFindings& findings) { read_count += reports.take(findings, output.err); });
    // A scan cut short by a read error, or a catalogue that cannot be read as
    // a whole, prints nothing.
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", SATFIELD_PROGRAM_NAME, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    if (whole && !reader.read_error()) {
        std::fputs(reports.output(read_count, SATFIELD_PROGRAM_NAME, output.catalogue_path).c_str(), output.out);
        std::fputs(reports.stale_elements_summary(SATFIELD_PROGRAM_NAME, STALE_ELEMENTS_DAYS).c_str(), output.err);
    }
    const int status = close_catalogue(scan.diagnostics, file, reader, output.out);
    if (status != 0 || !whole) {
        discard_overlay_files(output, overlay_files);
        return 1;
    }
    return write_field_overlays(plan.fields.front(), output, overlay_files, reports.overlays(),
                                OverlayObjectKind::satellite, SATFIELD_PROGRAM_NAME);
}

}  // namespace fieldsearch
