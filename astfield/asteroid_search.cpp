#include "asteroid_search.hpp"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "asteroid_evaluation.hpp"
#include "astorb_record.hpp"
#include "light_time.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"

namespace {

// The compiled-in scenario, in the units the header prints.
struct AsteroidScenario {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    double second;             // UTC
    double observer_x;         // km, geocentric Earth-fixed
    double observer_y;
    double observer_z;
    int ra_hours;              // field centre
    int ra_minutes;
    double ra_seconds;
    int dec_degrees;
    int dec_arcminutes;
    double dec_arcseconds;
    int half_side_arcmin;
    double mag_limit;
};

constexpr AsteroidScenario ASTEROID_SCENARIO{
    2008, 5, 20, 5, 14, 0.0,              // 2008 May 20, 05:14:00 UTC
    3395.0303, 3128.7911, 4388.8511,      // observer
    0, 0, 10.0,                           // R.A. 0h 0m 10.0s
    0, 30, 0.0,                           // Decl. +0 deg 30' 0.0"
    60,                                   // half side, arcminutes
    20.0,                                 // faintest V listed
};

double scenario_mjd(const AsteroidScenario& s)
{
    return mjd_from_calendar(s.day, s.month, s.year, s.hour, s.minute, s.second);
}

bool is_blank(std::string_view line)
{
    for (const char c : line) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
    }
    return true;
}

void write(std::FILE* out, const std::string& text)
{
    std::fputs(text.c_str(), out);
}

}  // namespace

ScenarioHeader asteroid_scenario_header()
{
    const AsteroidScenario& s = ASTEROID_SCENARIO;
    ScenarioHeader header{};
    header.year = s.year;
    header.month = s.month;
    header.day = s.day;
    header.hour = s.hour;
    header.minute = s.minute;
    header.second = s.second;
    header.utc_mjd = scenario_mjd(s);
    header.ra_hours = s.ra_hours;
    header.ra_minutes = s.ra_minutes;
    header.ra_seconds = s.ra_seconds;
    header.dec_negative = false;
    header.dec_degrees = s.dec_degrees;
    header.dec_arcminutes = s.dec_arcminutes;
    header.dec_arcseconds = s.dec_arcseconds;
    header.side_arcmin = 2.0 * s.half_side_arcmin;
    header.mag_limit = s.mag_limit;
    return header;
}

SearchRequest asteroid_search_request()
{
    const AsteroidScenario& s = ASTEROID_SCENARIO;
    SearchRequest request{};
    request.observer_x = s.observer_x;
    request.observer_y = s.observer_y;
    request.observer_z = s.observer_z;
    request.utc_mjd = scenario_mjd(s);
    request.centre_ra_deg = (s.ra_hours + (s.ra_minutes + s.ra_seconds / 60.0) / 60.0) * 15.0;
    request.centre_dec_deg = s.dec_degrees + (s.dec_arcminutes + s.dec_arcseconds / 60.0) / 60.0;
    request.half_side_deg = s.half_side_arcmin / 60.0;
    request.mag_limit = s.mag_limit;
    return request;
}

int run_asteroid_scenario()
{
    write(stdout, report_header(asteroid_scenario_header()));
    return search_asteroid_field(asteroid_search_request());
}

int search_asteroid_field(const SearchRequest& request)
{
    return search_asteroid_field(request, ASTORB_CATALOGUE_PATH, stdout, stderr);
}

int search_asteroid_field(const SearchRequest& request, const char* catalogue_path, std::FILE* out, std::FILE* err)
{
    // One observer position serves every record.
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    const Vector3 observer_position = observer_heliocentric_position(request.utc_mjd, observer);

    std::FILE* catalogue = std::fopen(catalogue_path, "rb");
    const int open_error = errno;
    write(out, asteroid_table_header());
    if (catalogue == nullptr) {
        std::fprintf(err, "astfield: %s: cannot open the catalogue: %s\n", catalogue_path, std::strerror(open_error));
        return EXIT_FAILURE;
    }

    TextCatalogueReader reader(catalogue);
    int found = 0;
    int records = 0;
    for (;;) {
        std::string_view line;
        errno = 0;
        const bool more = reader.next_line(line);
        if (reader.read_error()) {
            const int read_error = errno;
            std::fprintf(err, "astfield: %s: cannot read the catalogue: %s\n", catalogue_path,
                         read_error != 0 ? std::strerror(read_error) : "read error");
            std::fclose(catalogue);
            return EXIT_FAILURE;
        }
        if (!more) {
            break;
        }
        if (reader.full_length() < ASTORB_COLUMNS_READ) {
            if (!is_blank(line)) {
                std::fprintf(err, "astfield: %s:%ld: record shorter than %d characters (%zu), skipped\n",
                             catalogue_path, reader.line_number(), ASTORB_COLUMNS_READ, reader.full_length());
            }
            continue;
        }
        ++records;
        const AstorbRecord record = parse_astorb_record(line);
        if (!has_elliptic_elements(record)) {
            std::fprintf(err,
                         "astfield: %s:%ld: elements describe no ellipse (e = %.8g, a = %.8g AU) or are not finite, "
                         "not evaluated\n",
                         catalogue_path, reader.line_number(), record.eccentricity, record.semimajor_axis);
            continue;
        }
        if (const auto sighting = asteroid_sighting(request, observer_position, record)) {
            ++found;
            write(out, asteroid_report_row(*sighting));
        }
    }
    write(out, count_line(found, records));

    if (std::fclose(catalogue) != 0) {
        std::fprintf(err, "astfield: %s: cannot close the catalogue: %s\n", catalogue_path, std::strerror(errno));
        return EXIT_FAILURE;
    }
    if (std::fflush(out) != 0 || std::ferror(out) != 0) {
        std::fprintf(err, "astfield: cannot write the report: %s\n", std::strerror(errno));
        return EXIT_FAILURE;
    }
    return 0;
}
