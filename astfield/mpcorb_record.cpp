#include "mpcorb_record.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "fixed_columns.hpp"
#include "packed_designations.hpp"

namespace fieldsearch {

AstorbRecord parse_mpcorb_record(std::string_view line)
{
    AstorbRecord record{};
    const std::string_view packed = trimmed_text(columns(line, 1, 7));
    const std::string_view readable = trimmed_text(columns(line, 167, 194));
    std::string number;
    std::string name;
    if (const std::optional<long> n = unpacked_number(packed)) {
        number = std::to_string(*n);
        // "(26016) Name": the name after the parenthesised number.
        const std::size_t close = readable.find(')');
        name = close != std::string_view::npos ? std::string(trimmed_text(readable.substr(close + 1))) : std::string();
    } else if (const std::optional<std::string> provisional = unpacked_provisional(packed)) {
        name = *provisional;
    } else {
        name = std::string(readable.empty() ? packed : readable);
    }
    put_designation(record.number, number, 6, true);
    put_designation(record.name, name, NAME_FIELD_BYTES - 1, false);

    record.h = decimal_field(line, 8, 13);
    record.g = decimal_field(line, 14, 19);
    if (const std::optional<CalendarDate> epoch = unpacked_date(columns(line, 21, 25))) {
        record.epoch_year = epoch->year;
        record.epoch_month = epoch->month;
        record.epoch_day = epoch->day;
    }
    record.mean_anomaly = decimal_field(line, 26, 35);
    record.perihelion_argument = decimal_field(line, 37, 46);
    record.node = decimal_field(line, 48, 57);
    record.inclination = decimal_field(line, 59, 68);
    record.eccentricity = decimal_field(line, 70, 79);
    record.semimajor_axis = decimal_field(line, 92, 103);
    record.uncertainty_columns.fill('\0');
    return record;
}

bool looks_like_mpcorb_record(std::string_view line)
{
    if (line.size() < static_cast<std::size_t>(MPCORB_COLUMNS_READ)) {
        return false;
    }
    return unpacked_date(line.substr(20, 5)).has_value() && line[29] == '.' && line[71] == '.' && line[95] == '.';
}

}  // namespace fieldsearch
