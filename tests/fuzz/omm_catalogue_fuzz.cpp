// Fuzz target: the satellite program's catalogue scan fed Orbit Mean-elements
// Messages (CSV, JSON, XML: the form recognised from the content, so three-
// line sets come through too), and the OMM record conversion fed keyword
// values cut from the input, its results checked for what a row needs.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "catalogue_input.hpp"
#include "omm_record.hpp"
#include "satellite_catalogue.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"

using namespace fieldsearch;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// A record the conversion accepts must give a row of full width and an epoch
// the two-line set could carry.
void check_element_set(const OmmElementSet& set)
{
    if (!set.problem.empty()) {
        return;
    }
    const TleRecord& r = set.record;
    if (std::strlen(r.name.data()) != 14 || std::strlen(r.cospar_id.data()) != 6 ||
        std::strlen(r.norad_id.data()) != 6) {
        fail("a designation column of an accepted OMM record is not of full width");
    }
    if (r.norad_number < 0 || r.norad_number > 999999999) {
        fail("an accepted catalogue number is out of range");
    }
    if (r.epoch_year < 0 || r.epoch_year > 99 || !(r.epoch_day >= 1.0 && r.epoch_day < 368.0)) {
        fail("an accepted epoch is not a year and day of the year");
    }
    const double fields[] = {r.ndot2, r.nddot6, r.bstar, r.mean_anom, r.omega, r.node, r.incl, r.ecc, r.n};
    for (const double x : fields) {
        if (!std::isfinite(x)) {
            fail("an accepted OMM number is not finite");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = scratch_catalogue_path(".omm");
    static const SearchRequest request = satellite_scenario_request();
    static const SatelliteSearchGeometry geometry = satellite_search_geometry(request);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    write_catalogue(path, bytes);
    const OutputFormat format = (size > 0 && (data[size - 1] & 1) != 0) ? OutputFormat::csv : OutputFormat::text;
    const int status = search_satellite_field(satellite_scenario(), SearchOutput{path.c_str(), format, null_sink(), null_sink()});
    // Only a document that cannot be read as a whole may fail the search.
    if (status != 0 && (status != 1 || satellite_catalogue_form(as_read(bytes)) == CatalogueForm::three_line)) {
        std::fprintf(stderr, "fuzz: search_satellite_field returned %d on a readable catalogue\n", status);
        std::abort();
    }
    std::remove(path.c_str());

    // The lines of the input as the values of the keywords, in their order.
    OmmValues values{};
    std::string_view rest = bytes;
    for (std::size_t k = 0; k < OMM_KEYWORD_COUNT && !rest.empty(); ++k) {
        const std::size_t feed = rest.find('\n');
        values[k] = rest.substr(0, feed);
        rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
    }
    const OmmElementSet set = omm_element_set(values);
    check_element_set(set);
    if (set.problem.empty() && tle_element_problem(set.record) == nullptr) {
        (void)evaluate_satellite(set.record, geometry);
    }
    return 0;
}
