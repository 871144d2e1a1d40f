#include "observation_keywords.hpp"

#include <fitsio.h>

#include <cmath>
#include <cstdio>
#include <string_view>

#include "constants.hpp"
#include "geodetic_site.hpp"
#include "text_values.hpp"

namespace fieldsearch {

namespace {

// Calendar limits of the core's date arithmetic.
constexpr int FIRST_YEAR = 1900;
constexpr int LAST_YEAR = 2099;
constexpr double FIRST_MJD = 15020.0;  // 1900 January 1
constexpr double END_MJD = 88070.0;    // 2100 January 1

// A date keyword's instant (MJD in the time scale it is given in), its day
// (MJD) and second of the day apart (to take lengths between dates without
// the rounding of MJDs), and whether it gave the time of day or a date alone.
struct DateValue {
    double mjd;
    double day;
    double second_of_day;
    bool has_time;
};

// The value of an ISO 8601 date (YYYY-MM-DD[Thh:mm:ss[.s...]][Z]) or of the
// old 'dd/mm/yy' (19yy); `error` set when malformed or outside 1900 to 2099.
std::optional<DateValue> date_value(const KeywordCard& card, std::string& error)
{
    std::string text = value_text(card.value);
    if (!text.empty() && text.back() == 'Z') {
        text.pop_back();
    }
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    double second = 0.0;
    int status = 0;
    fits_str2time(text.data(), &year, &month, &day, &hour, &minute, &second, &status);
    if (!is_text_value(card.value) || status != 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        !(second >= 0.0 && second < 61.0)) {
        fits_clear_errmsg();
        error = written_card(card) + " is not a date YYYY-MM-DD[Thh:mm:ss] or dd/mm/yy";
        return std::nullopt;
    }
    if (year < FIRST_YEAR || year > LAST_YEAR) {
        error = written_card(card) + " is outside the years 1900 to 2099";
        return std::nullopt;
    }
    return DateValue{mjd_from_calendar(day, month, year, hour, minute, second), mjd_from_calendar(day, month, year, 0, 0, 0.0),
                     hour * 3600.0 + minute * 60.0 + second, text.find('T') != std::string::npos};
}

// An MJD keyword's value; `error` set when not a number of 1900 to 2099.
std::optional<double> mjd_value(const KeywordCard& card, std::string& error)
{
    const std::optional<double> mjd = value_number(card.value);
    if (!mjd) {
        error = written_card(card) + " is not a number";
        return std::nullopt;
    }
    if (!(*mjd >= FIRST_MJD && *mjd < END_MJD)) {
        error = written_card(card) + " is outside the years 1900 to 2099";
        return std::nullopt;
    }
    return mjd;
}

// An instant from the ISO keyword, else from the MJD one; empty when neither
// is given. A date alone is no instant: `date_alone` names its card.
std::optional<double> instant(const KeywordCards& cards, const char* iso_key, const char* mjd_key, std::string& error,
                              const KeywordCard** date_alone = nullptr, std::optional<DateValue>* parts = nullptr)
{
    if (const KeywordCard* iso = find_card(cards, iso_key)) {
        const std::optional<DateValue> date = date_value(*iso, error);
        if (!date) {
            return std::nullopt;
        }
        if (date->has_time) {
            if (parts != nullptr) {
                *parts = date;
            }
            return date->mjd;
        }
        if (date_alone != nullptr) {
            *date_alone = iso;
        } else {
            error = written_card(*iso) + " holds a date alone, without the time of day";
            return std::nullopt;
        }
    }
    if (mjd_key != nullptr) {
        if (const KeywordCard* mjd = find_card(cards, mjd_key)) {
            return mjd_value(*mjd, error);
        }
    }
    return std::nullopt;
}

// The time of day (seconds) of TIME-OBS, UTSTART or UT, the first given;
// empty when none is, `error` set when the one given is not 'hh:mm:ss[.s]'.
std::optional<double> time_of_day(const KeywordCards& cards, std::string& error)
{
    for (const char* key : {"TIME-OBS", "UTSTART", "UT"}) {
        const KeywordCard* card = find_card(cards, key);
        if (card == nullptr) {
            continue;
        }
        const std::optional<SexagesimalValue> time = sexagesimal_from_text(value_text(card->value));
        if (!is_text_value(card->value) || !time || time->parts < 2 || !time->whole_is_integer ||
            time->whole >= 24.0) {
            error = written_card(*card) + " is not a time of day 'hh:mm:ss'";
            return std::nullopt;
        }
        return sexagesimal_units(*time) * 3600.0;
    }
    return std::nullopt;
}

// UTC MJD of an instant given on the time scale `scale` (UTC, TT or TAI):
// TT - UTC from the core's leap-second table, looked up at the UTC found.
double utc_from_scale(double mjd, const std::string& scale, const LeapSecondTable& leap_seconds)
{
    if (scale == "UTC") {
        return mjd;
    }
    const double tt = (scale == "TT") ? mjd : mjd + TT_MINUS_TAI_SECONDS * DAYS_PER_SECOND;
    double utc = tt - tt_from_utc(tt, leap_seconds).tt_minus_utc_days;
    utc = tt - tt_from_utc(utc, leap_seconds).tt_minus_utc_days;
    return utc;
}

// A length in seconds within 0 to MAX_HEADER_EXPOSURE_S, or `error` naming
// what gave it.
std::optional<double> bounded_length(double seconds, const std::string& what, std::string& error)
{
    if (!(seconds >= 0.0 && seconds <= MAX_HEADER_EXPOSURE_S)) {
        error = what + " is not an exposure of 0 to 86400 seconds";
        return std::nullopt;
    }
    return seconds;
}

// The exposure length (seconds) from DATE-END / MJD-END and the start (the
// time scale's MJD, with its day and second when a date gave it), else
// TELAPSE, EXPTIME or EXPOSURE; empty when none.
std::optional<double> exposure_length(const KeywordCards& cards, std::optional<double> start,
                                      const std::optional<DateValue>& start_parts, std::string& error)
{
    if (start) {
        std::optional<double> seconds;
        const KeywordCard* end_card = find_card(cards, "DATE-END");
        if (end_card != nullptr) {
            const std::optional<DateValue> date = date_value(*end_card, error);
            if (date && !date->has_time) {
                error = written_card(*end_card) + " holds a date alone, without the time of day";
            }
            if (!error.empty()) {
                return std::nullopt;
            }
            // Between two dates: whole days and seconds of the day apart,
            // free of the rounding of their MJDs.
            seconds = start_parts ? (date->day - start_parts->day) * SECONDS_PER_DAY +
                                        (date->second_of_day - start_parts->second_of_day)
                                  : (date->mjd - *start) * SECONDS_PER_DAY;
        } else if ((end_card = find_card(cards, "MJD-END")) != nullptr) {
            const std::optional<double> end = mjd_value(*end_card, error);
            if (!end) {
                return std::nullopt;
            }
            seconds = (*end - *start) * SECONDS_PER_DAY;
        }
        if (seconds) {
            char after[64];
            std::snprintf(after, sizeof after, " (%.6g s after the start)", *seconds);
            return bounded_length(*seconds, written_card(*end_card) + after, error);
        }
    }
    for (const char* key : {"TELAPSE", "EXPTIME", "EXPOSURE"}) {
        if (const KeywordCard* card = find_card(cards, key)) {
            const std::optional<double> seconds = value_number(card->value);
            if (!seconds) {
                error = written_card(*card) + " is not a number";
                return std::nullopt;
            }
            return bounded_length(*seconds, written_card(*card), error);
        }
    }
    return std::nullopt;
}

}  // namespace

HeaderExposure header_exposure(const KeywordCards& cards, const LeapSecondTable& leap_seconds)
{
    HeaderExposure result;
    std::string& error = result.error;
    std::string scale = "UTC";
    if (const KeywordCard* timesys = find_card(cards, "TIMESYS")) {
        scale = value_text(timesys->value);
        if (scale.empty()) {
            scale = "UTC";
        }
    }
    if (scale == "TDT") {
        scale = "TT";
    } else if (scale == "IAT") {
        scale = "TAI";
    }

    std::optional<DateValue> start_parts;
    std::optional<double> start = instant(cards, "DATE-BEG", "MJD-BEG", error, nullptr, &start_parts);
    const KeywordCard* date_alone = nullptr;
    if (!start && error.empty()) {
        start = instant(cards, "DATE-OBS", "MJD-OBS", error, &date_alone, &start_parts);
        if (date_alone != nullptr && error.empty()) {
            // The date of DATE-OBS with the time of a time keyword comes before MJD-OBS.
            if (const std::optional<double> second = time_of_day(cards, error)) {
                std::string ignored;
                DateValue date = *date_value(*date_alone, ignored);
                date.second_of_day = *second;
                date.mjd = date.day + *second * DAYS_PER_SECOND;
                start = date.mjd;
                start_parts = date;
            }
        }
    }
    const std::optional<double> mid = error.empty() ? instant(cards, "DATE-AVG", "MJD-AVG", error) : std::nullopt;
    const std::optional<double> length =
        error.empty() ? exposure_length(cards, start, start_parts, error) : std::nullopt;
    if (!error.empty()) {
        return result;
    }
    if (!start && !mid) {
        if (date_alone != nullptr) {
            result.no_instant = written_card(*date_alone) + " holds a date alone, and no TIME-OBS, UTSTART or UT gives "
                                                      "the time of day";
        } else {
            result.no_instant = "the header gives no instant (DATE-BEG, DATE-OBS or MJD-OBS)";
        }
        return result;
    }
    if (scale != "UTC" && scale != "TT" && scale != "TAI") {
        error = "TIMESYS '" + scale + "' is not one of UTC, TT, TAI";
        return result;
    }
    const double seconds = length.value_or(0.0);
    const double half_days = 0.5 * seconds * DAYS_PER_SECOND;
    Exposure exposure{};
    exposure.length_seconds = seconds;
    if (start) {
        exposure.start_utc_mjd = utc_from_scale(*start, scale, leap_seconds);
        exposure.mid_utc_mjd = mid ? utc_from_scale(*mid, scale, leap_seconds) : exposure.start_utc_mjd + half_days;
    } else {
        exposure.mid_utc_mjd = utc_from_scale(*mid, scale, leap_seconds);
        exposure.start_utc_mjd = exposure.mid_utc_mjd - half_days;
    }
    if (length && start && mid) {
        // One millisecond of slack for the rounding of the header's dates.
        const double slack = 1e-3 * DAYS_PER_SECOND;
        if (exposure.mid_utc_mjd < exposure.start_utc_mjd - slack ||
            exposure.mid_utc_mjd > exposure.start_utc_mjd + 2.0 * half_days + slack) {
            error = "the mid-exposure instant (DATE-AVG or MJD-AVG) lies outside the exposure";
            return result;
        }
    }
    if (!length) {
        exposure.start_utc_mjd = exposure.mid_utc_mjd;
    }
    result.exposure = exposure;
    return result;
}

namespace {

// A site angle given as a number or as text, degrees; `error` set when malformed.
std::optional<double> angle_value(const KeywordCards& cards, const char* key, std::string& error)
{
    const KeywordCard* card = find_card(cards, key);
    if (card == nullptr) {
        return std::nullopt;
    }
    const std::optional<double> degrees = degrees_from_text(value_text(card->value));
    if (!degrees && error.empty()) {
        error = written_card(*card) + " is not an angle in degrees";
    }
    return degrees;
}

// A number keyword's value: empty when absent, `error` set when present but
// not a number.
std::optional<double> number_value(const KeywordCards& cards, const char* key, std::string& error)
{
    const KeywordCard* card = find_card(cards, key);
    if (card == nullptr) {
        return std::nullopt;
    }
    const std::optional<double> value = value_number(card->value);
    if (!value && error.empty()) {
        error = written_card(*card) + " is not a number";
    }
    return value;
}

// The geodetic site (degrees, metres) as the Earth-fixed position, after
// checking the latitude, longitude and height.
std::optional<Vector3> geodetic_site(double lat_deg, double lon_deg, double height_m, const std::string& what,
                                     std::string& error)
{
    if (!(std::fabs(lat_deg) <= 90.0) || !(std::fabs(lon_deg) <= 360.0) || !(std::fabs(height_m) < 1e7)) {
        error = what + " do not give a latitude, longitude and height on the Earth";
        return std::nullopt;
    }
    return observer_from_geodetic_site(lat_deg, lon_deg, height_m);
}

std::string values_of(const KeywordCards& cards, std::initializer_list<const char*> keys)
{
    std::string text;
    for (const char* key : keys) {
        const KeywordCard* card = find_card(cards, key);
        text += (text.empty() ? "" : ", ") + std::string(key) + " = " + (card != nullptr ? card->value : "(none)");
    }
    return text;
}

}  // namespace

std::optional<Vector3> header_site(const KeywordCards& cards, std::string& error)
{
    const std::optional<double> x = number_value(cards, "OBSGEO-X", error);
    const std::optional<double> y = number_value(cards, "OBSGEO-Y", error);
    const std::optional<double> z = number_value(cards, "OBSGEO-Z", error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (x || y || z) {
        if (!(x && y && z)) {
            error = "OBSGEO-X, OBSGEO-Y and OBSGEO-Z must be given together";
            return std::nullopt;
        }
        Vector3 site;
        site(1) = *x * 0.001;
        site(2) = *y * 0.001;
        site(3) = *z * 0.001;
        const double distance = std::hypot(site(1), site(2), site(3));
        if (!(distance <= MAX_OBSERVER_DISTANCE_KM)) {
            error = values_of(cards, {"OBSGEO-X", "OBSGEO-Y", "OBSGEO-Z"}) +
                    ": the site lies farther than 1000000 km from the Earth's centre";
            return std::nullopt;
        }
        return site;
    }
    const std::optional<double> b = number_value(cards, "OBSGEO-B", error);
    const std::optional<double> l = number_value(cards, "OBSGEO-L", error);
    const std::optional<double> h = number_value(cards, "OBSGEO-H", error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (b || l || h) {
        if (!(b && l && h)) {
            error = "OBSGEO-B, OBSGEO-L and OBSGEO-H must be given together";
            return std::nullopt;
        }
        return geodetic_site(*b, *l, *h, values_of(cards, {"OBSGEO-B", "OBSGEO-L", "OBSGEO-H"}), error);
    }
    const std::optional<double> lat = angle_value(cards, "SITELAT", error);
    const std::optional<double> lon = angle_value(cards, "SITELONG", error);
    const std::optional<double> elevation = number_value(cards, "SITEELEV", error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (lat || lon) {
        if (!(lat && lon)) {
            error = "SITELAT and SITELONG must be given together";
            return std::nullopt;
        }
        return geodetic_site(*lat, *lon, elevation.value_or(0.0),
                             values_of(cards, {"SITELAT", "SITELONG", "SITEELEV"}), error);
    }
    return std::nullopt;
}

}  // namespace fieldsearch
