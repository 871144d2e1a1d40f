#include "asteroid_search.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "asteroid_speed_bound.hpp"
#include "astorb_record.hpp"
#include "catalogue_file.hpp"
#include "catalogue_record.hpp"
#include "exposure_search.hpp"
#include "field_prefilter.hpp"
#include "field_region.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "light_time.hpp"
#include "night_candidates.hpp"
#include "ordered_blocks.hpp"
#include "text_catalogue.hpp"

namespace fieldsearch {

Scenario asteroid_scenario()
{
    Scenario scenario{};
    scenario.instant = {2008, 5, 20, 5, 14, 0.0};
    scenario.observer_earth_fixed(1) = 3395.0303;
    scenario.observer_earth_fixed(2) = 3128.7911;
    scenario.observer_earth_fixed(3) = 4388.8511;
    scenario.centre = field_centre_from_sexagesimal(0, 0, 10.0, false, 0, 30, 0.0);
    scenario.half_side_arcmin = 60;
    scenario.mag_limit = 20.0;
    return scenario;
}

SearchRequest asteroid_search_request()
{
    return field_request(field_search(asteroid_scenario()));
}

int search_asteroid_field(const Scenario& scenario, const SearchOutput& output, AsteroidScan scan,
                          std::optional<CatalogueLayout> layout)
{
    SearchPlan plan;
    plan.fields.push_back(field_search(scenario));
    return search_asteroid_fields(plan, output, scan, layout);
}

namespace {

// Catalogue lines are read and evaluated this many at a time.
constexpr std::size_t LINES_PER_BLOCK = 2048;
// Rows older than this rest on elements whose two-body places drift by
// arcseconds.
constexpr double STALE_ELEMENTS_DAYS = 100.0;
// The shortest step of the exposure search, seconds.
constexpr double EXPOSURE_RESOLUTION_S = 0.01;

// Consecutive lines of the catalogue, kept in one buffer.
struct CatalogueLines {
    struct Line {
        long number;               // 1-based line of the file
        std::size_t offset;        // into text
        std::size_t length;        // as kept
        std::size_t full_length;   // before any cut
    };
    std::string text;
    std::vector<Line> lines;
    std::string_view line(const Line& l) const { return std::string_view(text).substr(l.offset, l.length); }
};

// Everything the evaluation of one field needs, computed once per run.
struct FieldWork {
    const FieldSearch* field;
    SearchRequest request;       // at the rows' instant
    ObserverPositions observer;  // at the rows' instant and a motion step either side
    FieldPrefilter prefilter;    // for a square at one instant
    bool plain;                  // a square at one instant: the place at that instant decides
    FieldRegion region;
    Vector3 observer_start;      // heliocentric, at the exposure's start and end
    Vector3 observer_end;
};

// What every thread of one scan shares, read-only while the scan runs.
struct AsteroidScanContext {
    const SearchPlan& plan;
    std::vector<FieldWork> fields;
    bool use_night = false;      // the night's plan names each record's candidate fields
    NightPlan night{};
    bool quick = false;          // one square of an astorb catalogue: the orbit alone rules records out
    CatalogueFormat format{};
    CatalogueDiagnostics diagnostics{};
    ExtraColumns extra{};
    bool overlays = false;       // the rows of the first field are marked on overlays
    const FieldReports* reports = nullptr;
};

// The overlay mark of a sighting: its place, magnitude and track (over the
// exposure, or one hour of its motion).
OverlayObject overlay_of(const AsteroidSighting& s, const RowExtras& extras)
{
    const std::string label = std::string(s.number.data()) + " " + s.name.data();
    const std::size_t first = label.find_first_not_of(' ');
    return overlay_mark(
        first == std::string::npos ? std::string() : label.substr(first, label.find_last_not_of(' ') - first + 1),
        s.ra_deg, s.dec_deg, s.magnitude, extras, s.ra_motion / 3600.0, s.dec_motion / 3600.0);
}

// The record's crossing of a field's exposure, with the extra columns it
// fills (places at the start and end, entry and exit, their pixels); empty
// when the record never lies in the field during the exposure.
std::optional<RowExtras> exposure_crossing_extras(const FieldWork& work, const OrbitRecord& record)
{
    const FieldSearch& field = *work.field;
    const double start = field.start_utc_mjd;
    const double length_days = field.exposure_s * DAYS_PER_SECOND;
    const Vector3 site{{work.request.observer_x, work.request.observer_y, work.request.observer_z}};
    auto place = [&](double seconds) {
        if (seconds == 0.0) {
            return orbit_place_at(record, work.observer_start, start);
        }
        if (seconds == field.exposure_s) {
            return orbit_place_at(record, work.observer_end, start + length_days);
        }
        const double t = start + seconds * DAYS_PER_SECOND;
        return orbit_place_at(record,
                              observer_heliocentric_position(t, work.request.ut1_minus_utc_seconds,
                                                             work.request.leap_seconds, site),
                              t);
    };
    auto region = [&](const SkyPlace& p) { return field_region_test(work.region, p); };
    const ExposureCrossing crossing = exposure_crossing(place, region, field.exposure_s,
                                                        relative_speed_bound_km_s(record), EXPOSURE_RESOLUTION_S);
    if (!crossing.evaluated || !crossing.found) {
        return std::nullopt;
    }
    return exposure_extras(crossing, place(0.0), place(field.exposure_s), work.region);
}

// The sighting of a record in a field that is an image or has an exposure,
// with the extra columns: the place at the rows' instant must lie in the
// footprint, or, with an exposure, in the field at some instant of it.
std::optional<AsteroidSighting> sighting_in_region(const FieldWork& work, const OrbitRecord& record,
                                                   RowExtras& extras)
{
    std::optional<AsteroidSighting> sighting = orbit_sighting_anywhere(work.request, work.observer, record);
    if (!sighting || !(sighting->magnitude <= work.request.mag_limit)) {
        return std::nullopt;
    }
    const std::optional<PixelPosition> pixel = field_pixel(work.region, sighting->ra_deg, sighting->dec_deg);
    if (work.field->exposure_s <= 0.0) {
        if (!in_field_region(work.region, sighting->ra_deg, sighting->dec_deg)) {
            return std::nullopt;
        }
        extras.pixel = pixel;
        return sighting;
    }
    const std::optional<RowExtras> crossing = exposure_crossing_extras(work, record);
    if (!crossing) {
        return std::nullopt;
    }
    extras = *crossing;
    extras.pixel = pixel;
    return sighting;
}

// The work of each field of the plan: its request, its observer's
// positions, its longitude window (a lone square of a fast scan) and region.
std::vector<FieldWork> field_works(const SearchPlan& plan, AsteroidScan scan)
{
    std::vector<FieldWork> fields;
    fields.reserve(plan.fields.size());
    for (const FieldSearch& field : plan.fields) {
        const SearchRequest r = field_request(field);
        const ObserverPositions observer = observer_positions(r);
        const bool plain = field.frame == nullptr && field.exposure_s <= 0.0;
        // A lone square meets every record: its longitude window pays.
        FieldPrefilter prefilter = field_prefilter(r, observer.at, plain && plan.fields.size() == 1);
        prefilter.active = prefilter.active && scan == AsteroidScan::fast;
        const Vector3 site{{r.observer_x, r.observer_y, r.observer_z}};
        const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
        fields.push_back({&field, r, observer, prefilter, plain, field_region(field),
                          observer_heliocentric_position(field.start_utc_mjd, r.ut1_minus_utc_seconds, r.leap_seconds, site),
                          observer_heliocentric_position(end, r.ut1_minus_utc_seconds, r.leap_seconds, site)});
    }
    return fields;
}

// The plan of the night over the fields' windows, from the first field's
// observer and clock.
NightPlan night_plan_of(const std::vector<FieldWork>& fields)
{
    std::vector<FieldWindow> windows;
    for (const FieldWork& work : fields) {
        const FieldSearch& field = *work.field;
        const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
        windows.push_back({std::min(field.start_utc_mjd, work.request.utc_mjd), std::max(end, work.request.utc_mjd),
                           work.region.cap.centre, work.region.cap.radius_rad});
    }
    const SearchRequest& r = fields.front().request;
    return night_plan(windows, Vector3{{r.observer_x, r.observer_y, r.observer_z}}, NIGHT_SEGMENT_HOURS,
                      NIGHT_PART_HOURS, r.ut1_minus_utc_seconds, r.leap_seconds);
}

// Reads the next block of lines; false at the end of the catalogue.
bool read_lines(TextCatalogueReader& reader, CatalogueLines& block)
{
    block.text.clear();
    block.lines.clear();
    std::string_view line;
    while (block.lines.size() < LINES_PER_BLOCK && reader.next_line(line)) {
        block.lines.push_back({reader.line_number(), block.text.size(), line.size(), reader.full_length()});
        block.text.append(line);
    }
    return !block.lines.empty();
}

// The fields a record may lie in: those the night's plan names for an
// asteroid, else every field.
void candidate_fields_of(const AsteroidScanContext& scan, const OrbitRecord& record, std::vector<int>& candidates)
{
    candidates.clear();
    if (scan.use_night) {
        if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
            candidate_fields(scan.night, *asteroid, candidates);
            return;
        }
    }
    for (std::size_t i = 0; i < scan.fields.size(); ++i) {
        candidates.push_back(static_cast<int>(i));
    }
}

// Evaluates a record against the fields it may lie in and adds its rows.
// `passed`: the record's orbit already passed the lone square's prefilter.
void evaluate_record(const AsteroidScanContext& scan, const OrbitRecord& record, bool passed, BlockFindings& findings)
{
    thread_local std::vector<int> candidates;
    candidate_fields_of(scan, record, candidates);
    for (const int candidate : candidates) {
        const std::size_t i = static_cast<std::size_t>(candidate);
        const FieldWork& work = scan.fields[i];
        RowExtras extras;
        std::optional<AsteroidSighting> sighting;
        if (work.plain) {
            if (!passed && !may_be_in_field(work.prefilter, record)) {
                continue;
            }
            sighting = orbit_sighting(work.request, work.observer, record);
        } else {
            sighting = sighting_in_region(work, record, extras);
        }
        if (!sighting) {
            continue;
        }
        Row row = asteroid_row(*sighting);
        append_extra_values(scan.extra, extras, row);
        FoundRow found{i, scan.reports->row_text(i, row), sighting->elements_age_days, std::nullopt};
        if (scan.overlays && i == 0) {
            found.overlay = overlay_of(*sighting, extras);
        }
        findings.rows.push_back(std::move(found));
    }
}

// Parses and evaluates the lines of one block, in catalogue order.
void evaluate_block(const AsteroidScanContext& scan, const CatalogueLines& block, BlockFindings& findings)
{
    findings.clear();
    for (const CatalogueLines::Line& entry : block.lines) {
        // A lone square first looks at the orbit alone: a whole record it
        // rules out needs no more reading. The same elements, read in full,
        // get the same answer: a record that passed is not tested again.
        bool passed = false;
        if (scan.quick && entry.number > scan.format.header_lines && entry.full_length >= ASTORB_COLUMNS_READ) {
            const AstorbRecord orbit = parse_astorb_orbit(block.line(entry));
            if (has_elliptic_elements(orbit)) {
                if (!may_be_in_field(scan.fields.front().prefilter, orbit)) {
                    ++findings.records;
                    continue;
                }
                passed = true;
            }
        }
        const CatalogueLine parsed = parse_catalogue_line(scan.format, entry.number, block.line(entry), entry.full_length);
        if (!parsed.problem.empty()) {
            findings.messages += catalogue_line_message(scan.diagnostics, entry.number, "%s", parsed.problem.c_str());
        }
        if (parsed.kind == CatalogueLine::Kind::skipped || parsed.kind == CatalogueLine::Kind::not_a_record) {
            continue;
        }
        ++findings.records;
        if (parsed.kind == CatalogueLine::Kind::record) {
            evaluate_record(scan, parsed.record, passed, findings);
        }
    }
}

// The columns of the run's rows: the asteroid's, then those of its images
// and exposures.
RowFormat run_row_format(const ExtraColumns& extra)
{
    RowFormat format = asteroid_row_format();
    append_extra_columns(extra, format.columns);
    return format;
}

}  // namespace

