// Fuzz target: the satellite program's catalogue scan fed a whole catalogue
// file (reader, element-set parser and the evaluation of every set), and the
// element-set parser fed three lines cut from the input as they stand, its
// sets evaluated by each theory.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "catalogue_input.hpp"
#include "fixed_columns.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "tle_record.hpp"

using namespace fieldsearch;

namespace {

// The reader keeps this many characters of a line in the satellite scan.
constexpr std::size_t TLE_MAX_KEPT_LINE = 79;

// Columns of a field, 1-based and inclusive.
struct Columns {
    int first;
    int last;
};

// The decimal fields of line 1 (epoch day, half the derivative of the mean
// motion) and of line 2 (inclination, node, argument of perigee, mean
// anomaly, mean motion); the eccentricity is built from its digits apart.
constexpr Columns LINE1_DECIMAL_FIELDS[] = {{21, 32}, {34, 43}};
constexpr Columns LINE2_DECIMAL_FIELDS[] = {{9, 16}, {18, 25}, {35, 42}, {44, 51}, {53, 63}};

// The text up to the next line feed (or the end), which is taken off `rest`
// with its line feed.
std::string_view next_raw_line(std::string_view& rest)
{
    const std::size_t feed = rest.find('\n');
    const std::string_view line = rest.substr(0, feed);
    rest = (feed == std::string_view::npos) ? std::string_view() : rest.substr(feed + 1);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = scratch_catalogue_path(".tle");
    static const SearchRequest request = satellite_scenario_request();
    static const SatelliteSearchGeometry geometry = satellite_search_geometry(request);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    write_catalogue(path, bytes);

    // An odd first byte selects the CSV output, so both writers see every kind of row.
    const OutputFormat format = (size > 0 && (data[0] & 1) != 0) ? OutputFormat::csv : OutputFormat::text;
    const int status = search_satellite_field(satellite_scenario(), SearchOutput{path.c_str(), format, null_sink(), null_sink()});
    // A regular file that can be read, and output to /dev/null, leave no
    // reason to fail, but for input recognised as an OMM document that does
    // not parse as a whole.
    if (status != 0 && (status != 1 || satellite_catalogue_form(as_read(bytes)) == CatalogueForm::three_line)) {
        std::fprintf(stderr, "fuzz: search_satellite_field returned %d on a readable catalogue\n", status);
        std::abort();
    }

    // The reader with the scan's limit, and with a short one taken from the last byte.
    check_reader_against_reference(path, bytes, TLE_MAX_KEPT_LINE);
    check_reader_against_reference(path, bytes, size > 0 ? 1 + data[size - 1] % 100 : 1);
    std::remove(path.c_str());

    // The first three lines of the input as one element set, carriage
    // returns, NULs and over-long lines left as they are.
    std::string_view rest = bytes;
    const std::string_view name_line = next_raw_line(rest);
    const std::string_view line1 = next_raw_line(rest);
    const std::string_view line2 = next_raw_line(rest);
    for (const Columns& field : LINE1_DECIMAL_FIELDS) {
        check_decimal_field(line1, field.first, field.last);
    }
    check_integer_field(line1, 19, 20);
    for (const Columns& field : LINE2_DECIMAL_FIELDS) {
        check_decimal_field(line2, field.first, field.last);
    }
    const TleRecord record = parse_tle_record(name_line, line1, line2);
    // The eccentricity is "0." followed by the digits of its columns.
    check_decimal(record.ecc, "0." + std::string(columns(line2, 27, 33)));
    // A set whose fields pass their checks holds only values they allow.
    if (tle_line_length_problem(line1, line2) == nullptr &&
        tle_field_problem(line1, line2, record).line == 0) {
        const bool allowed = record.epoch_day >= 1.0 && record.epoch_day < 367.0 && std::fabs(record.ndot2) < 1.0 &&
                             std::isfinite(record.nddot6) && std::isfinite(record.bstar) && record.incl >= 0.0 &&
                             record.incl <= 180.0 && record.node >= 0.0 && record.node <= 360.0 &&
                             record.omega >= 0.0 && record.omega <= 360.0 && record.mean_anom >= 0.0 &&
                             record.mean_anom <= 360.0 && record.ecc >= 0.0 && record.ecc < 1.0 && record.n > 0.0 &&
                             std::isfinite(record.n) && tle_element_problem(record) == nullptr;
        if (!allowed) {
            std::fprintf(stderr, "fuzz: element set passed its field checks with a value they forbid\n");
            std::abort();
        }
    }
    (void)tle_checksum_problem(line1, line2);
    if (tle_line_length_problem(line1, line2) == nullptr && tle_element_problem(record) == nullptr) {
        (void)tle_epoch_mjd(record);
        (void)evaluate_satellite(record, geometry);
        (void)evaluate_satellite(record, geometry, SatelliteTheory::sgp4);
        (void)evaluate_satellite(record, geometry, SatelliteTheory::both);
    }
    return 0;
}
