#include "satellite_search.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "satellite_evaluation.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"
#include "tle_record.hpp"

namespace {

// The compiled-in scenario: 2008 May 20, 20:54 UTC, a field of 5 deg square
// at 11h28m, +1 deg 16', seen from a fixed observer.
struct SatelliteScenario {
    int year, month, day, hour, minute;
    double second;
    double observer_x, observer_y, observer_z;  // km, geocentric Earth-fixed
    int ra_hours, ra_minutes;
    double ra_seconds;
    int dec_degrees, dec_arcminutes;
    double dec_arcseconds;
    double half_side_arcmin;
    double header_magnitude;  // shown in the header; no magnitude limits satellites
};

constexpr SatelliteScenario SCENARIO{2008, 5, 20, 20, 54, 0.0, 3395.0303, 3128.7911, 4388.8511, 11, 28, 0.0,
                                     1, 16, 0.0, 150.0, 0.0};

// Lines are kept to this many characters: a two-line element line has 69.
constexpr std::size_t MAX_KEPT_LINE = 79;

bool is_blank(std::string_view line)
{
    return line.find_first_not_of(" \t\v\f") == std::string_view::npos;
}

void report(std::FILE* err, const char* path, long line_number, const std::string& message)
{
    std::fprintf(err, "satfield: %s, line %ld: %s\n", path, line_number, message.c_str());
}

// The next line of the catalogue, its over-length reported. At a read error
// the error number is kept in `read_errno` before anything else can change it.
bool next_catalogue_line(TextCatalogueReader& reader, std::string_view& line, const char* path, std::FILE* err,
                         int& read_errno)
{
    if (!reader.next_line(line)) {
        read_errno = errno;
        return false;
    }
    if (reader.full_length() > MAX_KEPT_LINE) {
        report(err, path, reader.line_number(),
               formatted("line of %zu characters, only the first %zu are read", reader.full_length(), MAX_KEPT_LINE));
    }
    return true;
}

}  // namespace

ScenarioHeader satellite_scenario_header()
{
    const SatelliteScenario& s = SCENARIO;
    return {s.year,
            s.month,
            s.day,
            s.hour,
            s.minute,
            s.second,
            mjd_from_calendar(s.day, s.month, s.year, s.hour, s.minute, s.second),
            s.ra_hours,
            s.ra_minutes,
            s.ra_seconds,
            false,
            s.dec_degrees,
            s.dec_arcminutes,
            s.dec_arcseconds,
            s.half_side_arcmin * 2.0,
            s.header_magnitude};
}

SearchRequest satellite_scenario_request()
{
    const SatelliteScenario& s = SCENARIO;
    return {s.observer_x,
            s.observer_y,
            s.observer_z,
            mjd_from_calendar(s.day, s.month, s.year, s.hour, s.minute, s.second),
            (s.ra_hours + (s.ra_minutes + s.ra_seconds / 60.0) / 60.0) * 15.0,
            s.dec_degrees + (s.dec_arcminutes + s.dec_arcseconds / 60.0) / 60.0,
            s.half_side_arcmin / 60.0,
            s.header_magnitude};
}

int run_satellite_scenario()
{
    std::fputs(report_header(satellite_scenario_header()).c_str(), stdout);
    return search_satellite_field(satellite_scenario_request());
}

int search_satellite_field(const SearchRequest& request)
{
    return search_satellite_field(request, SATELLITE_CATALOGUE_PATH, stdout, stderr);
}

int search_satellite_field(const SearchRequest& request, const char* path, std::FILE* out, std::FILE* err)
{
    const SatelliteSearchGeometry geometry = satellite_search_geometry(request);

    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(err, "satfield: cannot open %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    // The table header goes out with the first row or the count line, so that
    // a catalogue that cannot be read leaves no table behind.
    bool table_started = false;
    const auto start_table = [&] {
        if (!table_started) {
            std::fputs(satellite_table_header().c_str(), out);
            table_started = true;
        }
    };

    TextCatalogueReader reader(file, MAX_KEPT_LINE);
    int read_errno = 0;
    int read_count = 0;
    int found_count = 0;
    std::string_view name_line;
    std::string_view line1;
    std::string_view line2;
    for (;;) {
        if (!next_catalogue_line(reader, name_line, path, err, read_errno)) {
            break;
        }
        if (is_blank(name_line)) {
            continue;
        }
        const long first_line = reader.line_number();
        // The views are valid until the next read: keep the name line (the
        // record takes 14 characters of it) and line 1.
        std::array<char, MAX_KEPT_LINE> name_text;
        std::array<char, MAX_KEPT_LINE> line1_text;
        const std::string_view name(name_text.data(), name_line.copy(name_text.data(), name_text.size()));
        if (!next_catalogue_line(reader, line1, path, err, read_errno)) {
            if (reader.read_error()) {
                break;
            }
            report(err, path, first_line, "element set cut short by the end of the file, not counted");
            break;
        }
        const std::string_view first(line1_text.data(), line1.copy(line1_text.data(), line1_text.size()));
        if (!next_catalogue_line(reader, line2, path, err, read_errno)) {
            if (reader.read_error()) {
                break;
            }
            report(err, path, first_line, "element set cut short by the end of the file, not counted");
            break;
        }
        ++read_count;
        if (const char* problem = tle_line_length_problem(first, line2)) {
            report(err, path, first_line, formatted("element set not evaluated: %s", problem));
            continue;
        }
        const TleRecord record = parse_tle_record(name, first, line2);
        if (const char* problem = tle_element_problem(record)) {
            report(err, path, first_line, formatted("element set not evaluated: %s", problem));
            continue;
        }
        const SatelliteEvaluation evaluation = evaluate_satellite(record, geometry);
        if (evaluation.outcome == SatelliteOutcome::not_evaluated) {
            report(err, path, first_line, formatted("element set not evaluated: %s", evaluation.problem));
        } else if (evaluation.outcome == SatelliteOutcome::in_field) {
            ++found_count;
            start_table();
            std::fputs(satellite_report_row(evaluation.sighting).c_str(), out);
        }
    }
    if (reader.read_error()) {
        std::fprintf(err, "satfield: cannot read %s: %s\n", path,
                     read_errno != 0 ? std::strerror(read_errno) : "read error");
        std::fclose(file);
        return 1;
    }
    start_table();
    std::fputs(count_line(found_count, read_count).c_str(), out);
    return std::fclose(file);
}
