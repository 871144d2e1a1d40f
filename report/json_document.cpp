#include "json_document.hpp"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "angles.hpp"
#include "csv_rows.hpp"
#include "formatted_text.hpp"
#include "horizontal_coordinates.hpp"
#include "sidereal_time.hpp"

namespace fieldsearch {

namespace {

// A JSON text of `value`; bytes of strings that are not UTF-8 become U+FFFD.
std::string dumped(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json json_value(const RowValue& value)
{
    switch (value.kind) {
    case ValueKind::absent:
        return nullptr;
    case ValueKind::whole:
        return value.whole;
    case ValueKind::real:
        // The number the CSV prints: rounded to its decimals.
        return value.decimals == ALL_DIGITS ? value.real : std::strtod(csv_value(value).c_str(), nullptr);
    case ValueKind::text:
        return value.text;
    }
    return nullptr;
}

}  // namespace

std::string json_value_text(const RowValue& value)
{
    return dumped(json_value(value));
}

std::string json_row_text(const Row& row, const RowColumns& columns, std::string_view field_id)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["field"] = std::string(field_id);
    for (std::size_t k = 0; k < columns.size(); ++k) {
        object[columns[k]] = k < row.values.size() ? json_value(row.values[k]) : nullptr;
    }
    return dumped(object);
}

std::string json_object_text(const Row& row, const RowColumns& columns)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t k = 0; k < columns.size(); ++k) {
        object[columns[k]] = k < row.values.size() ? json_value(row.values[k]) : nullptr;
    }
    return dumped(object);
}

std::string json_string_text(std::string_view text)
{
    return json_value_text(text_value(text));
}

FieldSky field_sky(const FieldSearch& field, SunPositionFunction sun)
{
    const std::optional<LocalHorizon> horizon = local_horizon(field.observer_earth_fixed);
    if (!horizon) {
        return {};
    }
    const SearchRequest request = field_request(field);
    const CelestialToTerrestrial c2t =
        celestial_to_terrestrial_matrix(field.start_utc_mjd, field.ut1_minus_utc_seconds, field.leap_seconds);
    FieldSky sky;
    sky.centre_altitude_deg =
        horizontal_from_j2000(unit_vector_from_sky(request.centre_ra_deg, request.centre_dec_deg), c2t.matrix, *horizon)
            .altitude_deg;
    if (sun != nullptr) {
        const Vector3 site_j2000 = matrix_vector_product(transpose_matrix(c2t.matrix), field.observer_earth_fixed);
        const Vector3 geocentric = sun(c2t.tdb);
        const Vector3 topocentric{{geocentric(1) - site_j2000(1), geocentric(2) - site_j2000(2),
                                   geocentric(3) - site_j2000(3)}};
        sky.sun_altitude_deg = horizontal_from_j2000(topocentric, c2t.matrix, *horizon).altitude_deg;
    }
    return sky;
}

namespace {

// An altitude as the scenario writes it: to 1e-6 deg, or null.
nlohmann::ordered_json altitude_value(const std::optional<double>& altitude_deg)
{
    return altitude_deg ? json_value(real_value(*altitude_deg, 6)) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string json_field_text(const FieldSearch& field, const FieldSky& sky)
{
    const Scenario scenario = field_scenario(field);
    const CalendarInstant& i = scenario.instant;
    const SearchRequest request = field_request(field);
    nlohmann::ordered_json out;
    out["id"] = field.id;
    out["time_utc"] = formatted("%04d-%02d-%02dT%02d:%02d:%06.3fZ", i.year, i.month, i.day, i.hour, i.minute, i.second);
    out["start_utc_mjd"] = field.start_utc_mjd;
    out["exposure_s"] = field.exposure_s;
    out["rows_utc_mjd"] = request.utc_mjd;
    out["centre_ra_deg"] = request.centre_ra_deg;
    out["centre_dec_deg"] = request.centre_dec_deg;
    out["side_arcmin"] = 2.0 * scenario.half_side_arcmin;
    out["observer_earth_fixed_km"] = {request.observer_x, request.observer_y, request.observer_z};
    out["mag_limit"] = request.mag_limit;
    out["centre_altitude_deg"] = altitude_value(sky.centre_altitude_deg);
    out["sun_altitude_deg"] = altitude_value(sky.sun_altitude_deg);
    return dumped(out);
}

std::string json_document(const SearchPlan& plan, std::string_view program, std::string_view catalogue,
                          const std::vector<std::string>& row_texts, int records_read,
                          const std::vector<FieldSky>& skies, int superseded_sets)
{
    std::string out = "{\n \"program\": " + dumped(std::string(program)) + ",\n \"catalogue\": " +
                      dumped(std::string(catalogue)) + ",\n \"fields\": [";
    for (std::size_t f = 0; f < plan.fields.size(); ++f) {
        out += f == 0 ? "\n  " : ",\n  ";
        out += json_field_text(plan.fields[f], f < skies.size() ? skies[f] : FieldSky{});
    }
    out += plan.fields.empty() ? "],\n" : "\n ],\n";
    out += " \"records_read\": " + std::to_string(records_read) + ",\n";
    if (superseded_sets > 0) {
        out += " \"superseded_sets\": " + std::to_string(superseded_sets) + ",\n";
    }
    out += " \"complete\": true,\n \"rows\": [";
    bool first = true;
    for (const std::string& rows : row_texts) {
        std::size_t begin = 0;
        while (begin < rows.size()) {
            std::size_t end = rows.find('\n', begin);
            if (end == std::string::npos) {
                end = rows.size();
            }
            out += first ? "\n  " : ",\n  ";
            out.append(rows, begin, end - begin);
            first = false;
            begin = end + 1;
        }
    }
    out += first ? "]\n}\n" : "\n ]\n}\n";
    return out;
}

}  // namespace fieldsearch
