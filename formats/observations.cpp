#include "observations.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>

#include <pugixml.hpp>

#include "angles.hpp"
#include "constants.hpp"
#include "geodetic_site.hpp"
#include "packed_designations.hpp"
#include "text_catalogue.hpp"
#include "text_values.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// One line of a text: its content (no line end) and where it begins.
struct TextLine {
    std::string_view text;
    std::size_t begin;
};

// The lines of a text as take_text_line splits them, each with its offset.
std::vector<TextLine> text_lines(std::string_view text)
{
    std::vector<TextLine> lines;
    const char* const start = text.data();
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::string_view line = take_text_line(rest);
        lines.push_back({line, static_cast<std::size_t>(line.data() - start)});
    }
    return lines;
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool is_blank(std::string_view text)
{
    return trimmed(text).empty();
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

int digits_value(std::string_view text)
{
    int value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// Columns first..last (1-based, inclusive) of a line, cut where it ends.
std::string_view line_columns(std::string_view line, std::size_t first, std::size_t last)
{
    if (first > line.size()) {
        return {};
    }
    return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}

// A line's text fit for a message: printable characters, at most 40 of them.
std::string quoted(std::string_view text)
{
    std::string shown = "'";
    for (std::size_t k = 0; k < text.size() && k < 40; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        shown.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
    }
    if (text.size() > 40) {
        shown += "...";
    }
    return shown + "'";
}

int days_in_month(int year, int month)
{
    static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// The UTC MJD of a calendar date and time of day, or empty when the date does
// not exist or lies outside the years 1900 to 2099; `second` may reach 61 in
// the last minute of a day (a leap second).
std::optional<double> utc_mjd_of(int year, int month, int day, int hour, int minute, double second)
{
    if (year < 1900 || year > 2099 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(second >= 0.0) ||
        second >= (hour == 23 && minute == 59 ? 61.0 : 60.0)) {
        return std::nullopt;
    }
    return mjd_from_calendar(day, month, year, hour, minute, second);
}

// ---------------------------------------------------------------------------
// The 80-column optical format.

constexpr std::array<std::string_view, 11> MPC80_HEADER_KEYWORDS{"COD", "CON", "OBS", "MEA", "TEL", "NET",
                                                                 "BND", "COM", "NUM", "ACK", "AC2"};

bool is_mpc80_header_line(std::string_view line)
{
    if (line.size() < 3 || (line.size() > 3 && line[3] != ' ')) {
        return false;
    }
    return std::find(MPC80_HEADER_KEYWORDS.begin(), MPC80_HEADER_KEYWORDS.end(), line.substr(0, 3)) !=
           MPC80_HEADER_KEYWORDS.end();
}

// True when columns 16-25 hold the start of an 80-column date "YYYY MM DD".
bool has_mpc80_date(std::string_view line)
{
    const std::string_view date = line_columns(line, 16, 25);
    return date.size() == 10 && all_digits(date.substr(0, 4)) && date[4] == ' ' && all_digits(date.substr(5, 2)) &&
           date[7] == ' ' && all_digits(date.substr(8, 2));
}

// The note-2 kinds whose line is a position on the sky measured from the
// station: blank (photographic), P photographic, e encoder, C CCD, T
// meridian or transit circle, M micrometer, c corrected CCD, E occultation,
// H Hipparcos, N normal place, n mini-normal place, A converted from B1950,
// X and x replaced discovery observations.
bool is_station_optical_kind(char note2)
{
    return std::string_view(" PeCTMcEHNnAXx").find(note2) != std::string_view::npos;
}

// The UTC MJD of an 80-column date "YYYY MM DD.dddddd" (columns 16-32).
std::optional<double> mpc80_date(std::string_view field)
{
    if (field.size() < 10 || !all_digits(field.substr(0, 4)) || field[4] != ' ' || !all_digits(field.substr(5, 2)) ||
        field[7] != ' ') {
        return std::nullopt;
    }
    const std::string_view day_text = trimmed(field.substr(8));
    const std::size_t point = day_text.find('.');
    const std::string_view whole = day_text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : day_text.substr(point + 1);
    if (whole.size() != 2 || !all_digits(whole) || (point != std::string_view::npos && !fraction.empty() &&
                                                    !all_digits(fraction))) {
        return std::nullopt;
    }
    const std::optional<double> day = number_from_text(day_text);
    const int year = digits_value(field.substr(0, 4));
    const int month = digits_value(field.substr(5, 2));
    const int whole_day = digits_value(whole);
    const std::optional<double> midnight = utc_mjd_of(year, month, whole_day, 0, 0, 0.0);
    if (!day || !midnight) {
        return std::nullopt;
    }
    return *midnight + (*day - whole_day);
}

// The value of sexagesimal text "A B C.c" or "A B.b" (blanks between the
// parts, as the fixed columns write them): A + (B + C/60)/60, or empty
// unless A is a whole number up to `largest_whole` and B and C lie in [0, 60).
std::optional<double> sexagesimal_value(std::string_view text, int largest_whole)
{
    if (text.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<SexagesimalValue> value = sexagesimal_from_text(text);
    if (!value || value->parts < 2 || !value->whole_is_integer || value->whole > largest_whole) {
        return std::nullopt;
    }
    return sexagesimal_units(*value);
}

// A signed number of a second line: an optional sign, blanks, then digits
// with a point.
std::optional<double> signed_field(std::string_view field)
{
    field = trimmed(field);
    double sign = 1.0;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        sign = field.front() == '-' ? -1.0 : 1.0;
        field = trimmed(field.substr(1));
    }
    if (field.empty() || !(is_digit(field.front()) || field.front() == '.') ||
        field.find_first_not_of("0123456789.") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<double> value = number_from_text(field);
    if (!value) {
        return std::nullopt;
    }
    return sign * *value;
}

// The observation of an 80-column line, or the reason it is none.
std::string mpc80_first_line(std::string_view line, Observation& out)
{
    if (line.size() < 80) {
        return "a line of " + std::to_string(line.size()) + " characters is no 80-column observation";
    }
    if (!is_blank(line.substr(80))) {
        return "the line runs past column 80";
    }
    out.format = ObservationFormat::mpc80;
    out.packed_number = std::string(trimmed(line_columns(line, 1, 5)));
    out.provisional = std::string(trimmed(line_columns(line, 6, 12)));
    if (out.packed_number.empty() && out.provisional.empty()) {
        return "columns 1-12 hold no designation";
    }
    out.note2 = line[14];
    const std::optional<double> mjd = mpc80_date(line_columns(line, 16, 32));
    if (!mjd) {
        return "columns 16-32 " + quoted(line_columns(line, 16, 32)) +
               " are not an existing UTC date YYYY MM DD.dddddd in the years 1900 to 2099";
    }
    out.utc_mjd = *mjd;
    const std::optional<double> ra_hours = sexagesimal_value(line_columns(line, 33, 44), 23);
    if (!ra_hours) {
        return "columns 33-44 " + quoted(line_columns(line, 33, 44)) +
               " are not a right ascension HH MM SS.sss (hours 0 to 23)";
    }
    out.ra_deg = *ra_hours * 15.0;
    const std::string_view dec_field = line_columns(line, 45, 56);
    const std::optional<double> dec_magnitude =
        dec_field.empty() ? std::nullopt : sexagesimal_value(dec_field.substr(1), 90);
    if (dec_field.empty() || (dec_field[0] != '+' && dec_field[0] != '-') || !dec_magnitude || *dec_magnitude > 90.0) {
        return "columns 45-56 " + quoted(dec_field) + " are not a declination sDD MM SS.ss within 90 degrees";
    }
    out.dec_deg = dec_field[0] == '-' ? -*dec_magnitude : *dec_magnitude;
    const std::string_view magnitude = trimmed(line_columns(line, 66, 70));
    if (!magnitude.empty()) {
        const std::optional<double> value = number_from_text(magnitude);
        if (!value || magnitude.find_first_of("eE") != std::string_view::npos || *value < OBSERVATION_MAGNITUDE_MIN ||
            *value > OBSERVATION_MAGNITUDE_MAX) {
            return "columns 66-70 " + quoted(line_columns(line, 66, 70)) + " are not a magnitude from -5 to 35";
        }
        out.magnitude = value;
        out.band = std::string(trimmed(line_columns(line, 71, 71)));
    }
    const std::string_view station = line_columns(line, 78, 80);
    if (!std::all_of(station.begin(), station.end(),
                     [](char c) { return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); })) {
        return "columns 78-80 " + quoted(station) + " are no observatory code";
    }
    out.station = std::string(station);
    out.place = ObserverPlace::station;
    return {};
}

// The spacecraft's or roving site's position from the second line of a
// satellite ('s') or roving ('v') observation, into `out`.
std::string mpc80_second_line(std::string_view first, std::string_view second, Observation& out)
{
    const char kind = out.note2 == 'S' ? 's' : 'v';
    const char* name = kind == 's' ? "satellite" : "roving";
    if (second.size() < 80 || !is_blank(second.substr(80))) {
        return std::string("the second line of a ") + name + " observation is not 80 columns long";
    }
    if (line_columns(second, 1, 12) != line_columns(first, 1, 12) ||
        line_columns(second, 16, 32) != line_columns(first, 16, 32)) {
        return std::string("the second line of a ") + name +
               " observation does not repeat the designation and date of its first";
    }
    if (line_columns(second, 78, 80) != line_columns(first, 78, 80)) {
        return std::string("the second line of a ") + name + " observation names another observatory code";
    }
    if (kind == 's') {
        const char unit = second[32];
        if (unit != '1' && unit != '2') {
            return "column 33 of the satellite's second line is " + quoted(second.substr(32, 1)) +
                   ", neither 1 (km) nor 2 (AU)";
        }
        const double scale = unit == '1' ? 1.0 : KM_PER_AU;
        const std::array<std::pair<std::size_t, std::size_t>, 3> fields{{{35, 45}, {47, 57}, {59, 69}}};
        for (int axis = 1; axis <= 3; ++axis) {
            const auto [first_column, last_column] = fields[static_cast<std::size_t>(axis - 1)];
            const std::optional<double> value = signed_field(line_columns(second, first_column, last_column));
            if (!value) {
                return "columns " + std::to_string(first_column) + "-" + std::to_string(last_column) + " " +
                       quoted(line_columns(second, first_column, last_column)) +
                       " of the satellite's second line are no coordinate";
            }
            out.space_geocentric_km(axis) = *value * scale;
        }
        const Vector3& r = out.space_geocentric_km;
        if (std::sqrt(dot_product(r, r)) > SPACE_OBSERVER_MAX_KM) {
            return "the spacecraft's position lies farther than 1e11 km from the geocentre";
        }
        out.place = ObserverPlace::space;
        return {};
    }
    if (second[32] != '1') {
        return "column 33 of the roving observer's second line is " + quoted(second.substr(32, 1)) + ", not 1";
    }
    const std::optional<double> longitude = signed_field(line_columns(second, 35, 44));
    const std::optional<double> latitude = signed_field(line_columns(second, 46, 55));
    const std::string_view height = trimmed(line_columns(second, 57, 61));
    const bool height_ok = !height.empty() && (all_digits(height) || (height[0] == '-' && all_digits(height.substr(1))));
    if (!longitude || *longitude < 0.0 || *longitude > 360.0) {
        return "columns 35-44 " + quoted(line_columns(second, 35, 44)) +
               " of the roving observer's second line are no east longitude from 0 to 360 degrees";
    }
    if (!latitude || std::fabs(*latitude) > 90.0) {
        return "columns 46-55 " + quoted(line_columns(second, 46, 55)) +
               " of the roving observer's second line are no latitude within 90 degrees";
    }
    if (!height_ok) {
        return "columns 57-61 " + quoted(line_columns(second, 57, 61)) +
               " of the roving observer's second line are no altitude in metres";
    }
    out.roving = RovingSite{*longitude, *latitude, static_cast<double>(std::stoi(std::string(height)))};
    out.place = ObserverPlace::roving;
    return {};
}

void read_mpc80(std::string_view text, ObservationsResult& result)
{
    const std::vector<TextLine> lines = text_lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i].text;
        const long number = static_cast<long>(i + 1);
        if (is_blank(line) || is_mpc80_header_line(line)) {
            continue;
        }
        const char note2 = line.size() >= 15 ? line[14] : ' ';
        if (note2 == 's' || note2 == 'v') {
            result.problems.push_back({number, std::string("the second line of a ") +
                                                   (note2 == 's' ? "satellite" : "roving") +
                                                   " observation without its first line"});
            continue;
        }
        Observation observation{};
        std::string problem = mpc80_first_line(line, observation);
        const bool two_lines = note2 == 'S' || note2 == 'V';
        const char second_kind = note2 == 'S' ? 's' : 'v';
        const bool has_second = two_lines && i + 1 < lines.size() && lines[i + 1].text.size() >= 15 &&
                                lines[i + 1].text[14] == second_kind;
        if (problem.empty()) {
            if (two_lines) {
                problem = has_second ? mpc80_second_line(line, lines[i + 1].text, observation)
                                     : std::string("a ") + (note2 == 'S' ? "satellite" : "roving") +
                                           " observation without its second line";
            } else if (note2 == 'R' || note2 == 'r') {
                problem = "a radar observation (note 2 'R'): not read";
            } else if (note2 == 'O') {
                problem = "an offset from a planet (note 2 'O'): not read";
            } else if (!is_station_optical_kind(note2)) {
                problem = "note 2 " + quoted(line.substr(14, 1)) + " is no kind of optical observation read here";
            }
        }
        if (has_second) {
            ++i;
        }
        if (!problem.empty()) {
            result.problems.push_back({number, problem});
            continue;
        }
        observation.position = number;
        result.observations.push_back(std::move(observation));
    }
}

// ---------------------------------------------------------------------------
// ADES, both representations.

// The fields of one ADES observation that are read, as written (trimmed);
// an empty text is an absent field.
struct AdesFields {
    std::map<std::string, std::string, std::less<>> values;

    std::string_view get(std::string_view name) const
    {
        const auto found = values.find(name);
        return found == values.end() ? std::string_view{} : std::string_view(found->second);
    }
};

// The UTC MJD of an ADES obsTime, YYYY-MM-DDTHH:MM:SS[.s...][Z].
std::optional<double> ades_time(std::string_view text)
{
    if (!text.empty() && text.back() == 'Z') {
        text.remove_suffix(1);
    }
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':') {
        return std::nullopt;
    }
    const std::string_view seconds = text.substr(17);
    for (const std::string_view part : {text.substr(0, 4), text.substr(5, 2), text.substr(8, 2), text.substr(11, 2),
                                        text.substr(14, 2), seconds.substr(0, 2)}) {
        if (!all_digits(part)) {
            return std::nullopt;
        }
    }
    if (seconds.size() > 2 && (seconds[2] != '.' || (seconds.size() > 3 && !all_digits(seconds.substr(3))))) {
        return std::nullopt;
    }
    const std::optional<double> second = number_from_text(seconds);
    if (!second) {
        return std::nullopt;
    }
    return utc_mjd_of(digits_value(text.substr(0, 4)), digits_value(text.substr(5, 2)), digits_value(text.substr(8, 2)),
                      digits_value(text.substr(11, 2)), digits_value(text.substr(14, 2)), *second);
}

