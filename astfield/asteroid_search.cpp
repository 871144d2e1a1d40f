#include "asteroid_search.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "astorb_record.hpp"
#include "catalogue_file.hpp"
#include "catalogue_record.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "observation_search.hpp"
#include "ordered_blocks.hpp"
#include "planet_ephemeris.hpp"
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

// What every thread of one scan shares, read-only while the scan runs.
struct AsteroidScanContext {
    const AsteroidFields& fields;
    bool quick = false;          // one square of an astorb catalogue: the orbit alone rules records out
    CatalogueFormat format{};
    CatalogueDiagnostics diagnostics{};
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

// Evaluates a record against the fields it may lie in and adds its rows.
// `passed`: the record's orbit already passed the lone square's prefilter.
void evaluate_record(const AsteroidScanContext& scan, const OrbitRecord& record, long line, bool passed,
                     BlockFindings& findings)
{
    std::string failure;
    scan.fields.evaluate(record, passed, [&](std::size_t i, const AsteroidSighting& sighting, const RowExtras& extras) {
        Row row = asteroid_row(sighting);
        append_extra_values(scan.fields.extra(), extras, row);
        append_asteroid_view_values(sighting, row);
        FoundRow found{i, scan.reports->row_text(i, row), sighting.elements_age_days, std::nullopt};
        if (scan.overlays && i == 0) {
            found.overlay = overlay_of(sighting, extras);
        }
        findings.rows.push_back(std::move(found));
    }, &failure);
    if (!failure.empty()) {
        findings.messages += catalogue_line_message(scan.diagnostics, line, "orbit not integrated (%s), not evaluated",
                                                    failure.c_str());
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
            if (has_elliptic_elements(orbit) && has_sound_astorb_fields(block.line(entry), orbit)) {
                if (!scan.fields.may_hold(orbit)) {
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
            evaluate_record(scan, parsed.record, entry.number, passed, findings);
        }
    }
}

// The columns of the run's rows: the asteroid's, those of its images and
// exposures, then the site's view.
RowFormat run_row_format(const ExtraColumns& extra)
{
    RowFormat format = asteroid_row_format();
    append_extra_columns(extra, format.columns);
    append_asteroid_view_columns(format.columns);
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
    const AsteroidFields fields(plan, scan_kind);
    AsteroidScanContext scan{fields};
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
    scan.quick = fields.lone_square() && format->layout == CatalogueLayout::astorb;
    FieldReports reports(plan, output.format, run_row_format(fields.extra()), sun_geocentric_position_km);
    scan.reports = &reports;

    const bool compressed = is_compressed_catalogue(output.catalogue_path);
    TextCatalogueReader reader(catalogue, compressed);
    // A compressed stream is known sound only at its end (its CRC and
    // length): until then the records' messages are held, so that a corrupt
    // stream gives its one error rather than the complaints of the garbage
    // it decoded.
    HeldMessages held(output.err, compressed);
    int records = 0;
    run_ordered_blocks<CatalogueLines, BlockFindings>(
        plan.threads, [&](CatalogueLines& block) { return read_catalogue_lines(reader, block, LINES_PER_BLOCK); },
        [&](const CatalogueLines& block, BlockFindings& findings) { evaluate_block(scan, block, findings); },
        [&](BlockFindings& findings) { records += reports.take(findings, held.stream()); });
    // A scan cut short by a read error prints nothing.
    const bool complete = !reader.read_error();
    if (complete) {
        held.release();
        std::fputs(reports.output(records, ASTFIELD_PROGRAM_NAME, output.catalogue_path).c_str(), output.out);
        // Integrated orbits do not drift from their places as two-body ones do.
        if (plan.propagation == Propagation::two_body) {
            std::fputs(reports.stale_elements_summary(ASTFIELD_PROGRAM_NAME, STALE_ELEMENTS_DAYS).c_str(), output.err);
        }
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
    if (plan.observations) {
        return identify_asteroid_observations(plan, output);
    }
    std::optional<CatalogueLayout> forced;
    if (output.catalogue_format != nullptr) {
        forced = catalogue_layout_from_name(output.catalogue_format);
    }
    return search_asteroid_fields(plan, output, AsteroidScan::fast, forced);
}

}  // namespace fieldsearch
