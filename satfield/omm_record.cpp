#include "omm_record.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "fixed_columns.hpp"
#include "standard_magnitudes.hpp"

namespace fieldsearch {

namespace {

constexpr const char* KEYWORD_NAMES[OMM_KEYWORD_COUNT] = {
    "OBJECT_NAME",    "OBJECT_ID",         "EPOCH",        "MEAN_MOTION",         "ECCENTRICITY",
    "INCLINATION",    "RA_OF_ASC_NODE",    "ARG_OF_PERICENTER", "MEAN_ANOMALY", "CLASSIFICATION_TYPE",
    "NORAD_CAT_ID",   "BSTAR",             "MEAN_MOTION_DOT",   "MEAN_MOTION_DDOT", "USER_DEFINED_STD_MAG",
    "TIME_SYSTEM",    "REF_FRAME",         "CENTER_NAME",       "MEAN_ELEMENT_THEORY",
};

// The two-line set's epoch year: 00-84 stand for 2000-2084, 85-99 for 1985-1999.
constexpr int FIRST_EPOCH_YEAR = 1985;
constexpr int LAST_EPOCH_YEAR = 2084;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The value of `count` decimal digits at text[at], or -1 when they are not all digits.
long digits_value(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) {
        return -1;
    }
    long value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!is_digit(text[i])) {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// True when `text` is a decimal number: sign, digits with at most one
// point (one digit at least), and an optional exponent.
bool is_decimal_number(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        std::size_t exponent_digits = 0;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            ++exponent_digits;
        }
        if (exponent_digits == 0) {
            return false;
        }
    }
    return i == text.size();
}

constexpr std::int64_t NANOSECONDS_PER_DAY = std::int64_t{86400} * 1000000000;

int days_in_year(int year)
{
    return is_leap_year(year) ? 366 : 365;
}

// A keyword's value as a message shows it: in quotes, at most 40 bytes,
// control characters as '?'.
std::string quoted_value(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text.substr(0, 40)) {
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    }
    out += text.size() > 40 ? "...\"" : "\"";
    return out;
}

std::string keyword_problem(OmmKeyword keyword, std::string_view text, const char* should_be)
{
    return std::string(omm_keyword_name(keyword)) + " " + quoted_value(text) + " is not " + should_be;
}

// Day of the year (1 = January 1) of a calendar date, or -1 when there is no such date.
int day_of_year(int year, long month, long day)
{
    constexpr int DAYS_BEFORE[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    constexpr int DAYS_IN[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) {
        return -1;
    }
    const int leap = is_leap_year(year) ? 1 : 0;
    const int length = DAYS_IN[month - 1] + (month == 2 ? leap : 0);
    if (day > length) {
        return -1;
    }
    return DAYS_BEFORE[month - 1] + static_cast<int>(day) + (month > 2 ? leap : 0);
}

// The designator as the two-line set carries it in line 1 columns 10-15:
// "1998-067A" gives "98067A" (only the first letter of the piece); anything
// not of the form YYYY-NNN followed by up to three letters gives blanks.
std::array<char, 7> designator_columns(std::string_view object_id)
{
    std::array<char, 7> columns{' ', ' ', ' ', ' ', ' ', ' ', '\0'};
    const std::string_view id = trimmed(object_id);
    if (id.size() < 8 || id.size() > 11 || digits_value(id, 0, 4) < 0 || id[4] != '-' || digits_value(id, 5, 3) < 0) {
        return columns;
    }
    for (std::size_t i = 8; i < id.size(); ++i) {
        if (id[i] < 'A' || id[i] > 'Z') {
            return columns;
        }
    }
    columns[0] = id[2];
    columns[1] = id[3];
    columns[2] = id[5];
    columns[3] = id[6];
    columns[4] = id[7];
    if (id.size() > 8) {
        columns[5] = id[8];
    }
    return columns;
}

// Reads a decimal keyword into `value`; false, with the problem, when it is
// missing (and required) or not a finite number.
bool read_number(const OmmValues& values, OmmKeyword keyword, bool required, double& value, std::string& problem)
{
    const std::string_view text = trimmed(values[static_cast<std::size_t>(keyword)]);
    if (text.empty()) {
        value = 0.0;
        if (required) {
            problem = std::string(omm_keyword_name(keyword)) + " is missing";
        }
        return !required;
    }
    if (!is_decimal_number(text)) {
        problem = std::string(omm_keyword_name(keyword)) + " is not a number";
        return false;
    }
    value = decimal_from_text(text);
    if (!std::isfinite(value)) {
        problem = std::string(omm_keyword_name(keyword)) + " is not a finite number";
        return false;
    }
    return true;
}

}  // namespace

