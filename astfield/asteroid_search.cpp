#include "asteroid_search.hpp"

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "asteroid_speed_bound.hpp"
#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "catalogue_file.hpp"
#include "field_prefilter.hpp"
#include "exposure_search.hpp"
#include "field_region.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "night_candidates.hpp"
#include "light_time.hpp"
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
    return search_request_from_scenario(asteroid_scenario());
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output)
{
    return search_asteroid_field(request, output, AsteroidScan::fast);
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan)
{
    return search_asteroid_field(request, output, scan, std::nullopt);
}

int search_asteroid_field(const SearchRequest& request, const SearchOutput& output, AsteroidScan scan,
                          std::optional<CatalogueLayout> layout)
{
    const SearchPlan plan{{field_search_for_request(request)}, 1, {}};
    return search_asteroid_fields(plan, output, scan, layout);
}

namespace {

// Catalogue lines are read and evaluated this many at a time.
constexpr std::size_t LINES_PER_BLOCK = 2048;

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

// Rows older than this rest on elements whose two-body places drift by
// arcseconds.
constexpr double STALE_ELEMENTS_DAYS = 100.0;
// The shortest step of the exposure search, seconds.
constexpr double EXPOSURE_RESOLUTION_S = 0.01;
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
    extras.pixel = field_pixel(work.region, sighting->ra_deg, sighting->dec_deg);
    const FieldSearch& field = *work.field;
    if (field.exposure_s <= 0.0) {
        if (!in_field_region(work.region, sighting->ra_deg, sighting->dec_deg)) {
            return std::nullopt;
        }
        return sighting;
    }
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
    const std::optional<PixelPosition> pixel = extras.pixel;
    extras = exposure_extras(crossing, place(0.0), place(field.exposure_s), work.region);
    extras.pixel = pixel;
    return sighting;
}

}  // namespace

