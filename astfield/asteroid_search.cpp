#include "asteroid_search.hpp"

#include <string>
#include <string_view>

#include "asteroid_evaluation.hpp"
#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "catalogue_file.hpp"
#include "field_prefilter.hpp"
#include "light_time.hpp"
#include "text_catalogue.hpp"

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

int run_asteroid_scenario()
{
    return run_search(asteroid_scenario(), {ASTORB_CATALOGUE_PATH, OutputFormat::text, stdout, stderr},
                      search_asteroid_field);
}

int search_asteroid_field(const SearchRequest& request)
{
    return search_asteroid_field(request, {ASTORB_CATALOGUE_PATH, OutputFormat::text, stdout, stderr});
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
    // The observer's positions serve every record.
    const ObserverPositions observer = observer_positions(request);
    FieldPrefilter prefilter = field_prefilter(request, observer.at);
    prefilter.active = prefilter.active && scan == AsteroidScan::fast;

    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* catalogue = open_catalogue(diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    const std::optional<CatalogueFormat> format = read_catalogue_format(diagnostics, layout);
    if (!format) {
        std::fclose(catalogue);
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    std::fputs(text ? asteroid_table_header().c_str() : asteroid_csv_header().c_str(), output.out);

    TextCatalogueReader reader(catalogue, is_compressed_catalogue(output.catalogue_path));
    int found = 0;
    int records = 0;
    std::string_view line;
    while (reader.next_line(line)) {
        const CatalogueLine entry = parse_catalogue_line(*format, reader.line_number(), line, reader.full_length());
        if (!entry.problem.empty()) {
            report_catalogue_line(diagnostics, reader.line_number(), "%s", entry.problem.c_str());
        }
        if (entry.kind == CatalogueLine::Kind::skipped || entry.kind == CatalogueLine::Kind::not_a_record) {
            continue;
        }
        ++records;
        if (entry.kind != CatalogueLine::Kind::record || !may_be_in_field(prefilter, entry.record)) {
            continue;
        }
        if (const auto sighting = orbit_sighting(request, observer, entry.record)) {
            ++found;
            std::fputs(text ? asteroid_report_row(*sighting).c_str() : asteroid_csv_row(*sighting).c_str(),
                       output.out);
        }
    }
    // A scan cut short by a read error claims no count.
    if (text && !reader.read_error()) {
        std::fputs(count_line(found, records).c_str(), output.out);
    }
    return close_catalogue(diagnostics, catalogue, reader, output.out);
}
