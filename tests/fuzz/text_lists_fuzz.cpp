// Fuzz target: the two small text readers of the command line, the list of
// fields (--fields) and the leap-second list (--leap-seconds), fed the same
// bytes. Either reader may refuse its input, but never without saying why,
// and what it accepts must be what a search can use.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "field_list.hpp"
#include "leap_seconds_list.hpp"
#include "time_scales.hpp"

using namespace fieldsearch;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

void check_field_list(std::string_view text)
{
    const FieldListResult list = field_list_from_text(text);
    if (list.error.empty() == list.rows.empty()) {
        fail("a field list is neither refused with a reason nor read into fields");
    }
    if (list.error.find('\n') != std::string::npos) {
        fail("a field list's refusal is more than one line");
    }
    for (const FieldListRow& row : list.rows) {
        if (row.id.empty() || row.line < 2) {
            fail("a field without an id, or on the header line");
        }
        if (row.image.empty() && (!row.time || !row.ra_deg || !row.dec_deg || !row.side_arcmin)) {
            fail("a square field without its instant, centre or side");
        }
        if (row.ra_deg && !(*row.ra_deg >= 0.0 && *row.ra_deg < 360.0)) {
            fail("a right ascension outside [0, 360)");
        }
        if (row.dec_deg && !(std::fabs(*row.dec_deg) <= 90.0)) {
            fail("a declination beyond the poles");
        }
        if (row.side_arcmin && !(*row.side_arcmin > 0.0 && *row.side_arcmin < 10800.0)) {
            fail("a side out of range");
        }
    }
}

void check_leap_second_list(std::string_view text)
{
    const LeapSecondListResult list = leap_second_table_from_text(text);
    if (list.table.has_value() == !list.error.empty()) {
        fail("a leap-second list is neither refused with a reason nor read into a table");
    }
    if (!list.table) {
        return;
    }
    const LeapSecondTable& table = *list.table;
    double previous = -INFINITY;
    for (const LeapSecondStep& step : table.steps) {
        if (!std::isfinite(step.mjd) || !(step.mjd > previous) || !std::isfinite(step.tt_minus_utc_seconds)) {
            fail("the steps of an accepted list are not finite and in order");
        }
        previous = step.mjd;
    }
    // TT - UTC must be defined everywhere, and the expiry check must answer.
    for (const double utc : {40000.0, 54606.5, previous, previous + 1.0, table.expiry_mjd + 1.0}) {
        if (!std::isfinite(tt_from_utc(utc, table).tt_minus_utc_days)) {
            fail("TT - UTC is not finite for an accepted list");
        }
        (void)leap_second_expiry_warning(utc, table);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_field_list(text);
    check_leap_second_list(text);
    return 0;
}