int search_asteroid_fields(const SearchPlan& plan, const SearchOutput& output, AsteroidScan scan,
                           std::optional<CatalogueLayout> forced)
{
    std::vector<FieldWork> fields;
    fields.reserve(plan.fields.size());
    std::vector<FieldWindow> windows;
    bool all_plain = true;
    for (const FieldSearch& field : plan.fields) {
        // The observer's positions serve every record.
        const SearchRequest& r = field.request;
        const ObserverPositions observer = observer_positions(r);
        const bool plain = field.frame == nullptr && field.exposure_s <= 0.0;
        // A lone square meets every record: its longitude window pays.
        FieldPrefilter prefilter = field_prefilter(r, observer.at, plain && plan.fields.size() == 1);
        prefilter.active = prefilter.active && scan == AsteroidScan::fast;
        all_plain = all_plain && plain;
        const Vector3 site{{r.observer_x, r.observer_y, r.observer_z}};
        const double end = field.start_utc_mjd + field.exposure_s * DAYS_PER_SECOND;
        FieldWork work{&field,
                       r,
                       observer,
                       prefilter,
                       plain,
                       field_region(field),
                       observer_heliocentric_position(field.start_utc_mjd, r.ut1_minus_utc_seconds, r.leap_seconds, site),
                       observer_heliocentric_position(end, r.ut1_minus_utc_seconds, r.leap_seconds, site)};
        windows.push_back({std::min(field.start_utc_mjd, r.utc_mjd), std::max(end, r.utc_mjd), work.region.cap.centre,
                           work.region.cap.radius_rad});
        fields.push_back(std::move(work));
    }
    // One square at one instant: its own test rules records out; otherwise
    // the plan of the night names the fields a record may reach.
    const bool use_night = scan == AsteroidScan::fast && !(fields.size() == 1 && all_plain);
    NightPlan night{};
    if (use_night) {
        const SearchRequest& r = plan.fields.front().request;
        night = night_plan(windows, Vector3{{r.observer_x, r.observer_y, r.observer_z}}, NIGHT_SEGMENT_HOURS,
                           NIGHT_PART_HOURS, r.ut1_minus_utc_seconds, r.leap_seconds);
    }
    const ExtraColumns extra = extra_columns(plan);
    const bool overlays = output.regions_path != nullptr || output.chart_path != nullptr;

    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM_NAME, output.catalogue_path, output.err};
    std::FILE* catalogue = open_catalogue(diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(diagnostics, forced);
    if (!format) {
        std::fclose(catalogue);
        return 1;
    }
    const bool quick = !use_night && fields.size() == 1 && fields.front().plain &&
                       fields.front().prefilter.active && format->layout == CatalogueLayout::astorb;
    const bool text = output.format == OutputFormat::text;
    FieldReports reports(plan, output.format, output.out, asteroid_table_header(),
                         with_extra_columns(asteroid_csv_header(), extra_columns_header(extra)), {"name", "dec_sign"});
    reports.begin();

    TextCatalogueReader reader(catalogue, is_compressed_catalogue(output.catalogue_path));
    auto read = [&](CatalogueLines& block) {
        block.text.clear();
        block.lines.clear();
        std::string_view line;
        while (block.lines.size() < LINES_PER_BLOCK && reader.next_line(line)) {
            block.lines.push_back({reader.line_number(), block.text.size(), line.size(), reader.full_length()});
            block.text.append(line);
        }
        return !block.lines.empty();
    };
    auto evaluate = [&](const CatalogueLines& block, BlockFindings& findings) {
        thread_local std::vector<int> candidates;
        findings.clear();
        for (const CatalogueLines::Line& entry : block.lines) {
            // A lone square first looks at the orbit alone: a whole record
            // it rules out needs no more reading.
            // The same elements, read in full, get the same answer: a record
            // that passed is not tested again.
            bool passed = false;
            if (quick && entry.number > format->header_lines && entry.full_length >= ASTORB_COLUMNS_READ) {
                const AstorbRecord orbit = parse_astorb_orbit(block.line(entry));
                if (has_elliptic_elements(orbit)) {
                    if (!may_be_in_field(fields.front().prefilter, orbit)) {
                        ++findings.records;
                        continue;
                    }
                    passed = true;
                }
            }
            const CatalogueLine parsed =
                parse_catalogue_line(*format, entry.number, block.line(entry), entry.full_length);
            if (!parsed.problem.empty()) {
                findings.messages += catalogue_line_message(diagnostics, entry.number, "%s", parsed.problem.c_str());
            }
            if (parsed.kind == CatalogueLine::Kind::skipped || parsed.kind == CatalogueLine::Kind::not_a_record) {
                continue;
            }
            ++findings.records;
            if (parsed.kind != CatalogueLine::Kind::record) {
                continue;
            }
            const OrbitRecord& record = parsed.record;
            candidates.clear();
            if (use_night) {
                if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
                    candidate_fields(night, *asteroid, candidates);
                } else {
                    for (std::size_t i = 0; i < fields.size(); ++i) {
                        candidates.push_back(static_cast<int>(i));
                    }
                }
            } else {
                for (std::size_t i = 0; i < fields.size(); ++i) {
                    candidates.push_back(static_cast<int>(i));
                }
            }
            for (const int candidate : candidates) {
                const std::size_t i = static_cast<std::size_t>(candidate);
                const FieldWork& work = fields[i];
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
                FoundRow found{i,
                               text ? asteroid_report_row(*sighting)
                                    : with_extra_columns(asteroid_csv_row(*sighting),
                                                         extra_columns_values(extra, extras)),
                               sighting->elements_age_days,
                               std::nullopt};
                if (overlays && i == 0) {
                    found.overlay = overlay_of(*sighting, extras);
                }
                findings.rows.push_back(std::move(found));
            }
        }
    };
    int records = 0;
    auto emit = [&](BlockFindings& findings) { records += reports.take(findings, output.err); };
    run_ordered_blocks<CatalogueLines, BlockFindings>(plan.threads, read, evaluate, emit);
    // A scan cut short by a read error claims no count.
    reports.finish(records, !reader.read_error(), ASTFIELD_PROGRAM_NAME, output.catalogue_path);
    std::fputs(reports.stale_elements_summary(ASTFIELD_PROGRAM_NAME, STALE_ELEMENTS_DAYS).c_str(), output.err);
    int status = close_catalogue(diagnostics, catalogue, reader, output.out);
    if (write_field_overlays(plan.fields.front(), output, reports.overlays(), OverlayObjectKind::asteroid,
                             ASTFIELD_PROGRAM_NAME) != 0) {
        status = 1;
    }
    return status;
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
