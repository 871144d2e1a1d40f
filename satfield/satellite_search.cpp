#include "satellite_search.hpp"

#include <string>

#include "catalogue_file.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"

namespace {

// Reports a problem at the line or record of an entry.
void report_entry(const CatalogueDiagnostics& diagnostics, const ElementSetEntry& entry, const char* what)
{
    if (entry.record_index > 0) {
        report_catalogue_record(diagnostics, entry.record_index, "%s", what);
    } else {
        report_catalogue_line(diagnostics, entry.line, "%s", what);
    }
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

int run_satellite_scenario()
{
    return run_search(satellite_scenario(), {SATELLITE_CATALOGUE_PATH, OutputFormat::text, stdout, stderr},
                      search_satellite_field);
}

int search_satellite_field(const SearchRequest& request)
{
    return search_satellite_field(request, {SATELLITE_CATALOGUE_PATH, OutputFormat::text, stdout, stderr});
}

int search_satellite_field(const SearchRequest& request, const SearchOutput& output)
{
    const SatelliteSearchGeometry geometry = satellite_search_geometry(request);

    const CatalogueDiagnostics diagnostics{SATFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    std::fputs(text ? satellite_table_header().c_str() : satellite_csv_header().c_str(), output.out);

    SatelliteCatalogueReader catalogue(file);
    int read_count = 0;
    int found_count = 0;
    ElementSetEntry entry{};
    while (catalogue.next(entry)) {
        if (entry.kind != EntryKind::notice) {
            ++read_count;
        }
        if (entry.kind != EntryKind::element_set) {
            report_entry(diagnostics, entry, entry.message.c_str());
            continue;
        }
        const SatelliteEvaluation evaluation = evaluate_satellite(entry.record, geometry);
        if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
            report_entry(diagnostics, entry, (std::string("element set not evaluated: ") + evaluation.problem).c_str());
        } else if (evaluation.outcome == SatelliteOutcome::in_field) {
            ++found_count;
            std::fputs(text ? satellite_report_row(evaluation.sighting).c_str()
                            : satellite_csv_row(evaluation.sighting).c_str(),
                       output.out);
        }
    }
    // A scan cut short by a read error, or a catalogue that cannot be read as
    // a whole, claims no count.
    const TextCatalogueReader& reader = catalogue.text_reader();
    const bool whole = catalogue.whole_problem().empty();
    if (text && !reader.read_error() && whole) {
        std::fputs(count_line(found_count, read_count).c_str(), output.out);
    }
    if (!whole) {
        std::fprintf(output.err, "%s: cannot read %s: %s\n", SATFIELD_PROGRAM.name, output.catalogue_path,
                     catalogue.whole_problem().c_str());
    }
    const int status = close_catalogue(diagnostics, file, reader, output.out);
    return whole ? status : 1;
}