// The geodetic latitude (degrees) and height (m) of an Earth-fixed point at
// distance `rho_km` from the axis and `z_km` from the equator (WGS84).
std::pair<double, double> geodetic_of_cylindrical(double rho_km, double z_km)
{
    const double e2 = WGS84_FLATTENING * (2.0 - WGS84_FLATTENING);
    double latitude = std::atan2(z_km, rho_km * (1.0 - e2));
    double height_km = 0.0;
    for (int pass = 0; pass < 8; ++pass) {
        const double s = std::sin(latitude);
        const double n = WGS84_EQUATORIAL_RADIUS_KM / std::sqrt(1.0 - e2 * s * s);
        height_km = std::fabs(latitude) < PI / 4.0 ? rho_km / std::cos(latitude) - n : z_km / s - n * (1.0 - e2);
        latitude = std::atan2(z_km, rho_km * (1.0 - e2 * n / (n + height_km)));
    }
    return {latitude * RAD_TO_DEG, height_km * 1000.0};
}

// The observation of the fields of one ADES record, or the reason it is none.
std::string ades_observation(const AdesFields& fields, ObservationFormat format, Observation& out)
{
    out.format = format;
    out.packed_number = std::string(fields.get("permID"));
    out.provisional = std::string(fields.get("provID"));
    out.tracklet_id = std::string(fields.get("trkSub"));
    out.artificial_satellite = std::string(fields.get("artSat"));
    out.note2 = ' ';
    out.mode = std::string(fields.get("mode"));
    if (out.packed_number.empty() && out.provisional.empty() && out.tracklet_id.empty() &&
        out.artificial_satellite.empty()) {
        return "no permID, provID, trkSub or artSat";
    }
    out.station = std::string(fields.get("stn"));
    if (out.station.empty()) {
        return "no stn (observatory code)";
    }
    const std::string_view time = fields.get("obsTime");
    if (time.empty()) {
        return "no obsTime";
    }
    const std::optional<double> mjd = ades_time(time);
    if (!mjd) {
        return "obsTime " + quoted(time) + " is not an existing UTC instant YYYY-MM-DDTHH:MM:SS.sssZ in the years 1900 "
                                            "to 2099";
    }
    out.utc_mjd = *mjd;
    const std::string_view ra = fields.get("ra");
    const std::string_view dec = fields.get("dec");
    if (ra.empty() || dec.empty()) {
        return ra.empty() ? "no ra" : "no dec";
    }
    const std::optional<double> ra_deg = number_from_text(ra);
    if (!ra_deg || *ra_deg < 0.0 || *ra_deg >= 360.0) {
        return "ra " + quoted(ra) + " is not a number of degrees in [0, 360)";
    }
    const std::optional<double> dec_deg = number_from_text(dec);
    if (!dec_deg || std::fabs(*dec_deg) > 90.0) {
        return "dec " + quoted(dec) + " is not a number of degrees in [-90, 90]";
    }
    out.ra_deg = *ra_deg;
    out.dec_deg = *dec_deg;
    for (const auto& [name, slot] : {std::pair<const char*, std::optional<double>*>{"rmsRA", &out.rms_ra_arcsec},
                                     {"rmsDec", &out.rms_dec_arcsec}}) {
        const std::string_view text = fields.get(name);
        if (text.empty()) {
            continue;
        }
        const std::optional<double> value = number_from_text(text);
        if (!value || *value <= 0.0 || *value >= 100000.0) {
            return std::string(name) + " " + quoted(text) + " is not a positive number of arcseconds";
        }
        *slot = value;
    }
    const std::string_view magnitude = fields.get("mag");
    if (!magnitude.empty()) {
        const std::optional<double> value = number_from_text(magnitude);
        if (!value || *value < OBSERVATION_MAGNITUDE_MIN || *value > OBSERVATION_MAGNITUDE_MAX) {
            return "mag " + quoted(magnitude) + " is not a magnitude from -5 to 35";
        }
        out.magnitude = value;
        out.band = std::string(fields.get("band"));
    }
    out.place = ObserverPlace::station;
    const std::string_view system = fields.get("sys");
    if (system.empty()) {
        return {};
    }
    if (fields.get("ctr") != "399") {
        return "ctr " + quoted(fields.get("ctr")) + " is not 399: only positions about the Earth are read";
    }
    std::array<double, 3> position{};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::string name = "pos" + std::to_string(k + 1);
        const std::optional<double> value = number_from_text(fields.get(name));
        if (!value) {
            return name + " " + quoted(fields.get(name)) + " is not a number";
        }
        position[k] = *value;
    }
    if (system == "ICRF_KM" || system == "ICRF_AU") {
        const double scale = system == "ICRF_KM" ? 1.0 : KM_PER_AU;
        for (int axis = 1; axis <= 3; ++axis) {
            out.space_geocentric_km(axis) = position[static_cast<std::size_t>(axis - 1)] * scale;
        }
        const Vector3& r = out.space_geocentric_km;
        if (std::sqrt(dot_product(r, r)) > SPACE_OBSERVER_MAX_KM) {
            return "the spacecraft's position lies farther than 1e11 km from the geocentre";
        }
        out.place = ObserverPlace::space;
        return {};
    }
    double latitude = position[1];
    double height_m = position[2];
    if (system == "ITRF") {
        // Longitude, distance from the axis and from the equatorial plane (km).
        if (position[1] < 0.0 || std::hypot(position[1], position[2]) > 2.0 * WGS84_EQUATORIAL_RADIUS_KM ||
            std::hypot(position[1], position[2]) < 0.5 * WGS84_EQUATORIAL_RADIUS_KM) {
            return "pos2, pos3 of sys ITRF are not a distance from the axis and from the equator near the Earth's "
                   "surface, km";
        }
        std::tie(latitude, height_m) = geodetic_of_cylindrical(position[1], position[2]);
    } else if (system != "WGS84") {
        return "sys " + quoted(system) + " is not read (WGS84, ITRF, ICRF_KM and ICRF_AU are)";
    }
    if (position[0] < -180.0 || position[0] > 360.0 || std::fabs(latitude) > 90.0 || height_m < -12000.0 ||
        height_m > 100000.0) {
        return "the roving site's longitude, latitude or height lies out of range";
    }
    out.roving = RovingSite{position[0], latitude, height_m};
    out.place = ObserverPlace::roving;
    return {};
}

