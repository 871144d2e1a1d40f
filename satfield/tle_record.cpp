#include "tle_record.hpp"

#include <algorithm>
#include <cmath>

#include "fixed_columns.hpp"

namespace {

// Copies `text` into `field`, at most field.size() - 1 characters, and
// terminates it; the rest of the field is filled with `fill`.
template <std::size_t N>
void copy_text(std::array<char, N>& field, std::string_view text, char fill)
{
    field.fill(fill);
    const std::size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), n, field.begin());
    field[N - 1] = '\0';
    if (fill == '\0') {
        // A NUL byte inside the columns (a garbled set) becomes a blank, so
        // that the printed row keeps its width.
        std::replace(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(n), '\0', ' ');
        field[n] = '\0';
    }
}

// A field of sign, five digits and a signed exponent digit with the decimal
// point assumed before the digits (" 12345-4" is 0.12345e-4), converted as
// atof converts "S0.DDDDDeXX". Missing columns read as absent text.
double decimal_with_assumed_point(std::string_view field)
{
    char text[16] = {};
    std::size_t n = 0;
    if (!field.empty()) {
        text[n++] = field[0];
    }
    text[n++] = '0';
    text[n++] = '.';
    const std::string_view digits = field.substr(std::min<std::size_t>(1, field.size()), 5);
    n += digits.copy(text + n, digits.size());
    if (field.size() > 6) {
        text[n++] = 'e';
        const std::string_view exponent = field.substr(6, 2);
        n += exponent.copy(text + n, exponent.size());
    }
    return decimal_from_text(std::string_view(text, n));
}

}  // namespace

TleRecord parse_tle_record(std::string_view name_line, std::string_view line1, std::string_view line2)
{
    TleRecord r{};
    const std::size_t nul = name_line.find('\0');
    copy_text(r.name, name_line.substr(0, nul), ' ');
    copy_text(r.cospar_id, columns(line1, 10, 15), '\0');
    copy_text(r.norad_id, columns(line1, 3, 8), '\0');
    r.epoch_year = integer_from_text(columns(line1, 19, 20));
    r.epoch_day = decimal_from_text(columns(line1, 21, 32));
    r.ndot2 = decimal_from_text(columns(line1, 34, 43));
    r.nddot6 = decimal_with_assumed_point(columns(line1, 45, 52));
    r.bstar = decimal_with_assumed_point(columns(line1, 54, 61));
    r.mean_anom = decimal_from_text(columns(line2, 44, 51));
    r.omega = decimal_from_text(columns(line2, 35, 42));
    r.node = decimal_from_text(columns(line2, 18, 25));
    r.incl = decimal_from_text(columns(line2, 9, 16));
    // The format leaves out the leading "0." of the eccentricity.
    const std::string_view digits = columns(line2, 27, 33);
    char eccentricity[10] = {'0', '.'};
    digits.copy(eccentricity + 2, digits.size());
    r.ecc = decimal_from_text(std::string_view(eccentricity, 2 + digits.size()));
    r.n = decimal_from_text(columns(line2, 53, 63));
    return r;
}

const char* tle_line_length_problem(std::string_view line1, std::string_view line2)
{
    if (line1.size() < TLE_LINE1_MIN_LENGTH) {
        return "line 1 is shorter than 43 characters";
    }
    if (line2.size() < TLE_LINE2_MIN_LENGTH) {
        return "line 2 is shorter than 63 characters";
    }
    return nullptr;
}

const char* tle_element_problem(const TleRecord& r)
{
    const double fields[] = {r.epoch_day, r.ndot2, r.mean_anom, r.omega, r.node, r.incl, r.ecc, r.n};
    for (const double x : fields) {
        if (!std::isfinite(x)) {
            return "a numeric field is not a finite number";
        }
    }
    if (!(r.n > 0.0)) {
        return "the mean motion is not positive";
    }
    if (r.ecc >= 1.0) {
        return "the eccentricity is not below 1";
    }
    return nullptr;
}