int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output, AsteroidScan scan_kind,
                           std::optional<CatalogueLayout> forced)
{
    OverlayFiles overlay_files;
    if (!open_overlay_files(output, ASTFIELD_PROGRAM_NAME, overlay_files)) {
        return 1;
    }
    AsteroidScanContext scan{plan, field_works(plan, scan_kind)};
    const bool all_plain = std::all_of(scan.fields.begin(), scan.fields.end(), [](const FieldWork& w) { return w.plain; });
    // One square at one instant: its own test rules records out; otherwise
    // the plan of the night names the fields a record may reach.
    scan.use_night = scan_kind == AsteroidScan::fast && !(scan.fields.size() == 1 && all_plain);
    if (scan.use_night) {
        scan.night = night_plan_of(scan.fields);
    }
    scan.extra = extra_columns(plan);
    scan.overlays = output.regions_path != nullptr || output.chart_path != nullptr;
    scan.diagnostics = {ASTFIELD_PROGRAM_NAME, output.catalogue_path, output.err};

    std::FILE* catalogue = open_catalogue(scan.diagnostics);
    if (catalogue == nullptr) {
        discard_overlay_files(output, overlay_files);
        return 1;
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(scan.diagnostics, forced);
    if (!format) {
        std::fclose(catalogue);
        discard_overlay_files(output, overlay_files);
        return 1;
    }
    scan.format = *format;
    scan.quick = !scan.use_night && scan.fields.size() == 1 && scan.fields.front().plain &&
                 scan.fields.front().prefilter.active && format->layout == CatalogueLayout::astorb;
    FieldReports reports(plan, output.format, run_row_format(scan.extra));
    scan.reports = &reports;

    TextCatalogueReader reader(catalogue, is_compressed_catalogue(output.catalogue_path));
    int records = 0;
    run_ordered_blocks<CatalogueLines, BlockFindings>(
        plan.threads, [&](CatalogueLines& block) { return read_lines(reader, block); },
        [&](const CatalogueLines& block, BlockFindings& findings) { evaluate_block(scan, block, findings); },
        [&](BlockFindings& findings) { records += reports.take(findings, output.err); });
    // A scan cut short by a read error prints nothing.
    const bool complete = !reader.read_error();
    if (complete) {
        std::fputs(reports.output(records, ASTFIELD_PROGRAM_NAME, output.catalogue_path).c_str(), output.out);
        std::fputs(reports.stale_elements_summary(ASTFIELD_PROGRAM_NAME, STALE_ELEMENTS_DAYS).c_str(), output.err);
    }
    int status = close_catalogue(scan.diagnostics, catalogue, reader, output.out);
    if (status != 0) {
        discard_overlay_files(output, overlay_files);
        return status;
    }
    return write_field_overlays(plan.fields.front(), output, overlay_files, reports.overlays(),
                                OverlayObjectKind::asteroid, ASTFIELD_PROGRAM_NAME);
}

int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output)
{
    std::optional<CatalogueLayout> forced;
    if (output.catalogue_format != nullptr) {
        forced = catalogue_layout_from_name(output.catalogue_format);
    }
    return search_asteroid_fields(plan, output, AsteroidScan::fast, forced);
}

}  // namespace fieldsearch