// The ADES field names this reader takes from a record.
constexpr std::array<std::string_view, 18> ADES_FIELD_NAMES{"permID", "provID", "trkSub", "artSat", "mode",
                                                            "stn",    "obsTime", "ra",   "dec",    "rmsRA",
                                                            "rmsDec", "mag",    "band", "sys",    "ctr",
                                                            "pos1",   "pos2",   "pos3"};

bool is_ades_field_name(std::string_view name)
{
    return std::find(ADES_FIELD_NAMES.begin(), ADES_FIELD_NAMES.end(), name) != ADES_FIELD_NAMES.end();
}

// The cells of a PSV line: the text between the '|', with where each begins.
std::vector<std::pair<std::string_view, std::size_t>> psv_cells(std::string_view line)
{
    std::vector<std::pair<std::string_view, std::size_t>> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = line.find('|', start);
        cells.emplace_back(line.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start),
                           start);
        if (bar == std::string_view::npos) {
            return cells;
        }
        start = bar + 1;
    }
}

bool is_psv_header_line(std::string_view line)
{
    const std::string_view text = trimmed(line);
    return !text.empty() && (text.front() == '#' || text.front() == '!');
}

// One block of a PSV text: its column line and the lines of its records
// (indices into the text's lines).
struct PsvBlock {
    std::size_t column_line;
    std::vector<std::string> names;
    std::vector<std::size_t> rows;
};

