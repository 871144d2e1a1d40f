// Fuzz target: the asteroid program's catalogue scan fed a whole catalogue
// file (layout detection, reader, record parsers of every layout and the
// evaluation of every record), and the record parsers fed the input as one line.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "asteroid_search.hpp"
#include "astorb_record.hpp"
#include "catalogue_record.hpp"
#include "comet_record.hpp"
#include "mpcorb_record.hpp"
#include "catalogue_input.hpp"
#include "light_time.hpp"

using namespace fieldsearch;

namespace {

// The reader keeps this many characters of a line in the asteroid scan (its default).
constexpr std::size_t ASTORB_MAX_KEPT_LINE = 4096;

// Columns of a field, 1-based and inclusive.
struct Columns {
    int first;
    int last;
};

// The numeric fields of a record: H, G, the mean anomaly, the argument of
// perihelion, the node, the inclination, e and a; the epoch's year, month and day.
constexpr Columns ASTORB_DECIMAL_FIELDS[] = {{42, 47},   {48, 53},   {115, 125}, {126, 136},
                                             {137, 147}, {148, 157}, {158, 168}, {169, 181}};
constexpr Columns ASTORB_INTEGER_FIELDS[] = {{107, 110}, {111, 112}, {113, 114}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = scratch_catalogue_path(".dat");
    static const SearchRequest request = asteroid_search_request();
    static const ObserverPositions observer = observer_positions(request);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    write_catalogue(path, bytes);

    // An odd first byte selects the CSV output, so both writers see every kind of row.
    const OutputFormat format = (size > 0 && (data[0] & 1) != 0) ? OutputFormat::csv : OutputFormat::text;
    const int status = search_asteroid_field(asteroid_scenario(), SearchOutput{path.c_str(), format, null_sink(), null_sink()});
    // A catalogue whose first lines match no layout is refused; otherwise a
    // regular file that can be read, and output to /dev/null, leave no
    // reason to fail.
    std::vector<std::string> first_lines;
    for (const ReferenceLine& line : reference_lines(bytes, ASTORB_MAX_KEPT_LINE)) {
        if (first_lines.size() == static_cast<std::size_t>(LAYOUT_DETECTION_LINES)) {
            break;
        }
        first_lines.push_back(line.kept);
    }
    const int expected_status = detect_catalogue_format(first_lines).has_value() ? 0 : 1;
    if (status != expected_status) {
        std::fprintf(stderr, "fuzz: search_asteroid_field returned %d on a readable catalogue, not %d\n", status,
                     expected_status);
        std::abort();
    }

    // The reader with the scan's limit, and with a short one taken from the
    // last byte so that the path of over-long lines is exercised too.
    check_reader_against_reference(path, bytes, ASTORB_MAX_KEPT_LINE);
    check_reader_against_reference(path, bytes, size > 0 ? 1 + data[size - 1] % 200 : 1);
    std::remove(path.c_str());

    // The whole input as one record, with whatever bytes it holds: its fields
    // convert as the C library converts them, and it evaluates safely.
    if (size >= static_cast<std::size_t>(ASTORB_COLUMNS_READ)) {
        for (const Columns& field : ASTORB_DECIMAL_FIELDS) {
            check_decimal_field(bytes, field.first, field.last);
        }
        for (const Columns& field : ASTORB_INTEGER_FIELDS) {
            check_integer_field(bytes, field.first, field.last);
        }
        const AstorbRecord record = parse_astorb_record(bytes);
        if (has_elliptic_elements(record)) {
            (void)epoch_mjd(record);
            (void)asteroid_sighting(request, observer, record);
        }
    }
    // The same bytes as one line of each of today's layouts: parsed, then
    // evaluated when the line reads as a record.
    for (const CatalogueLayout layout : {CatalogueLayout::mpcorb, CatalogueLayout::comets}) {
        const CatalogueLine entry = parse_catalogue_line(CatalogueFormat{layout, 0}, 1, bytes, size);
        if (entry.kind == CatalogueLine::Kind::record) {
            (void)orbit_sighting(request, observer, entry.record);
        }
    }
    return 0;
}
