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
#include "element_set_history.hpp"
#include "field_reports.hpp"
#include "frame_rows.hpp"
#include "ordered_blocks.hpp"
#include "planet_ephemeris.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_identification.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

namespace {

// What one block of entries gave: its findings, and for the history of
// sets the satellite and epoch of each set it evaluated and, per row, which
// of them the row rests on (rows are kept or dropped once the whole
// catalogue is read).
struct SatelliteBlockFindings {
    BlockFindings findings;
    std::vector<ElementSetEpoch> sets;
    std::vector<std::size_t> row_sets;

    void clear()
    {
        findings.clear();
        sets.clear();
        row_sets.clear();
    }
};

// Rows resting on elements older than this drift by kilometres.
constexpr double STALE_ELEMENTS_DAYS = 14.0;

// The overlay mark of a sighting: its place and track (over the exposure, or
// ten seconds of its motion).
OverlayObject overlay_of(const SatelliteSighting& s, const RowExtras& extras)
{
    const std::string& label = s.full_name;
    const std::size_t last = label.find_last_not_of(' ');
    return overlay_mark(last == std::string::npos ? std::string(s.norad_id.data()) : label.substr(0, last + 1),
                        s.ra_deg, s.dec_deg, std::nullopt, extras, 10.0 * s.ra_motion / 3600.0,
                        10.0 * s.dec_motion / 3600.0);
}

// A problem at the line or record of an entry, as a message line.
std::string entry_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, entry.message_line > 0 ? entry.message_line : entry.line, "%s",
                                  what.c_str());
}

// A problem at the set's own line (or record), whatever line its reading named.
std::string set_message(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const std::string& what)
{
    if (entry.record_index > 0) {
        return catalogue_record_message(diagnostics, entry.record_index, "%s", what.c_str());
    }
    return catalogue_line_message(diagnostics, entry.line, "%s", what.c_str());
}

// What every thread of one scan shares, read-only while the scan runs.
struct SatelliteScanContext {
    const SearchPlan& plan;
    const SatelliteFields& fields;
    CatalogueDiagnostics diagnostics{};
    bool overlays = false;                     // the rows of the first field are marked on overlays
    const FieldReports* reports = nullptr;
};

// Adds the row of a set found in field `field`.
void add_row(const SatelliteScanContext& scan, std::size_t field, const TleRecord& record,
             const SatelliteSighting& sighting, const RowExtras& extras, BlockFindings& findings)
{
    const double age_days = rows_utc_mjd(scan.plan.fields[field]) - tle_epoch_mjd(record);
    Row row = satellite_row(sighting, scan.fields.theory());
    append_extra_values(scan.fields.extra(), extras, row);
    row.values.push_back(real_value(age_days, 5));
    append_satellite_view_values(sighting, row);
    FoundRow found{field, scan.reports->row_text(field, row), age_days, std::nullopt};
    if (scan.overlays && field == 0) {
        found.overlay = overlay_of(sighting, extras);
    }
    findings.rows.push_back(std::move(found));
}

// Reads the entries of one block into records and evaluates them, in
// catalogue order: a count and a message for what is no element set, rows
// for the sets in a field, a message for a set a theory cannot evaluate.
void evaluate_block(const SatelliteScanContext& scan, const EntryBlock& block, SatelliteBlockFindings& block_findings)
{
    block_findings.clear();
    BlockFindings& findings = block_findings.findings;
    thread_local ElementSetEntry read_set;
    for (std::size_t e = 0; e < block.used; ++e) {
        const ElementSetEntry& entry = evaluated_entry(block.entries[e], read_set);
        if (entry.kind != EntryKind::notice) {
            ++findings.records;
        }
        if (entry.kind != EntryKind::element_set) {
            findings.messages += entry_message(scan.diagnostics, entry, entry.message);
            continue;
        }
        if (!entry.message.empty()) {
            // A set evaluated all the same (a wrong checksum).
            findings.messages += entry_message(scan.diagnostics, entry, entry.message);
        }
        const TleRecord& record = entry.record;
        const std::size_t set = block_findings.sets.size();
        block_findings.sets.push_back({record.norad_number, tle_epoch_mjd(record)});
        const SatelliteProblems problems =
            scan.fields.evaluate(record, [&](std::size_t field, const SatelliteSighting& sighting,
                                             const RowExtras& extras) {
                add_row(scan, field, record, sighting, extras, findings);
                block_findings.row_sets.push_back(set);
            });
        if (problems.problem != nullptr) {
            findings.messages +=
                set_message(scan.diagnostics, entry, std::string("element set not evaluated: ") + problems.problem);
        } else if (problems.sgp4_problem != nullptr) {
            findings.messages += set_message(scan.diagnostics, entry,
                                               std::string("element set not evaluated by SGP4: ") + problems.sgp4_problem);
        }
    }
}