std::vector<PsvBlock> psv_blocks(const std::vector<TextLine>& lines)
{
    std::vector<PsvBlock> blocks;
    bool need_columns = true;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i].text;
        if (is_blank(line)) {
            continue;
        }
        if (is_psv_header_line(line)) {
            need_columns = true;
            continue;
        }
        if (need_columns) {
            PsvBlock block{i, {}, {}};
            for (const auto& cell : psv_cells(line)) {
                block.names.emplace_back(trimmed(cell.first));
            }
            blocks.push_back(std::move(block));
            need_columns = false;
            continue;
        }
        blocks.back().rows.push_back(i);
    }
    return blocks;
}

void read_ades_psv(std::string_view text, ObservationsResult& result)
{
    const std::vector<TextLine> lines = text_lines(text);
    for (const PsvBlock& block : psv_blocks(lines)) {
        const bool has_field = std::any_of(block.names.begin(), block.names.end(),
                                           [](const std::string& name) { return is_ades_field_name(name); });
        if (!has_field) {
            result.problems.push_back({static_cast<long>(block.column_line + 1),
                                       "the column line " + quoted(lines[block.column_line].text) +
                                           " names no ADES field of an observation"});
        }
        for (const std::size_t row : block.rows) {
            const long number = static_cast<long>(row + 1);
            const auto cells = psv_cells(lines[row].text);
            if (cells.size() != block.names.size()) {
                result.problems.push_back({number, std::to_string(cells.size()) + " fields where the column line names " +
                                                       std::to_string(block.names.size())});
                continue;
            }
            AdesFields fields;
            for (std::size_t k = 0; k < cells.size(); ++k) {
                if (is_ades_field_name(block.names[k])) {
                    // A field named twice: the first, as the writer finds it.
                    fields.values.emplace(block.names[k], std::string(trimmed(cells[k].first)));
                }
            }
            Observation observation{};
            const std::string problem = ades_observation(fields, ObservationFormat::ades_psv, observation);
            if (!problem.empty()) {
                result.problems.push_back({number, problem});
                continue;
            }
            observation.position = number;
            result.observations.push_back(std::move(observation));
        }
    }
}

