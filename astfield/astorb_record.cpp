#include "astorb_record.hpp"

#include <algorithm>
#include <cmath>

#include "fixed_columns.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// The first column of the ephemeris uncertainty's fields.
constexpr int UNCERTAINTY_FIRST_COLUMN = 191;

// Copies columns first..last of the line into `text`, blanks kept; columns
// beyond the end of the line are left as NUL. A NUL byte inside the columns
// (a garbled record) becomes a blank, so that the printed row keeps its width.
template <std::size_t N>
void copy_columns(std::string_view line, int first, int last, std::array<char, N>& text)
{
    static_assert(N >= 1);
    text.fill('\0');
    const std::string_view field = columns(line, first, last);
    const std::size_t n = field.copy(text.data(), std::min(field.size(), N - 1));
    std::replace(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), '\0', ' ');
}

// The date yyyymmdd of columns first..first+7 as an MJD, NaN unless all
// eight are digits of a real month and day.
double digits_date_mjd(std::string_view line, int first)
{
    const std::string_view text = columns(line, first, first + 7);
    if (text.size() != 8 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return NAN;
    }
    const int year = integer_from_text(text.substr(0, 4));
    const int month = integer_from_text(text.substr(4, 2));
    const int day = integer_from_text(text.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return NAN;
    }
    return mjd_from_calendar(day, month, year, 0, 0, 0.0);
}

// A decimal field that must hold a number: NaN when it is blank.
double required_decimal_field(std::string_view line, int first, int last)
{
    const std::string_view text = columns(line, first, last);
    if (std::none_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return NAN;
    }
    return decimal_from_text(text);
}

// The epoch and the six elements of the record in `line`.
void read_orbit_columns(std::string_view line, AstorbRecord& record)
{
    const std::string_view date = columns(line, 107, 114);
    if (date.size() == 8 && std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // yyyymmdd, as nearly every record writes it.
        auto digit = [&](std::size_t k) { return date[k] - '0'; };
        record.epoch_year = ((digit(0) * 10 + digit(1)) * 10 + digit(2)) * 10 + digit(3);
        record.epoch_month = digit(4) * 10 + digit(5);
        record.epoch_day = digit(6) * 10 + digit(7);
    } else {
        record.epoch_year = integer_field(line, 107, 110);
        record.epoch_month = integer_field(line, 111, 112);
        record.epoch_day = integer_field(line, 113, 114);
    }
    // Written with six decimals for the angles, eight for e and a.
    record.mean_anomaly = fixed_point_field(line, 115, 125, 6);
    record.perihelion_argument = fixed_point_field(line, 126, 136, 6);
    record.node = fixed_point_field(line, 137, 147, 6);
    record.inclination = fixed_point_field(line, 148, 157, 6);
    record.eccentricity = fixed_point_field(line, 158, 168, 8);
    record.semimajor_axis = fixed_point_field(line, 169, 181, 8);
}

}  // namespace

AstorbRecord parse_astorb_orbit(std::string_view line)
{
    AstorbRecord record{};
    read_orbit_columns(line, record);
    // Blanks, digits, points and minus signs, six at most: atof of such a
    // text is a finite number.
    const std::string_view magnitudes = columns(line, 42, 53);
    const bool finite = std::all_of(magnitudes.begin(), magnitudes.end(), [](char c) {
        return c == ' ' || c == '.' || c == '-' || (c >= '0' && c <= '9');
    });
    record.h = finite ? decimal_field(line, 42, 47) : NAN;
    record.g = finite ? decimal_field(line, 48, 53) : NAN;
    return record;
}

AstorbRecord parse_astorb_record(std::string_view line)
{
    AstorbRecord record{};
    copy_columns(line, 1, 6, record.number);
    // The name columns end at 25; the orbit computer's begin at 27.
    copy_columns(line, 7, 25, record.name);
    record.h = decimal_field(line, 42, 47);
    record.g = decimal_field(line, 48, 53);
    read_orbit_columns(line, record);
    const std::string_view uncertainty = columns(line, UNCERTAINTY_FIRST_COLUMN, UNCERTAINTY_FIRST_COLUMN + 25);
    record.uncertainty_columns.fill('\0');
    uncertainty.copy(record.uncertainty_columns.data(), uncertainty.size());
    return record;
}

bool has_elliptic_elements(const AstorbRecord& record)
{
    const double numeric_fields[] = {record.h,           record.g,
                                     record.mean_anomaly, record.perihelion_argument,
                                     record.node,        record.inclination,
                                     record.eccentricity, record.semimajor_axis};
    for (const double value : numeric_fields) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return record.eccentricity >= 0.0 && record.eccentricity < 1.0 && record.semimajor_axis > 0.0;
}

double epoch_mjd(const AstorbRecord& record)
{
    return mjd_from_calendar(record.epoch_day, record.epoch_month, record.epoch_year, 0, 0, 0.0);
}

Vector3 elements_aei(const AstorbRecord& record)
{
    return Vector3{{record.semimajor_axis, record.eccentricity, record.inclination}};
}

Vector3 elements_angles(const AstorbRecord& record)
{
    return Vector3{{record.node, record.perihelion_argument, record.mean_anomaly}};
}

double uncertainty_at(const AstorbRecord& record, double mjd)
{
    // The columns as a line of their own: column 191 is its column 1.
    const std::string_view text(record.uncertainty_columns.data(),
                                std::char_traits<char>::length(record.uncertainty_columns.data()));
    constexpr int SHIFT = UNCERTAINTY_FIRST_COLUMN - 1;
    const double date = digits_date_mjd(text, 209 - SHIFT);
    if (std::isnan(date)) {
        return NAN;
    }
    const double value = required_decimal_field(text, 191 - SHIFT, 198 - SHIFT);
    const double rate = required_decimal_field(text, 199 - SHIFT, 207 - SHIFT);
    return value + rate * (mjd - date);
}

}  // namespace fieldsearch
