#include "comet_record.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "fixed_columns.hpp"
#include "packed_designations.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

bool all_digits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

constexpr std::string_view ORBIT_TYPES = "CPDXIA";

}  // namespace

CometRecord parse_comet_record(std::string_view line)
{
    CometRecord record{};
    std::string_view periodic = trimmed_text(columns(line, 1, 4));
    periodic.remove_prefix(std::min(periodic.find_first_not_of('0'), periodic.size()));
    const std::string_view type = columns(line, 5, 5);
    std::string_view designation = trimmed_text(columns(line, 103, 158));
    if (const std::size_t open = designation.find(" ("); open != std::string_view::npos) {
        designation = trimmed_text(designation.substr(0, open));
    }
    std::string number;
    if (!periodic.empty()) {
        number = std::string(periodic) + std::string(type);
        // "2P/Encke": the name after the slash.
        if (const std::size_t slash = designation.find('/'); slash != std::string_view::npos) {
            designation = designation.substr(slash + 1);
        }
    }
    put_designation(record.number, number, 6, true);
    put_designation(record.name, designation, NAME_FIELD_BYTES - 1, false);

    record.perihelion_year = integer_field(line, 15, 18);
    record.perihelion_month = integer_field(line, 20, 21);
    record.perihelion_day = decimal_field(line, 23, 29);
    record.perihelion_distance = decimal_field(line, 31, 39);
    record.eccentricity = decimal_field(line, 41, 49);
    record.perihelion_argument = decimal_field(line, 51, 59);
    record.node = decimal_field(line, 61, 69);
    record.inclination = decimal_field(line, 71, 79);
    const std::string_view epoch = columns(line, 82, 89);
    record.epoch_mjd = NAN;
    if (epoch.size() == 8 && all_digits(epoch)) {
        const int month = integer_from_text(epoch.substr(4, 2));
        const int day = integer_from_text(epoch.substr(6, 2));
        if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
            record.epoch_mjd = mjd_from_calendar(day, month, integer_from_text(epoch.substr(0, 4)), 0, 0, 0.0);
        }
    }
    record.h = decimal_field(line, 91, 95);
    record.k = decimal_field(line, 96, 100);
    return record;
}

bool looks_like_comet_record(std::string_view line)
{
    if (line.size() < static_cast<std::size_t>(COMET_COLUMNS_READ)) {
        return false;
    }
    return ORBIT_TYPES.find(line[4]) != std::string_view::npos && all_digits(line.substr(14, 4)) &&
           line[32] == '.' && line[42] == '.';
}

bool has_valid_comet_elements(const CometRecord& r)
{
    const double numeric_fields[] = {r.perihelion_day, r.perihelion_distance, r.eccentricity, r.perihelion_argument,
                                     r.node,           r.inclination,         r.h,            r.k};
    for (const double value : numeric_fields) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return r.perihelion_distance > 0.0 && r.eccentricity >= 0.0 && r.perihelion_month >= 1 &&
           r.perihelion_month <= 12 && r.perihelion_day >= 0.0 && r.perihelion_day < 33.0 &&
           r.perihelion_year > -10000 && r.perihelion_year < 10000;
}

PerihelionElements perihelion_elements(const CometRecord& r)
{
    const double whole_day = std::floor(r.perihelion_day);
    const double date = mjd_from_calendar(static_cast<int>(whole_day), r.perihelion_month, r.perihelion_year, 0, 0,
                                          0.0);
    return {date + (r.perihelion_day - whole_day), r.perihelion_distance, r.eccentricity, r.inclination, r.node,
            r.perihelion_argument};
}

double comet_total_magnitude(double h, double k, const Vector3& comet_position_km, const Vector3& topocentric_km)
{
    const double r = std::sqrt(dot_product(comet_position_km, comet_position_km)) / KM_PER_AU;
    const double delta = std::sqrt(dot_product(topocentric_km, topocentric_km)) / KM_PER_AU;
    return h + 5.0 * std::log10(delta) + 2.5 * k * std::log10(r);
}

}  // namespace fieldsearch