const char* omm_keyword_name(OmmKeyword keyword)
{
    return KEYWORD_NAMES[static_cast<std::size_t>(keyword)];
}

std::optional<OmmKeyword> omm_keyword(std::string_view name)
{
    for (std::size_t i = 0; i < OMM_KEYWORD_COUNT; ++i) {
        if (name == KEYWORD_NAMES[i]) {
            return static_cast<OmmKeyword>(i);
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> utc_minus_time_system_ns(std::string_view time_system, double mjd,
                                                     const LeapSecondTable& leap_seconds)
{
    // TAI - X, seconds.
    double tai_minus_x = 0.0;
    if (time_system == "TT") {
        tai_minus_x = -32.184;
    } else if (time_system == "GPS") {
        tai_minus_x = 19.0;
    } else if (time_system != "TAI") {
        return std::nullopt;
    }
    // TAI - UTC in whole seconds, from the last step begun by this TAI instant.
    const double tai = mjd + tai_minus_x / 86400.0;
    long long tai_minus_utc = 0;
    for (const LeapSecondStep& step : leap_seconds.steps) {
        const long long seconds = std::llround(step.tt_minus_utc_seconds - 32.184);
        if (step.mjd + static_cast<double>(seconds) / 86400.0 <= tai) {
            tai_minus_utc = seconds;
        }
    }
    // UTC - X = (TAI - X) - (TAI - UTC), to the millisecond of 32.184 s.
    return std::llround(tai_minus_x * 1000.0) * 1000000 - tai_minus_utc * 1000000000;
}

bool tle_epoch_from_iso(std::string_view iso, int& epoch_year, double& epoch_day, std::int64_t shift_ns)
{
    const std::string_view text = trimmed(iso);
    const long year = digits_value(text, 0, 4);
    if (year < FIRST_EPOCH_YEAR || year > LAST_EPOCH_YEAR || text.size() < 8 || text[4] != '-') {
        return false;
    }
    // YYYY-MM-DD or YYYY-DDD, then T (or a blank) and hh:mm:ss.
    std::size_t at = 0;
    int day = -1;
    if (text.size() > 7 && text[7] == '-') {
        day = day_of_year(static_cast<int>(year), digits_value(text, 5, 2), digits_value(text, 8, 2));
        at = 10;
    } else {
        const long ordinal = digits_value(text, 5, 3);
        day = (ordinal >= 1 && ordinal <= (is_leap_year(static_cast<int>(year)) ? 366 : 365)) ? static_cast<int>(ordinal)
                                                                                             : -1;
        at = 8;
    }
    if (day < 0 || at + 9 > text.size() || (text[at] != 'T' && text[at] != ' ') || text[at + 3] != ':' ||
        text[at + 6] != ':') {
        return false;
    }
    const long hours = digits_value(text, at + 1, 2);
    const long minutes = digits_value(text, at + 4, 2);
    const long seconds = digits_value(text, at + 7, 2);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) {
        return false;
    }
    // The fraction of the second, to the nanosecond.
    at += 9;
    std::int64_t nanoseconds = 0;
    if (at < text.size() && text[at] == '.') {
        std::int64_t scale = 100000000;
        std::size_t digits = 0;
        for (++at; at < text.size() && is_digit(text[at]); ++at, ++digits) {
            nanoseconds += (text[at] - '0') * scale;
            scale /= 10;
        }
        if (digits == 0) {
            return false;
        }
    }
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    }
    if (at != text.size()) {
        return false;
    }
    // The instant shifted, whole days carried into the day and the year.
    std::int64_t day_nanoseconds =
        ((hours * 60 + minutes) * 60 + seconds) * std::int64_t{1000000000} + nanoseconds + shift_ns;
    int full_year = static_cast<int>(year);
    while (day_nanoseconds < 0) {
        day_nanoseconds += NANOSECONDS_PER_DAY;
        if (--day < 1) {
            day = days_in_year(--full_year);
        }
    }
    while (day_nanoseconds >= NANOSECONDS_PER_DAY) {
        day_nanoseconds -= NANOSECONDS_PER_DAY;
        if (++day > days_in_year(full_year)) {
            day = 1;
            ++full_year;
        }
    }
    if (full_year < FIRST_EPOCH_YEAR || full_year > LAST_EPOCH_YEAR) {
        return false;
    }
    // The day's fraction in units of 1e-8 day (864 microseconds), rounded
    // half up as the set's eighth decimal is.
    std::int64_t units = (day_nanoseconds + 432000) / 864000;
    long whole_day = day;
    if (units >= 100000000) {
        units -= 100000000;
        whole_day += 1;
    }
    char day_text[32];
    const int n = std::snprintf(day_text, sizeof day_text, "%03ld.%08lld", whole_day, static_cast<long long>(units));
    epoch_year = full_year % 100;
    epoch_day = decimal_from_text(std::string_view(day_text, static_cast<std::size_t>(n)));
    return true;
}

OmmElementSet omm_element_set(const OmmValues& values, const LeapSecondTable& leap_seconds)
{
    OmmElementSet result{};
    TleRecord& r = result.record;
    // The name is made as the name line of a set makes it.
    r = parse_tle_record(trimmed(values[static_cast<std::size_t>(OmmKeyword::object_name)]), {}, {});
    r.cospar_id = designator_columns(values[static_cast<std::size_t>(OmmKeyword::object_id)]);
    const auto value = [&](OmmKeyword keyword) { return trimmed(values[static_cast<std::size_t>(keyword)]); };

    // The metadata: what the elements are and in which frame and time.
    const std::string_view frame = value(OmmKeyword::ref_frame);
    if (!frame.empty() && frame != "TEME") {
        result.problem = keyword_problem(OmmKeyword::ref_frame, frame, "TEME, the frame of SGP4's elements");
        return result;
    }
    const std::string_view centre = value(OmmKeyword::center_name);
    if (!centre.empty() && centre != "EARTH") {
        result.problem = keyword_problem(OmmKeyword::center_name, centre, "EARTH");
        return result;
    }
    const std::string_view theory = value(OmmKeyword::mean_element_theory);
    if (!theory.empty() && theory != "SGP4" && theory != "SGP/SGP4") {
        result.problem = keyword_problem(OmmKeyword::mean_element_theory, theory, "SGP4 or SGP/SGP4");
        return result;
    }
    const std::string_view time_system = value(OmmKeyword::time_system);
    if (!time_system.empty() && time_system != "UTC" && time_system != "TAI" && time_system != "TT" &&
        time_system != "GPS") {
        result.problem = keyword_problem(OmmKeyword::time_system, time_system, "UTC, TAI, TT or GPS");
        return result;
    }

    const std::string_view epoch = value(OmmKeyword::epoch);
    if (epoch.empty()) {
        result.problem = "EPOCH is missing";
        return result;
    }
    std::int64_t shift_ns = 0;
    if (!time_system.empty() && time_system != "UTC") {
        // The offset at the epoch read in its own scale; a leap second's
        // step is met within the offset's own size of the instant.
        int year = 0;
        double day = 0.0;
        if (tle_epoch_from_iso(epoch, year, day)) {
            const double mjd = mjd_from_calendar(1, 1, year, 0, 0, 0.0) + (day - 1.0);
            shift_ns = *utc_minus_time_system_ns(time_system, mjd, leap_seconds);
        }
    }
    if (!tle_epoch_from_iso(epoch, r.epoch_year, r.epoch_day, shift_ns)) {
        result.problem = keyword_problem(OmmKeyword::epoch, epoch, "a date and time of 1985 to 2084");
        return result;
    }

    std::string& problem = result.problem;
    if (!read_number(values, OmmKeyword::mean_motion, true, r.n, problem) ||
        !read_number(values, OmmKeyword::eccentricity, true, r.ecc, problem) ||
        !read_number(values, OmmKeyword::inclination, true, r.incl, problem) ||
        !read_number(values, OmmKeyword::ra_of_asc_node, true, r.node, problem) ||
        !read_number(values, OmmKeyword::arg_of_pericenter, true, r.omega, problem) ||
        !read_number(values, OmmKeyword::mean_anomaly, true, r.mean_anom, problem) ||
        !read_number(values, OmmKeyword::mean_motion_dot, true, r.ndot2, problem) ||
        !read_number(values, OmmKeyword::mean_motion_ddot, false, r.nddot6, problem) ||
        !read_number(values, OmmKeyword::bstar, false, r.bstar, problem)) {
        return result;
    }
    if (!(r.ecc >= 0.0 && r.ecc < 1.0)) {
        problem = keyword_problem(OmmKeyword::eccentricity, value(OmmKeyword::eccentricity), "0 to below 1");
        return result;
    }
    if (!(r.incl >= 0.0 && r.incl <= 180.0)) {
        problem = keyword_problem(OmmKeyword::inclination, value(OmmKeyword::inclination), "0 to 180 deg");
        return result;
    }
    for (const OmmKeyword angle : {OmmKeyword::ra_of_asc_node, OmmKeyword::arg_of_pericenter, OmmKeyword::mean_anomaly}) {
        const double x = angle == OmmKeyword::ra_of_asc_node ? r.node
                         : angle == OmmKeyword::arg_of_pericenter ? r.omega
                                                                  : r.mean_anom;
        if (!(std::fabs(x) <= 360.0)) {
            problem = keyword_problem(angle, value(angle), "-360 to 360 deg");
            return result;
        }
    }
    if (!(r.n > 0.0)) {
        problem = keyword_problem(OmmKeyword::mean_motion, value(OmmKeyword::mean_motion), "positive");
        return result;
    }

    if (!trimmed(values[static_cast<std::size_t>(OmmKeyword::user_defined_std_mag)]).empty()) {
        double magnitude = 0.0;
        if (!read_number(values, OmmKeyword::user_defined_std_mag, false, magnitude, problem)) {
            return result;
        }
        if (std::fabs(magnitude) > LARGEST_STANDARD_MAGNITUDE) {
            problem = "USER_DEFINED_STD_MAG is not a standard magnitude within 30 of 0";
            return result;
        }
        r.standard_magnitude = magnitude;
    }

    const std::string_view number = trimmed(values[static_cast<std::size_t>(OmmKeyword::norad_cat_id)]);
    if (number.empty()) {
        problem = "NORAD_CAT_ID is missing";
        return result;
    }
    const long catalogue_number = number.size() <= 9 ? digits_value(number, 0, number.size()) : -1;
    if (catalogue_number < 0) {
        problem = "NORAD_CAT_ID is not a number of up to nine digits";
        return result;
    }
    r.norad_number = catalogue_number;

    const std::string_view classification = trimmed(values[static_cast<std::size_t>(OmmKeyword::classification_type)]);
    if (classification.size() > 1 || (classification.size() == 1 && (classification[0] < 'A' || classification[0] > 'Z'))) {
        problem = "CLASSIFICATION_TYPE is not one capital letter";
        return result;
    }
    r.norad_id = catalogue_number_column(catalogue_number, classification.empty() ? 'U' : classification[0]);
    return result;
}

}  // namespace fieldsearch
