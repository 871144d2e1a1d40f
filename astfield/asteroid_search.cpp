#include "asteroid_search.hpp"

#include <string>
#include <string_view>

#include "asteroid_evaluation.hpp"
#include "astorb_record.hpp"
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
    if (const auto warning = leap_second_expiry_warning(request.utc_mjd, request.leap_seconds)) {
        std::fprintf(output.err, "%s: %s\n", ASTFIELD_PROGRAM.name, warning->c_str());
    }
    // The observer's positions serve every record.
    const ObserverPositions observer = observer_positions(request);
    FieldPrefilter prefilter = field_prefilter(request, observer.at);
    prefilter.active = prefilter.active && scan == AsteroidScan::fast;

    const CatalogueDiagnostics diagnostics{ASTFIELD_PROGRAM.name, output.catalogue_path, output.err};
    std::FILE* catalogue = open_catalogue(diagnostics);
    if (catalogue == nullptr) {
        return 1;
    }
    const bool text = output.format == OutputFormat::text;
    std::fputs(text ? asteroid_table_header().c_str() : asteroid_csv_header().c_str(), output.out);

    TextCatalogueReader reader(catalogue);
    int found = 0;
    int records = 0;
    std::string_view line;
    while (reader.next_line(line)) {
        if (reader.full_length() < ASTORB_COLUMNS_READ) {
            if (!is_blank_line(line)) {
                report_catalogue_line(diagnostics, reader.line_number(),
                                      "record shorter than %d characters (%zu), skipped", ASTORB_COLUMNS_READ,
                                      reader.full_length());
            }
            continue;
        }
        ++records;
        const AstorbRecord record = parse_astorb_record(line);
        if (!has_elliptic_elements(record)) {
            report_catalogue_line(diagnostics, reader.line_number(),
                                  "elements describe no ellipse (e = %.8g, a = %.8g AU) or are not finite, "
                                  "not evaluated",
                                  record.eccentricity, record.semimajor_axis);
            continue;
        }
        if (!may_be_in_field(prefilter, record)) {
            continue;
        }
        if (const auto sighting = asteroid_sighting(request, observer, record)) {
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