// The observation elements of an ADES document in document order: those
// directly under <ades> and those of each <obsBlock><obsData>.
std::vector<pugi::xml_node> ades_observation_elements(const pugi::xml_node& ades)
{
    std::vector<pugi::xml_node> elements;
    for (const pugi::xml_node child : ades.children()) {
        if (std::string_view(child.name()) == "obsBlock") {
            for (const pugi::xml_node data : child.children("obsData")) {
                for (const pugi::xml_node record : data.children()) {
                    if (record.type() == pugi::node_element) {
                        elements.push_back(record);
                    }
                }
            }
        } else if (child.type() == pugi::node_element) {
            elements.push_back(child);
        }
    }
    return elements;
}

bool is_observation_element(std::string_view name)
{
    return name == "optical" || name == "offset" || name == "occultation" || name == "radar";
}

// The parsed document of an ADES XML text, or empty when the text is not
// well-formed XML with an <ades> root.
bool parse_ades_xml(std::string_view text, pugi::xml_document& document, std::string& error)
{
    // As UTF-8 always, so that the parser's offsets are offsets into the text.
    const pugi::xml_parse_result parsed =
        document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        error = std::string("the XML is not well formed at byte ") + std::to_string(parsed.offset) + ": " +
                parsed.description();
        return false;
    }
    if (std::string_view(document.document_element().name()) != "ades") {
        error = std::string("the XML's root element is <") + document.document_element().name() + ">, not <ades>";
        return false;
    }
    return true;
}

