#include "observatory_codes.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "angles.hpp"
#include "text_catalogue.hpp"
#include "text_values.hpp"

namespace fieldsearch {

namespace {

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view line_columns(std::string_view line, std::size_t first, std::size_t last)
{
    if (first > line.size()) {
        return {};
    }
    return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

// A fixed-point number of a column: digits with a point, an optional sign.
std::optional<double> column_number(std::string_view field)
{
    field = trimmed(field);
    const std::string_view digits = field.substr(!field.empty() && (field[0] == '+' || field[0] == '-') ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789.") != std::string_view::npos ||
        std::count(digits.begin(), digits.end(), '.') > 1) {
        return std::nullopt;
    }
    return number_from_text(field);
}

// The text with the entities &amp; &lt; &gt; &quot; &#39; decoded.
std::string decoded_name(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> entities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
    std::string name;
    for (std::size_t k = 0; k < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : entities) {
            if (text.substr(k, entity.size()) == entity) {
                name.push_back(c);
                k += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            name.push_back(text[k++]);
        }
    }
    return name;
}

std::string line_error(long line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

ObservatoryCodesResult read_observatory_codes(std::string_view text)
{
    ObservatoryCodesResult result;
    std::string_view rest = text;
    long line_number = 0;
    bool in_block = false;
    bool heading_seen = false;
    bool block_closed = false;
    std::set<std::string, std::less<>> codes;
    while (!rest.empty() && !block_closed) {
        std::string_view line = take_text_line(rest);
        ++line_number;
        if (!in_block) {
            const std::size_t pre = line.find("<pre>");
            if (pre == std::string_view::npos) {
                continue;
            }
            in_block = true;
            line.remove_prefix(pre + 5);
            if (trimmed(line).empty()) {
                continue;
            }
        }
        const std::size_t end = line.find("</pre>");
        if (end != std::string_view::npos) {
            block_closed = true;
            line = line.substr(0, end);
            if (trimmed(line).empty()) {
                break;
            }
        }
        if (!heading_seen) {
            if (line.substr(0, 4) != "Code") {
                result.error = line_error(line_number, "the list's heading 'Code  Long.   cos      sin    Name' is missing");
                return result;
            }
            heading_seen = true;
            continue;
        }
        if (trimmed(line).empty()) {
            continue;
        }
        ObservatoryCode station{};
        const std::string_view code = line_columns(line, 1, 3);
        const bool code_valid = code.size() == 3 && std::all_of(code.begin(), code.end(), [](char c) {
                                    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
                                });
        if (!code_valid || line.size() < 31) {
            result.error = line_error(line_number, "'" + std::string(line.substr(0, 40)) +
                                                       "' is no station: a three-character code in columns 1-3 and "
                                                       "a name from column 31 are needed");
            return result;
        }
        station.code = std::string(code);
        station.name = decoded_name(trimmed(line.substr(30)));
        const std::string_view coordinates = line_columns(line, 4, 30);
        station.has_coordinates = !trimmed(coordinates).empty();
        if (station.has_coordinates) {
            const std::optional<double> longitude = column_number(line_columns(line, 4, 13));
            const std::optional<double> rho_cos = column_number(line_columns(line, 14, 21));
            const std::optional<double> rho_sin = column_number(line_columns(line, 22, 30));
            const char sin_sign = line_columns(line, 22, 22).empty() ? ' ' : line[21];
            if (!longitude || *longitude < 0.0 || *longitude >= 360.0 || !rho_cos || *rho_cos < 0.0 ||
                *rho_cos > 1.1 || !rho_sin || std::fabs(*rho_sin) > 1.1 || (sin_sign != '+' && sin_sign != '-')) {
                result.error = line_error(line_number, "the coordinates '" + std::string(coordinates) + "' of station " +
                                                           station.code +
                                                           " are not a longitude in [0, 360) (columns 4-13), rho cos "
                                                           "phi' (14-21) and a signed rho sin phi' (22-30)");
                return result;
            }
            station.east_longitude_deg = *longitude;
            station.rho_cos_phi = *rho_cos;
            station.rho_sin_phi = *rho_sin;
        }
        if (!codes.insert(station.code).second) {
            result.error = line_error(line_number, "station " + station.code + " is listed twice");
            return result;
        }
        result.stations.push_back(std::move(station));
    }
    if (!in_block || !heading_seen) {
        result.error = "the page holds no <pre> block with the list of observatory codes";
    } else if (!block_closed) {
        result.error = "the list's <pre> block is not closed: the page is cut short";
    } else if (result.stations.empty()) {
        result.error = "the list holds no station";
    }
    return result;
}

}  // namespace

ObservatoryCodesResult observatory_codes_from_html(std::string_view text)
{
    ObservatoryCodesResult result = read_observatory_codes(text);
    if (!result.error.empty()) {
        result.stations.clear();
    }
    return result;
}

const ObservatoryCode* find_observatory_code(const std::vector<ObservatoryCode>& stations, std::string_view code)
{
    const auto found = std::find_if(stations.begin(), stations.end(),
                                    [&](const ObservatoryCode& station) { return station.code == code; });
    return found == stations.end() ? nullptr : &*found;
}

Vector3 observatory_earth_fixed_km(const ObservatoryCode& station)
{
    const double lambda = station.east_longitude_deg * DEG_TO_RAD;
    Vector3 v;
    v(1) = station.rho_cos_phi * std::cos(lambda) * OBSERVATORY_CODES_EARTH_RADIUS_KM;
    v(2) = station.rho_cos_phi * std::sin(lambda) * OBSERVATORY_CODES_EARTH_RADIUS_KM;
    v(3) = station.rho_sin_phi * OBSERVATORY_CODES_EARTH_RADIUS_KM;
    return v;
}

}  // namespace fieldsearch