// The columns of the run's rows: the satellite's under the theory, those of
// its images and exposures, the age of the elements, then the site's view.
RowFormat run_row_format(SatelliteTheory theory, const ExtraColumns& extra)
{
    RowFormat format = satellite_row_format(theory);
    append_extra_columns(extra, format.columns);
    format.columns.push_back("elements_age_days");
    append_satellite_view_columns(format.columns);
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

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output)
{
    return search_satellite_fields(plan, output, SatelliteScan::fast);
}

int search_satellite_fields(const SearchPlan& plan, const SearchOutput& output, SatelliteScan scan_kind)
{
    if (plan.observations) {
        return identify_satellite_observations(plan, output);
    }
    OverlayFiles overlay_files;
    if (!open_overlay_files(output, SATFIELD_PROGRAM_NAME, overlay_files)) {
        return 1;
    }
    const SatelliteFields fields(plan, scan_kind);
    SatelliteScanContext scan{plan, fields};
    scan.diagnostics = {SATFIELD_PROGRAM_NAME, output.catalogue_path, output.err};
    scan.overlays = output.regions_path != nullptr || output.chart_path != nullptr;

    std::FILE* file = open_catalogue(scan.diagnostics);
    if (file == nullptr) {
        discard_overlay_files(output, overlay_files);
        return 1;
    }
    FieldReports reports(plan, output.format, run_row_format(fields.theory(), fields.extra()),
                         sun_geocentric_position_km);
    scan.reports = &reports;

    // The element lines are read into records by the evaluating threads.
    SatelliteCatalogueReader catalogue(file, true, is_compressed_catalogue(output.catalogue_path),
                                       &plan.fields.front().leap_seconds);
    // The messages of a compressed catalogue's records wait for the stream's
    // check at its end.
    HeldMessages held(output.err, is_compressed_catalogue(output.catalogue_path));
    int read_count = 0;
    // Every set evaluated, and the rows found on them, held until the whole
    // catalogue is read: a satellite with several sets keeps only the rows
    // of its set nearest each field's instant.
    std::vector<ElementSetEpoch> sets;
    std::vector<FoundRow> rows;
    std::vector<RowOnSet> row_sets;
    std::vector<double> field_instants;
    for (const FieldSearch& field : plan.fields) {
        field_instants.push_back(rows_utc_mjd(field));
    }
    run_ordered_blocks<EntryBlock, SatelliteBlockFindings>(
        plan.threads, [&](EntryBlock& block) { return read_entries(catalogue, block); },
        [&](const EntryBlock& block, SatelliteBlockFindings& findings) { evaluate_block(scan, block, findings); },
        [&](SatelliteBlockFindings& block_findings) {
            const std::size_t first_set = sets.size();
            sets.insert(sets.end(), block_findings.sets.begin(), block_findings.sets.end());
            std::vector<FoundRow>& found = block_findings.findings.rows;
            for (std::size_t r = 0; r < found.size(); ++r) {
                row_sets.push_back({first_set + block_findings.row_sets[r], field_instants[found[r].field]});
                rows.push_back(std::move(found[r]));
            }
            found.clear();
            read_count += reports.take(block_findings.findings, held.stream());
        });
    const ElementSetHistory history = element_set_history(std::move(sets));
    const std::vector<bool> kept = rows_on_nearest_sets(history, row_sets);
    BlockFindings kept_rows;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (kept[r]) {
            kept_rows.rows.push_back(std::move(rows[r]));
        }
    }
    reports.take(kept_rows, held.stream());
    // A scan cut short by a read error, or a catalogue that cannot be read as
    // a whole, prints nothing.
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    if (!reader.read_error()) {
        held.release();
    }
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", SATFIELD_PROGRAM_NAME, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    if (whole && !reader.read_error()) {
        std::fputs(reports.output(read_count, SATFIELD_PROGRAM_NAME, output.catalogue_path,
                                  static_cast<int>(superseded_set_count(history))).c_str(), output.out);
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