void read_ades_xml(std::string_view text, ObservationsResult& result)
{
    pugi::xml_document document;
    if (!parse_ades_xml(text, document, result.error)) {
        result.format.reset();
        return;
    }
    long optical_index = 0;
    std::map<std::string, long> other_counts;
    for (const pugi::xml_node element : ades_observation_elements(document.document_element())) {
        const std::string name = element.name();
        if (name != "optical") {
            if (is_observation_element(name)) {
                result.problems.push_back({0, "<" + name + "> element " + std::to_string(++other_counts[name]) +
                                                  ": only <optical> observations are read"});
            }
            continue;
        }
        ++optical_index;
        AdesFields fields;
        for (const pugi::xml_node child : element.children()) {
            if (child.type() == pugi::node_element && is_ades_field_name(child.name())) {
                fields.values.emplace(child.name(), std::string(trimmed(child.text().get())));
            }
        }
        Observation observation{};
        const std::string problem = ades_observation(fields, ObservationFormat::ades_xml, observation);
        if (!problem.empty()) {
            result.problems.push_back({optical_index, "<optical> " + std::to_string(optical_index) + ": " + problem});
            continue;
        }
        observation.position = optical_index;
        result.observations.push_back(std::move(observation));
    }
}

// The text without a UTF-8 byte-order mark and leading white space.
std::string_view content_start(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

bool is_psv_column_line(std::string_view line)
{
    if (line.find('|') == std::string_view::npos) {
        return false;
    }
    int names = 0;
    for (const auto& cell : psv_cells(line)) {
        const std::string_view name = trimmed(cell.first);
        if (name == "obsTime" || name == "permID" || name == "provID" || name == "trkSub" || name == "stn") {
            ++names;
        }
    }
    return names >= 2;
}

}  // namespace

const char* observation_format_name(ObservationFormat format)
{
    switch (format) {
    case ObservationFormat::mpc80:
        return "80-column";
    case ObservationFormat::ades_psv:
        return "ADES PSV";
    case ObservationFormat::ades_xml:
        return "ADES XML";
    }
    return "?";
}

std::optional<ObservationFormat> observation_format_of_text(std::string_view text)
{
    const std::string_view content = content_start(text);
    if (content.empty()) {
        return std::nullopt;
    }
    if (content.front() == '<') {
        pugi::xml_document document;
        std::string error;
        return parse_ades_xml(text, document, error) ? std::optional(ObservationFormat::ades_xml) : std::nullopt;
    }
    std::string_view rest = content;
    const std::string_view first_line = take_text_line(rest);
    const std::string_view first = trimmed(first_line);
    if ((first.substr(0, 1) == "#" && trimmed(first.substr(1)).substr(0, 7) == "version") ||
        is_psv_column_line(first_line)) {
        return ObservationFormat::ades_psv;
    }
    rest = text;
    while (!rest.empty()) {
        const std::string_view line = take_text_line(rest);
        if (is_mpc80_header_line(line) || has_mpc80_date(line)) {
            return ObservationFormat::mpc80;
        }
    }
    return std::nullopt;
}

ObservationsResult observations_from_text(std::string_view text)
{
    ObservationsResult result;
    result.format = observation_format_of_text(text);
    if (!result.format) {
        result.error = "the text is in none of the observation formats read (the 80-column optical format, ADES PSV, "
                       "ADES XML)";
        return result;
    }
    switch (*result.format) {
    case ObservationFormat::mpc80:
        read_mpc80(text, result);
        break;
    case ObservationFormat::ades_psv:
        read_ades_psv(text, result);
        break;
    case ObservationFormat::ades_xml:
        read_ades_xml(text, result);
        break;
    }
    return result;
}

