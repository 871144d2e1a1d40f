#include "satellite_search.hpp"

#include <array>
#include <string_view>

#include "catalogue_file.hpp"
#include "satellite_evaluation.hpp"
#include "text_catalogue.hpp"
#include "tle_record.hpp"

namespace {

// Lines are kept to this many characters: a two-line element line has 69.
constexpr std::size_t MAX_KEPT_LINE = 79;

// The next line of the catalogue, its over-length reported.
bool next_catalogue_line(TextCatalogueReader& reader, std::string_view& line, const CatalogueDiagnostics& diagnostics)
{
    if (!reader.next_line(line)) {
        return false;
    }
    if (reader.full_length() > MAX_KEPT_LINE) {
        report_catalogue_line(diagnostics, reader.line_number(), "line of %zu characters, only the first %zu are read",
                              reader.full_length(), MAX_KEPT_LINE);
    }
    return true;
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
    if (const auto warning = leap_second_expiry_warning(request.utc_mjd, request.leap_seconds)) {
        std::fprintf(output.err, "%s: %s\n", SATFIELD_PROGRAM.name, warning->c_str());
    }
    const SatelliteSearchGeometry geometry = satellite_search_geometry(request);

    const CatalogueDiagnostics diagnostics{SATFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* file = open_catalogue(diagnostics);
    if (file == nullptr) {
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    std::fputs(text ? satellite_table_header().c_str() : satellite_csv_header().c_str(), output.out);

    TextCatalogueReader reader(file, MAX_KEPT_LINE);
    int read_count = 0;
    int found_count = 0;
    std::string_view name_line;
    std::string_view line1;
    std::string_view line2;
    while (next_catalogue_line(reader, name_line, diagnostics)) {
        if (is_blank_line(name_line)) {
            continue;
        }
        const long first_line = reader.line_number();
        // The views are valid until the next read: keep the name line (the
        // record takes 14 characters of it) and line 1.
        std::array<char, MAX_KEPT_LINE> name_text;
        std::array<char, MAX_KEPT_LINE> line1_text;
        const std::string_view name(name_text.data(), name_line.copy(name_text.data(), name_text.size()));
        if (!next_catalogue_line(reader, line1, diagnostics)) {
            if (!reader.read_error()) {
                report_catalogue_line(diagnostics, first_line, "element set cut short by the end of the file, not counted");
            }
            break;
        }
        const std::string_view first(line1_text.data(), line1.copy(line1_text.data(), line1_text.size()));
        if (!next_catalogue_line(reader, line2, diagnostics)) {
            if (!reader.read_error()) {
                report_catalogue_line(diagnostics, first_line, "element set cut short by the end of the file, not counted");
            }
            break;
        }
        ++read_count;
        if (const char* problem = tle_line_length_problem(first, line2)) {
            report_catalogue_line(diagnostics, first_line, "element set not evaluated: %s", problem);
            continue;
        }
        const TleRecord record = parse_tle_record(name, first, line2);
        if (const char* problem = tle_element_problem(record)) {
            report_catalogue_line(diagnostics, first_line, "element set not evaluated: %s", problem);
            continue;
        }
        const SatelliteEvaluation evaluation = evaluate_satellite(record, geometry);
        if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
            report_catalogue_line(diagnostics, first_line, "element set not evaluated: %s", evaluation.problem);
        } else if (evaluation.outcome == SatelliteOutcome::in_field) {
            ++found_count;
            std::fputs(text ? satellite_report_row(evaluation.sighting).c_str()
                            : satellite_csv_row(evaluation.sighting).c_str(),
                       output.out);
        }
    }
    // A scan cut short by a read error claims no count.
    if (text && !reader.read_error()) {
        std::fputs(count_line(found_count, read_count).c_str(), output.out);
    }
    return close_catalogue(diagnostics, file, reader, output.out);
}