namespace {

// One change of the text: `length` bytes at `offset` replaced by `text`.
struct TextEdit {
    std::size_t offset;
    std::size_t length;
    std::string text;
};

std::string text_with_edits(std::string_view text, std::vector<TextEdit> edits)
{
    // Insertions before a replacement at the same place.
    std::stable_sort(edits.begin(), edits.end(), [](const TextEdit& a, const TextEdit& b) {
        return a.offset != b.offset ? a.offset < b.offset : (a.length == 0 && b.length != 0);
    });
    std::string written;
    written.reserve(text.size() + 64 * edits.size());
    std::size_t at = 0;
    for (const TextEdit& edit : edits) {
        if (edit.offset < at) {
            continue;  // overlapping edits are never made; keep the first
        }
        written.append(text.substr(at, edit.offset - at));
        written.append(edit.text);
        at = edit.offset + edit.length;
    }
    written.append(text.substr(at));
    return written;
}

// The designation to write for an identification in ADES: the number as
// permID or the readable provisional designation as provID.
struct AdesDesignation {
    std::string field;  // "permID" or "provID"
    std::string value;
};

std::optional<AdesDesignation> ades_designation(const Identification& identification)
{
    if (identification.number) {
        if (*identification.number < 1) {
            return std::nullopt;
        }
        return AdesDesignation{"permID", std::to_string(*identification.number)};
    }
    if (!packed_provisional(identification.provisional)) {
        return std::nullopt;
    }
    return AdesDesignation{"provID", identification.provisional};
}

std::string designation_text(const Identification& identification)
{
    return identification.number ? "number " + std::to_string(*identification.number)
                                 : "designation " + quoted(identification.provisional);
}

void write_mpc80(std::string_view text, const std::map<long, const Identification*>& identified,
                 std::vector<TextEdit>& edits, WrittenObservations& written)
{
    const std::vector<TextLine> lines = text_lines(text);
    for (const auto& [position, identification] : identified) {
        std::optional<std::string> packed;
        std::size_t first_column = 1;
        if (identification->number) {
            packed = packed_number(*identification->number);
        } else {
            packed = packed_provisional(identification->provisional);
            first_column = 6;
        }
        if (!packed) {
            written.problems.push_back({position, designation_text(*identification) + " has no packed form"});
            continue;
        }
        const std::size_t index = static_cast<std::size_t>(position - 1);
        const char note2 = lines[index].text[14];
        const std::size_t count = note2 == 'S' || note2 == 'V' ? 2 : 1;
        for (std::size_t k = index; k < index + count; ++k) {
            edits.push_back({lines[k].begin + first_column - 1, packed->size(), *packed});
        }
    }
}

// The cell text of `value` in place of a cell `old` wide: padded to the old
// width where it fits, on the side the old text left blank.
std::string psv_cell(std::string_view old, const std::string& value)
{
    if (value.size() >= old.size()) {
        return value;
    }
    const bool right_aligned = !old.empty() && old.front() == ' ' && !is_blank(old);
    const std::string padding(old.size() - value.size(), ' ');
    return right_aligned ? padding + value : value + padding;
}

void write_ades_psv(std::string_view text, const std::map<long, const Identification*>& identified,
                    std::vector<TextEdit>& edits, WrittenObservations& written)
{
    const std::vector<TextLine> lines = text_lines(text);
    for (const PsvBlock& block : psv_blocks(lines)) {
        // The designations of this block's identified rows, by field.
        std::map<std::string, std::map<std::size_t, std::string>> values;
        for (const std::size_t row : block.rows) {
            const auto found = identified.find(static_cast<long>(row + 1));
            if (found == identified.end()) {
                continue;
            }
            const std::optional<AdesDesignation> designation = ades_designation(*found->second);
            if (!designation) {
                written.problems.push_back({found->first, designation_text(*found->second) +
                                                              " is no number or provisional designation"});
                continue;
            }
            values[designation->field][row] = designation->value;
        }
        for (const auto& [field, rows] : values) {
            const auto column = std::find(block.names.begin(), block.names.end(), field);
            if (column == block.names.end()) {
                // A new first column, empty in the rows not identified.
                edits.push_back({lines[block.column_line].begin, 0, field + "|"});
                for (const std::size_t row : block.rows) {
                    const auto value = rows.find(row);
                    edits.push_back({lines[row].begin, 0, (value == rows.end() ? std::string() : value->second) + "|"});
                }
                continue;
            }
            const std::size_t at = static_cast<std::size_t>(column - block.names.begin());
            for (const auto& [row, value] : rows) {
                const auto cells = psv_cells(lines[row].text);
                edits.push_back({lines[row].begin + cells[at].second, cells[at].first.size(),
                                 psv_cell(cells[at].first, value)});
            }
        }
    }
}

std::string xml_escaped(std::string_view text)
{
    std::string escaped;
    for (const char c : text) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return escaped;
}

// Where the start tag of `element` ends in the text (the offset just past
// its '>'), and whether it closes itself; empty when the parser's offset of
// the element does not point at its name in the text.
std::optional<std::pair<std::size_t, bool>> start_tag_end(std::string_view text, const pugi::xml_node& element)
{
    const std::ptrdiff_t offset = element.offset_debug();
    const std::string_view name = element.name();
    if (offset < 1 || static_cast<std::size_t>(offset) + name.size() > text.size() ||
        text.substr(static_cast<std::size_t>(offset), name.size()) != name ||
        text[static_cast<std::size_t>(offset) - 1] != '<') {
        return std::nullopt;
    }
    char quote = 0;
    for (std::size_t k = static_cast<std::size_t>(offset) + name.size(); k < text.size(); ++k) {
        const char c = text[k];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return std::pair<std::size_t, bool>{k + 1, text[k - 1] == '/'};
        }
    }
    return std::nullopt;
}

std::string write_ades_xml(std::string_view text, const std::map<long, const Identification*>& identified,
                           std::vector<TextEdit>& edits, WrittenObservations& written)
{
    pugi::xml_document document;
    std::string error;
    if (!parse_ades_xml(text, document, error)) {
        return error;
    }
    long optical_index = 0;
    for (const pugi::xml_node element : ades_observation_elements(document.document_element())) {
        if (std::string_view(element.name()) != "optical") {
            continue;
        }
        const auto found = identified.find(++optical_index);
        if (found == identified.end()) {
            continue;
        }
        const std::optional<AdesDesignation> designation = ades_designation(*found->second);
        if (!designation) {
            written.problems.push_back(
                {found->first, designation_text(*found->second) + " is no number or provisional designation"});
            continue;
        }
        const std::string value = xml_escaped(designation->value);
        const pugi::xml_node existing = element.child(designation->field.c_str());
        const std::optional<std::pair<std::size_t, bool>> optical_end = start_tag_end(text, element);
        if (!optical_end || optical_end->second) {
            return "cannot find <optical> " + std::to_string(optical_index) + " in the text";
        }
        if (existing) {
            const std::optional<std::pair<std::size_t, bool>> tag_end = start_tag_end(text, existing);
            if (!tag_end) {
                return "cannot find the <" + designation->field + "> of <optical> " + std::to_string(optical_index) +
                       " in the text";
            }
            if (tag_end->second) {
                const std::size_t begin = static_cast<std::size_t>(existing.offset_debug()) - 1;
                edits.push_back({begin, tag_end->first - begin,
                                 "<" + designation->field + ">" + value + "</" + designation->field + ">"});
                continue;
            }
            const std::size_t close = text.find("</" + designation->field, tag_end->first);
            if (close == std::string_view::npos) {
                return "the <" + designation->field + "> of <optical> " + std::to_string(optical_index) +
                       " is not closed";
            }
            edits.push_back({tag_end->first, close - tag_end->first, value});
            continue;
        }
        // A new element: permID first, provID after a permID.
        std::size_t insert_at = optical_end->first;
        const pugi::xml_node permanent = element.child("permID");
        if (designation->field == "provID" && permanent) {
            const std::optional<std::pair<std::size_t, bool>> tag_end = start_tag_end(text, permanent);
            const std::size_t close = tag_end ? text.find("</permID>", tag_end->first) : std::string_view::npos;
            if (!tag_end || (!tag_end->second && close == std::string_view::npos)) {
                return "cannot find the <permID> of <optical> " + std::to_string(optical_index) + " in the text";
            }
            insert_at = tag_end->second ? tag_end->first : close + 9;
        }
        edits.push_back({insert_at, 0, "<" + designation->field + ">" + value + "</" + designation->field + ">"});
    }
    return {};
}

}  // namespace

WrittenObservations text_with_designations(std::string_view text, const std::vector<Identification>& identified)
{
    WrittenObservations written;
    const ObservationsResult read = observations_from_text(text);
    if (!read.error.empty()) {
        written.error = read.error;
        return written;
    }
    // Each identification of an observation that was read, the last one for
    // a position named twice.
    std::map<long, const Identification*> by_position;
    for (const Identification& identification : identified) {
        const bool known = std::any_of(read.observations.begin(), read.observations.end(),
                                       [&](const Observation& o) { return o.position == identification.position; });
        if (!known) {
            written.problems.push_back({identification.position, "no observation was read at this position"});
            continue;
        }
        by_position[identification.position] = &identification;
    }
    std::vector<TextEdit> edits;
    switch (*read.format) {
    case ObservationFormat::mpc80:
        write_mpc80(text, by_position, edits, written);
        break;
    case ObservationFormat::ades_psv:
        write_ades_psv(text, by_position, edits, written);
        break;
    case ObservationFormat::ades_xml:
        written.error = write_ades_xml(text, by_position, edits, written);
        break;
    }
    if (!written.error.empty()) {
        written.problems.clear();
        return written;
    }
    written.text = text_with_edits(text, std::move(edits));
    return written;
}

}  // namespace fieldsearch
