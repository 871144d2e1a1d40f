#include "image_frame.hpp"

#include <fitsio.h>
#include <wcslib/wcs.h>
#include <wcslib/wcsfix.h>
#include <wcslib/wcshdr.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <utility>

#include "angles.hpp"
#include "geodetic_site.hpp"
#include "text_values.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

// Thread safety. The WCS library's transformations treat a wcsprm set up by
// wcsset() as read-only, except for scratch buffers that the distortion
// stages (linprm::tmpcrd, disprm::tmpmem) write during every call, and the
// error record written when messages are enabled. A shared wcsprm is
// therefore not safe for concurrent calls on distorted frames. Each frame
// keeps a pool of set-up copies, each parsed afresh from the header cards: a
// call takes an idle copy from the pool (making one when all are in use) and
// gives it back when done. The pool's mutex guards only the hand-over, so
// threads transform concurrently, each on a copy of its own.
class FrameProjection {
public:
    // The parsed WCS array of one header, with the index of the chosen
    // coordinate description; frees the array on destruction.
    struct WcsArray {
        wcsprm* array = nullptr;
        int count = 0;
        int chosen = -1;

        WcsArray() = default;
        WcsArray(const WcsArray&) = delete;
        WcsArray& operator=(const WcsArray&) = delete;
        ~WcsArray()
        {
            if (array != nullptr) {
                wcsvfree(&count, &array);
            }
        }
        wcsprm* wcs() const { return array + chosen; }
    };

    FrameProjection(std::string header, int chosen, std::unique_ptr<WcsArray> first)
        : header_(std::move(header)), chosen_(chosen)
    {
        idle_.push_back(std::move(first));
    }

    // A set-up WCS for the caller's use alone, returned to the pool when the
    // handle goes; empty when a copy could not be made.
    class Borrowed {
    public:
        Borrowed(const FrameProjection& owner, std::unique_ptr<WcsArray> wcs) : owner_(owner), wcs_(std::move(wcs)) {}
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        ~Borrowed()
        {
            if (wcs_) {
                const std::lock_guard<std::mutex> lock(owner_.mutex_);
                owner_.idle_.push_back(std::move(wcs_));
            }
        }
        wcsprm* get() const { return wcs_ ? wcs_->wcs() : nullptr; }

    private:
        const FrameProjection& owner_;
        std::unique_ptr<WcsArray> wcs_;
    };

    Borrowed borrow() const
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<WcsArray> wcs = std::move(idle_.back());
                idle_.pop_back();
                return Borrowed(*this, std::move(wcs));
            }
        }
        return Borrowed(*this, parse_copy());
    }

private:
    std::unique_ptr<WcsArray> parse_copy() const;

    const std::string header_;
    const int chosen_;
    mutable std::mutex mutex_;
    mutable std::vector<std::unique_ptr<WcsArray>> idle_;
};

namespace {

// The WCS library's mark of a value not given (wcsmath.h, whose macros
// would clash with the core's constants).
constexpr double WCS_UNDEFINED = 987654321.0e99;

using WcsArray = FrameProjection::WcsArray;

// Outcome of reading one HDU; no_celestial_wcs lets the file reader go on to
// the image extensions.
enum class Problem { none, no_celestial_wcs, other };

struct HduFrame {
    std::optional<ImageFrame> frame;
    std::string error;  // without the file name
    Problem problem;
};

HduFrame refusal(std::string error, Problem problem = Problem::other)
{
    return {std::nullopt, std::move(error), problem};
}

ImageFrameResult failure(const std::string& name, const std::string& error, int status)
{
    return {std::nullopt, name + ": " + error, status};
}

std::string fits_status_text(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

struct FitsCloser {
    void operator()(fitsfile* f) const
    {
        int status = 0;
        fits_close_file(f, &status);
    }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

// The header cards of the current HDU, END included (those of the image for
// a tile-compressed one).
std::optional<std::string> header_cards(fitsfile* f, int& status)
{
    int compressed = fits_is_compressed_image(f, &status);
    char* text = nullptr;
    int count = 0;
    if (compressed != 0) {
        fits_convert_hdr2str(f, 0, nullptr, 0, &text, &count, &status);
    } else {
        fits_hdr2str(f, 0, nullptr, 0, &text, &count, &status);
    }
    if (status != 0 || text == nullptr) {
        if (text != nullptr) {
            fits_free_memory(text, &status);
        }
        return std::nullopt;
    }
    std::string cards(text);
    int ignored = 0;
    fits_free_memory(text, &ignored);
    return cards;
}

// A keyword's value read as a number: empty when absent; `error` set when
// present but not a finite number.
std::optional<double> number_keyword(fitsfile* f, const char* key, std::string& error)
{
    int status = 0;
    double value = 0.0;
    fits_read_key(f, TDOUBLE, key, &value, nullptr, &status);
    if (status == KEY_NO_EXIST) {
        fits_clear_errmsg();
        return std::nullopt;
    }
    if (status != 0 || !std::isfinite(value)) {
        fits_clear_errmsg();
        if (error.empty()) {
            error = std::string(key) + " is not a number";
        }
        return std::nullopt;
    }
    return value;
}

// A keyword's value as text, quotes and trailing blanks removed; empty when absent.
std::optional<std::string> text_keyword(fitsfile* f, const char* key)
{
    int status = 0;
    char value[FLEN_VALUE] = {};
    fits_read_key(f, TSTRING, key, value, nullptr, &status);
    if (status != 0) {
        fits_clear_errmsg();
        return std::nullopt;
    }
    std::string text(value);
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    while (!text.empty() && text.front() == ' ') {
        text.erase(text.begin());
    }
    return text;
}

// True for the keywords of a world coordinate system and its distortions
// (the keyword columns of a card, blanks included).
bool is_wcs_keyword(const std::string& keyword)
{
    for (const char* prefix : {"CTYPE", "CRPIX", "CRVAL", "CDELT", "CROTA", "CUNIT", "CD", "PC", "PV", "PS", "LONPOLE",
                               "LATPOLE", "RADESYS", "RADECSYS", "EQUINOX", "EPOCH", "WCSAXES", "A_", "B_", "AP_",
                               "BP_", "DP", "DQ", "MJD", "DATE"}) {
        if (keyword.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// The header's keyword cards as the WCS library is given them: each as
// "KEYWORD = value" with the value CFITSIO reads from it (numbers, texts in
// their quotes, logicals), comments and commentary cards left out, then END.
// The library's own parser stumbles on what follows a value on some cards
// (it has followed null pointers), so it sees only values already read.
// A WCS keyword whose value is neither a text, a logical nor a number is an
// error; other keywords with such values are left out.
std::string canonical_cards(const std::string& header, std::string& error)
{
    std::string cards;
    for (std::size_t at = 0; at + 80 <= header.size(); at += 80) {
        const std::string card = header.substr(at, 80);
        if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
            break;
        }
        if (card.compare(8, 2, "= ") != 0) {
            continue;
        }
        char value[FLEN_VALUE] = {};
        char comment[FLEN_COMMENT] = {};
        int status = 0;
        fits_parse_value(const_cast<char*>(card.data()), value, comment, &status);
        if (status != 0) {
            fits_clear_errmsg();
            continue;
        }
        std::string text = value;
        const std::size_t first = text.find_first_not_of(' ');
        text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
        const std::string keyword = card.substr(0, 8);
        bool usable = !text.empty() && (text.front() == '\'' || text == "T" || text == "F");
        if (!usable && !text.empty()) {
            std::string number = text;
            std::replace(number.begin(), number.end(), 'D', 'E');
            std::replace(number.begin(), number.end(), 'd', 'e');
            char* end = nullptr;
            const double parsed = std::strtod(number.c_str(), &end);
            usable = end != number.c_str() && *end == '\0' && std::isfinite(parsed);
            if (usable) {
                text = number;
            }
        }
        // The counts of axes size the library's arrays: whole numbers of
        // at most 99 only.
        if (usable && (keyword.rfind("NAXIS ", 0) == 0 || keyword.rfind("WCSAXES", 0) == 0)) {
            char* end = nullptr;
            const double count = std::strtod(text.c_str(), &end);
            if (!(count >= 0.0 && count <= 99.0 && count == std::floor(count))) {
                error = "header card " + std::to_string(at / 80 + 1) + ": " +
                        keyword.substr(0, keyword.find_last_not_of(' ') + 1) + " is not a count of axes";
                return {};
            }
        }
        if (!usable) {
            if (is_wcs_keyword(keyword)) {
                error = "header card " + std::to_string(at / 80 + 1) + ": " +
                        keyword.substr(0, keyword.find_last_not_of(' ') + 1) + " has no value the WCS can use";
                return {};
            }
            continue;
        }
        std::string out = keyword + "= " + text;
        out.resize(80, ' ');
        cards += out;
    }
    std::string end = "END";
    end.resize(80, ' ');
    return cards + end;
}

// Parses the header's WCS descriptions and sets up the one at `chosen`
// (-1: the primary description when celestial, else the first celestial
// one). Null with `error` set when there is none or the library rejects it.
std::unique_ptr<WcsArray> parse_wcs(const std::string& header, int chosen, std::string& error, Problem& problem)
{
    auto parsed = std::make_unique<WcsArray>();
    std::string cards = canonical_cards(header, error);
    if (!error.empty()) {
        problem = Problem::other;
        return nullptr;
    }
    const int card_count = static_cast<int>(cards.size() / 80);
    int rejected = 0;
    const int status = wcspih(cards.data(), card_count, WCSHDR_all, 0, &rejected, &parsed->count, &parsed->array);
    if (status != 0) {
        parsed->array = nullptr;
        parsed->count = 0;
        error = "the WCS library cannot parse the header: " + std::string(wcshdr_errmsg[status]);
        problem = Problem::other;
        return nullptr;
    }
    std::string first_failure;
    for (int i = 0; i < parsed->count; ++i) {
        if (chosen >= 0 && i != chosen) {
            continue;
        }
        wcsprm* wcs = parsed->array + i;
        // Unit aliases first; the translation of the old NCP and GLS
        // projections sets the WCS up itself, so it comes after a first
        // wcsset() has accepted it.
        unitfix(0, wcs);
        int set_status = wcsset(wcs);
        if (set_status == 0 && celfix(wcs) == FIXERR_SUCCESS) {
            set_status = wcsset(wcs);
        }
        if (set_status != 0) {
            // A rejected primary description is an error even when an
            // alternate one would do.
            const bool primary = wcs->alt[0] == ' ' || wcs->alt[0] == '\0';
            if (first_failure.empty() || primary) {
                first_failure = "the WCS library rejects the world coordinate system: " +
                                std::string(wcs_errmsg[set_status]);
            }
            if (primary || chosen >= 0) {
                error = first_failure;
                problem = Problem::other;
                return nullptr;
            }
            continue;
        }
        if (wcs->lng < 0 || wcs->lat < 0) {
            continue;
        }
        // The primary description when it is celestial, else the first that is.
        if (chosen >= 0 || wcs->alt[0] == ' ' || wcs->alt[0] == '\0') {
            parsed->chosen = i;
            break;
        }
        if (parsed->chosen < 0) {
            parsed->chosen = i;
        }
    }
    if (parsed->chosen < 0) {
        error = first_failure.empty() ? "no celestial world coordinate system in the header" : first_failure;
        problem = first_failure.empty() ? Problem::no_celestial_wcs : Problem::other;
        return nullptr;
    }
    return parsed;
}

// Equatorial J2000 or a message saying why not. Without RADESYS the default
// of the FITS WCS paper on celestial coordinates applies: ICRS when there is
// no EQUINOX either, FK4 for an EQUINOX before 1984, FK5 from 1984 on.
std::string reference_system_error(const wcsprm* wcs)
{
    const std::string lng_type(wcs->lngtyp);
    if (lng_type != "RA") {
        return "the celestial coordinates are " + lng_type + ", not right ascension and declination";
    }
    std::string system(wcs->radesys);
    while (!system.empty() && system.back() == ' ') {
        system.pop_back();
    }
    const bool has_equinox = wcs->equinox != WCS_UNDEFINED && std::isfinite(wcs->equinox);
    if (system.empty()) {
        if (!has_equinox) {
            return "";
        }
        system = wcs->equinox < 1984.0 ? "FK4" : "FK5";
    }
    if (system == "ICRS") {
        return "";
    }
    if (system == "FK5") {
        if (!has_equinox || wcs->equinox == 2000.0) {
            return "";
        }
        char text[80];
        std::snprintf(text, sizeof text, "RADESYS FK5 with EQUINOX %.6g is not J2000", wcs->equinox);
        return text;
    }
    return "RADESYS " + system + " is neither ICRS nor FK5 J2000";
}

// Calendar limits of the core's date arithmetic.
constexpr int FIRST_YEAR = 1900;
constexpr int LAST_YEAR = 2099;
constexpr double FIRST_MJD = 15020.0;  // 1900 January 1
constexpr double END_MJD = 88070.0;    // 2100 January 1

// MJD of an ISO 8601 date (YYYY-MM-DD[Thh:mm:ss[.s...]]) in the time scale
// it is given in; `error` set when malformed or outside 1900 to 2099.
std::optional<double> mjd_from_iso_date(const char* key, const std::string& text, std::string& error)
{
    std::string copy = text;
    if (!copy.empty() && copy.back() == 'Z') {
        copy.pop_back();
    }
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    double second = 0.0;
    int status = 0;
    fits_str2time(copy.data(), &year, &month, &day, &hour, &minute, &second, &status);
    if (status != 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(second >= 0.0 && second < 61.0)) {
        fits_clear_errmsg();
        error = std::string(key) + " '" + text + "' is not a date YYYY-MM-DD[Thh:mm:ss]";
        return std::nullopt;
    }
    if (year < FIRST_YEAR || year > LAST_YEAR) {
        error = std::string(key) + " '" + text + "' is outside the years 1900 to 2099";
        return std::nullopt;
    }
    return mjd_from_calendar(day, month, year, hour, minute, second);
}

// An instant from the ISO keyword, else from the MJD keyword; empty when neither.
std::optional<double> instant_keyword(fitsfile* f, const char* iso_key, const char* mjd_key, std::string& error)
{
    if (const std::optional<std::string> text = text_keyword(f, iso_key); text && !text->empty()) {
        return mjd_from_iso_date(iso_key, *text, error);
    }
    const std::optional<double> mjd = number_keyword(f, mjd_key, error);
    if (mjd && !(*mjd >= FIRST_MJD && *mjd < END_MJD)) {
        error = std::string(mjd_key) + " is outside the years 1900 to 2099";
        return std::nullopt;
    }
    return mjd;
}

// UTC MJD of an instant given on the time scale `scale` (UTC, TT or TAI):
// TT - UTC from the core's leap-second table, looked up at the UTC found.
double utc_from_scale(double mjd, const std::string& scale, const LeapSecondTable& leap_seconds)
{
    if (scale == "UTC") {
        return mjd;
    }
    const double tt = (scale == "TT") ? mjd : mjd + 32.184 * DAYS_PER_SECOND;
    double utc = tt - tt_from_utc(tt, leap_seconds).tt_minus_utc_days;
    utc = tt - tt_from_utc(utc, leap_seconds).tt_minus_utc_days;
    return utc;
}

// The exposure from DATE-OBS / MJD-OBS, DATE-AVG / MJD-AVG, EXPTIME /
// EXPOSURE and TIMESYS; empty when the header gives no instant.
std::optional<Exposure> header_exposure(fitsfile* f, std::string& error, const LeapSecondTable& leap_seconds)
{
    std::string scale = text_keyword(f, "TIMESYS").value_or("UTC");
    if (scale.empty()) {
        scale = "UTC";
    }
    if (scale == "TDT") {
        scale = "TT";
    } else if (scale == "IAT") {
        scale = "TAI";
    }
    const std::optional<double> start = instant_keyword(f, "DATE-OBS", "MJD-OBS", error);
    const std::optional<double> mid = instant_keyword(f, "DATE-AVG", "MJD-AVG", error);
    std::optional<double> length = number_keyword(f, "EXPTIME", error);
    if (!length) {
        length = number_keyword(f, "EXPOSURE", error);
    }
    if (!error.empty()) {
        return std::nullopt;
    }
    if (!start && !mid) {
        return std::nullopt;
    }
    if (scale != "UTC" && scale != "TT" && scale != "TAI") {
        error = "TIMESYS '" + scale + "' is not one of UTC, TT, TAI";
        return std::nullopt;
    }
    if (length && *length < 0.0) {
        error = "the exposure length is negative";
        return std::nullopt;
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
            error = "the mid-exposure instant lies outside the exposure";
            return std::nullopt;
        }
    }
    if (!length) {
        exposure.start_utc_mjd = exposure.mid_utc_mjd;
    }
    return exposure;
}

// A site angle given as a number or as text, degrees; `error` set when malformed.
std::optional<double> angle_keyword(fitsfile* f, const char* key, std::string& error)
{
    const std::optional<std::string> text = text_keyword(f, key);
    if (!text) {
        return std::nullopt;
    }
    const std::optional<double> degrees = degrees_from_text(*text);
    if (!degrees && error.empty()) {
        error = std::string(key) + " '" + *text + "' is not an angle in degrees";
    }
    return degrees;
}

// The geodetic site (degrees, metres) as the Earth-fixed position, after
// checking the latitude and longitude ranges.
std::optional<Vector3> geodetic_site(double lat_deg, double lon_deg, double height_m, const char* what,
                                     std::string& error)
{
    if (!(std::fabs(lat_deg) <= 90.0) || !(std::fabs(lon_deg) <= 360.0) || !(std::fabs(height_m) < 1e7)) {
        error = std::string(what) + " do not give a latitude, longitude and height on the Earth";
        return std::nullopt;
    }
    return observer_from_geodetic_site(lat_deg, lon_deg, height_m);
}

// The site from OBSGEO-X/Y/Z (metres), else OBSGEO-B/L/H, else SITELAT,
// SITELONG and SITEELEV (0 m when absent); empty when none is given.
std::optional<Vector3> header_site(fitsfile* f, std::string& error)
{
    const std::optional<double> x = number_keyword(f, "OBSGEO-X", error);
    const std::optional<double> y = number_keyword(f, "OBSGEO-Y", error);
    const std::optional<double> z = number_keyword(f, "OBSGEO-Z", error);
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
        return site;
    }
    const std::optional<double> b = number_keyword(f, "OBSGEO-B", error);
    const std::optional<double> l = number_keyword(f, "OBSGEO-L", error);
    const std::optional<double> h = number_keyword(f, "OBSGEO-H", error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (b || l || h) {
        if (!(b && l && h)) {
            error = "OBSGEO-B, OBSGEO-L and OBSGEO-H must be given together";
            return std::nullopt;
        }
        return geodetic_site(*b, *l, *h, "OBSGEO-B/L/H", error);
    }
    const std::optional<double> lat = angle_keyword(f, "SITELAT", error);
    const std::optional<double> lon = angle_keyword(f, "SITELONG", error);
    const std::optional<double> elevation = number_keyword(f, "SITEELEV", error);
    if (!error.empty()) {
        return std::nullopt;
    }
    if (lat || lon) {
        if (!(lat && lon)) {
            error = "SITELAT and SITELONG must be given together";
            return std::nullopt;
        }
        return geodetic_site(*lat, *lon, elevation.value_or(0.0), "SITELAT/SITELONG/SITEELEV", error);
    }
    return std::nullopt;
}

// True for the keywords of the SIP distortion: A_ORDER, A_p_q and their B,
// AP and BP kin (the keyword columns of a card, blanks included).
bool is_sip_keyword(const std::string& keyword)
{
    for (const char* prefix : {"A_", "B_", "AP_", "BP_"}) {
        if (keyword.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// A message naming the first card whose value CFITSIO cannot split from its
// comment (a text without its closing quote, say), or empty. The WCS
// library's parser overruns its buffers on such a card, so the cards are
// checked before it sees them.
std::string malformed_card(const std::string& cards)
{
    for (std::size_t at = 0; at + 80 <= cards.size(); at += 80) {
        std::string card = cards.substr(at, 80);
        if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
            break;
        }
        char value[FLEN_VALUE] = {};
        char comment[FLEN_COMMENT] = {};
        int status = 0;
        fits_parse_value(card.data(), value, comment, &status);
        if (status != 0) {
            fits_clear_errmsg();
            return "header card " + std::to_string(at / 80 + 1) + " is malformed: " + fits_status_text(status);
        }
        // A distortion coefficient or order whose value is not a number
        // makes the WCS library follow a null pointer: refuse it first.
        if (card.compare(8, 2, "= ") == 0 && is_sip_keyword(card.substr(0, 8))) {
            // FITS may write the exponent with a D.
            std::replace(std::begin(value), std::end(value), 'D', 'E');
            std::replace(std::begin(value), std::end(value), 'd', 'e');
            char* end = nullptr;
            const double number = std::strtod(value, &end);
            // Nothing but blanks or a comment may follow the number on the card.
            const std::size_t number_start = card.find_first_not_of(' ', 10);
            const std::size_t number_end = card.find_first_of(" /", number_start);
            const std::size_t after = number_end == std::string::npos ? std::string::npos
                                                                      : card.find_first_not_of(' ', number_end);
            const bool only_comment = after == std::string::npos || card[after] == '/';
            if (value[0] == '\0' || end == value || *end != '\0' || !std::isfinite(number) || !only_comment) {
                return "header card " + std::to_string(at / 80 + 1) + " is malformed: " +
                       card.substr(0, card.find_last_not_of(' ', 7) + 1) + " has no number for its value";
            }
        }
        // CFITSIO lets a text value run to the end of its card; the WCS
        // library would read on into the next cards.
        const std::size_t start = card.find_first_not_of(' ', 10);
        if (card.compare(8, 2, "= ") == 0 && start != std::string::npos && card[start] == '\'') {
            std::size_t i = start + 1;
            while (i < card.size() && !(card[i] == '\'' && (i + 1 == card.size() || card[i + 1] != '\''))) {
                i += (card[i] == '\'') ? 2 : 1;
            }
            if (i >= card.size()) {
                return "header card " + std::to_string(at / 80 + 1) + " is malformed: a text value without its closing quote";
            }
        }
    }
    return "";
}

// The frame of the current HDU of `f`.
HduFrame frame_from_hdu(fitsfile* f, const LeapSecondTable& leap_seconds)
{
    int status = 0;
    int hdu_type = 0;
    fits_get_hdu_type(f, &hdu_type, &status);
    if (status != 0 || hdu_type != IMAGE_HDU) {
        fits_clear_errmsg();
        return refusal("the HDU is a table, not an image", Problem::no_celestial_wcs);
    }
    int naxis = 0;
    fits_get_img_dim(f, &naxis, &status);
    if (status != 0) {
        fits_clear_errmsg();
        return refusal("cannot read NAXIS: " + fits_status_text(status));
    }
    if (naxis == 0) {
        return refusal("the HDU holds no image (NAXIS = 0)", Problem::no_celestial_wcs);
    }
    const std::optional<std::string> cards = header_cards(f, status);
    if (!cards) {
        fits_clear_errmsg();
        return refusal("cannot read the header: " + fits_status_text(status));
    }
    if (std::string card_error = malformed_card(*cards); !card_error.empty()) {
        return refusal(card_error);
    }
    std::string error;
    Problem problem = Problem::none;
    std::unique_ptr<WcsArray> wcs = parse_wcs(*cards, -1, error, problem);
    if (!wcs && problem == Problem::no_celestial_wcs) {
        return refusal(error, problem);
    }
    if (naxis != 2) {
        return refusal("NAXIS is " + std::to_string(naxis) + ", not 2");
    }
    if (!wcs) {
        return refusal(error, problem);
    }
    std::array<long, 2> size{};
    fits_get_img_size(f, 2, size.data(), &status);
    if (status != 0 || size[0] < 1 || size[1] < 1 || size[0] > 1000000000L || size[1] > 1000000000L) {
        fits_clear_errmsg();
        return refusal("NAXIS1 and NAXIS2 do not give an image size");
    }
    if (wcs->wcs()->naxis != 2) {
        return refusal("the world coordinate system has " + std::to_string(wcs->wcs()->naxis) + " axes, not 2");
    }
    if (std::string system_error = reference_system_error(wcs->wcs()); !system_error.empty()) {
        return refusal(system_error);
    }
    ImageFrame frame{};
    frame.naxis1 = static_cast<int>(size[0]);
    frame.naxis2 = static_cast<int>(size[1]);
    frame.exposure = header_exposure(f, error, leap_seconds);
    if (!error.empty()) {
        return refusal(error);
    }
    frame.site_earth_fixed_km = header_site(f, error);
    if (!error.empty()) {
        return refusal(error);
    }
    const int chosen = wcs->chosen;
    frame.projection = std::make_shared<const FrameProjection>(*cards, chosen, std::move(wcs));
    return {std::move(frame), "", Problem::none};
}

ImageFrameResult result_from_hdu(HduFrame hdu, const std::string& name)
{
    if (!hdu.frame) {
        return failure(name, hdu.error, 2);
    }
    return {std::move(hdu.frame), "", 0};
}

}  // namespace

std::unique_ptr<WcsArray> FrameProjection::parse_copy() const
{
    std::string error;
    Problem problem = Problem::none;
    return parse_wcs(header_, chosen_, error, problem);
}

ImageFrameResult image_frame_from_file(const std::string& path, const LeapSecondTable& leap_seconds)
{
    fitsfile* raw = nullptr;
    int status = 0;
    fits_open_file(&raw, path.c_str(), READONLY, &status);
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        // CFITSIO says the same of a missing file and of one that is not
        // FITS: tell them apart by opening the file itself.
        std::array<char, FLEN_FILENAME> root{};
        int root_status = 0;
        fits_parse_rootname(const_cast<char*>(path.c_str()), root.data(), &root_status);
        const std::string file = (root_status == 0 && root[0] != '\0') ? std::string(root.data()) : path;
        std::FILE* plain = std::fopen(file.c_str(), "rb");
        if (plain == nullptr) {
            return failure(path, std::string("cannot open: ") + std::strerror(errno), 1);
        }
        std::fclose(plain);
        return failure(path, "no such HDU or not a FITS file (" + reason + ")", 2);
    }
    const FitsFile f(raw);
    int named_hdu = -99;
    int parse_status = 0;
    fits_parse_extnum(const_cast<char*>(path.c_str()), &named_hdu, &parse_status);
    if (parse_status != 0 || named_hdu != -99) {
        fits_clear_errmsg();
        return result_from_hdu(frame_from_hdu(f.get(), leap_seconds), path);
    }
    HduFrame primary = frame_from_hdu(f.get(), leap_seconds);
    if (primary.frame || primary.problem != Problem::no_celestial_wcs) {
        return result_from_hdu(std::move(primary), path);
    }
    int hdu_count = 0;
    fits_get_num_hdus(f.get(), &hdu_count, &status);
    for (int hdu = 2; status == 0 && hdu <= hdu_count; ++hdu) {
        int hdu_type = 0;
        fits_movabs_hdu(f.get(), hdu, &hdu_type, &status);
        if (status != 0) {
            break;
        }
        HduFrame extension = frame_from_hdu(f.get(), leap_seconds);
        if (extension.frame || extension.problem != Problem::no_celestial_wcs) {
            return result_from_hdu(std::move(extension), path + "[" + std::to_string(hdu - 1) + "]");
        }
    }
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        return failure(path, "cannot read the extensions: " + reason, 2);
    }
    return failure(path, "no celestial world coordinate system in the primary HDU or any image extension", 2);
}

ImageFrameResult image_frame_from_header(std::string_view header_cards, const std::string& name,
                                        const LeapSecondTable& leap_seconds)
{
    constexpr std::size_t CARD = 80;
    constexpr std::size_t BLOCK = 2880;
    // Only the cards up to END are the header; a header without END is cut short.
    std::size_t end = std::string_view::npos;
    for (std::size_t at = 0; at + CARD <= header_cards.size(); at += CARD) {
        const std::string_view card = header_cards.substr(at, CARD);
        if (card.substr(0, 8) == "END     " && card.find_first_not_of(' ', 8) == std::string_view::npos) {
            end = at + CARD;
            break;
        }
    }
    if (end == std::string_view::npos) {
        return failure(name, "the header is truncated: no END card", 2);
    }
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(header_cards[i]);
        if (c < 0x20 || c > 0x7e) {
            return failure(name, "the header holds a byte that is not printable ASCII, in card " +
                                     std::to_string(i / CARD + 1), 2);
        }
    }
    // CFITSIO reads the header as a file in memory of whole blocks; the data
    // are never read. An extension's header follows an empty primary one.
    const bool extension = header_cards.substr(0, 8) == "XTENSION";
    std::string primary;
    if (extension) {
        for (const char* c : {"SIMPLE  =                    T", "BITPIX  =                    8",
                              "NAXIS   =                    0", "EXTEND  =                    T", "END"}) {
            primary += c;
            primary.resize((primary.size() + CARD - 1) / CARD * CARD, ' ');
        }
        primary.resize(BLOCK, ' ');
    }
    const std::size_t size = primary.size() + (end + BLOCK - 1) / BLOCK * BLOCK;
    void* buffer = std::malloc(size);
    if (buffer == nullptr) {
        return failure(name, "out of memory", 2);
    }
    std::memcpy(buffer, primary.data(), primary.size());
    std::memcpy(static_cast<char*>(buffer) + primary.size(), header_cards.data(), end);
    std::memset(static_cast<char*>(buffer) + primary.size() + end, ' ', size - primary.size() - end);
    std::size_t buffer_size = size;
    fitsfile* raw = nullptr;
    int status = 0;
    fits_open_memfile(&raw, name.c_str(), READONLY, &buffer, &buffer_size, 0, nullptr, &status);
    if (status == 0 && extension) {
        fits_movabs_hdu(raw, 2, nullptr, &status);
        if (status != 0) {
            int ignored = 0;
            fits_close_file(raw, &ignored);
        }
    }
    if (status != 0) {
        const std::string reason = fits_status_text(status);
        fits_clear_errmsg();
        std::free(buffer);
        return failure(name, "not a FITS header (" + reason + ")", 2);
    }
    ImageFrameResult result;
    {
        const FitsFile f(raw);
        result = result_from_hdu(frame_from_hdu(f.get(), leap_seconds), name);
    }
    std::free(buffer);
    return result;
}

std::optional<PixelPosition> pixel_position(const ImageFrame& frame, double ra_deg, double dec_deg)
{
    if (!frame.projection || !std::isfinite(ra_deg) || !std::isfinite(dec_deg) || std::fabs(dec_deg) > 90.0) {
        return std::nullopt;
    }
    const FrameProjection::Borrowed borrowed = frame.projection->borrow();
    wcsprm* wcs = borrowed.get();
    if (wcs == nullptr) {
        return std::nullopt;
    }
    std::array<double, 2> world{};
    world[static_cast<std::size_t>(wcs->lng)] = ra_deg;
    world[static_cast<std::size_t>(wcs->lat)] = dec_deg;
    std::array<double, 2> intermediate{};
    std::array<double, 2> pixel{};
    double phi = 0.0;
    double theta = 0.0;
    int invalid = 0;
    const int status = wcss2p(wcs, 1, 2, world.data(), &phi, &theta, intermediate.data(), pixel.data(), &invalid);
    if (status != 0 || invalid != 0 || !std::isfinite(pixel[0]) || !std::isfinite(pixel[1])) {
        return std::nullopt;
    }
    return PixelPosition{pixel[0], pixel[1]};
}

std::optional<SkyPoint> sky_position(const ImageFrame& frame, double x, double y)
{
    if (!frame.projection || !std::isfinite(x) || !std::isfinite(y)) {
        return std::nullopt;
    }
    const FrameProjection::Borrowed borrowed = frame.projection->borrow();
    wcsprm* wcs = borrowed.get();
    if (wcs == nullptr) {
        return std::nullopt;
    }
    const std::array<double, 2> pixel{x, y};
    std::array<double, 2> intermediate{};
    std::array<double, 2> world{};
    double phi = 0.0;
    double theta = 0.0;
    int invalid = 0;
    const int status = wcsp2s(wcs, 1, 2, pixel.data(), intermediate.data(), &phi, &theta, world.data(), &invalid);
    const double ra = world[static_cast<std::size_t>(wcs->lng)];
    const double dec = world[static_cast<std::size_t>(wcs->lat)];
    if (status != 0 || invalid != 0 || !std::isfinite(ra) || !std::isfinite(dec)) {
        return std::nullopt;
    }
    double wrapped = std::fmod(ra, 360.0);
    if (wrapped < 0.0) {
        wrapped += 360.0;
    }
    return SkyPoint{wrapped, dec};
}

namespace {

struct Footprint {
    double centre_x;
    double centre_y;
    double half_width;   // pixels, widened
    double half_height;  // pixels, widened
};

Footprint widened_footprint(const ImageFrame& frame)
{
    return {0.5 * (frame.naxis1 + 1.0), 0.5 * (frame.naxis2 + 1.0), 0.5 * frame.naxis1 * FOOTPRINT_WIDENING,
            0.5 * frame.naxis2 * FOOTPRINT_WIDENING};
}

// Pixel positions along the widened edges, `per_edge` on each, from each corner.
std::vector<PixelPosition> outline_pixels(const ImageFrame& frame, int per_edge)
{
    const Footprint fp = widened_footprint(frame);
    const std::array<PixelPosition, 4> corners{{{fp.centre_x - fp.half_width, fp.centre_y - fp.half_height},
                                                {fp.centre_x + fp.half_width, fp.centre_y - fp.half_height},
                                                {fp.centre_x + fp.half_width, fp.centre_y + fp.half_height},
                                                {fp.centre_x - fp.half_width, fp.centre_y + fp.half_height}}};
    std::vector<PixelPosition> points;
    points.reserve(static_cast<std::size_t>(4 * per_edge));
    for (std::size_t edge = 0; edge < 4; ++edge) {
        const PixelPosition& a = corners[edge];
        const PixelPosition& b = corners[(edge + 1) % 4];
        for (int i = 0; i < per_edge; ++i) {
            const double t = static_cast<double>(i) / per_edge;
            points.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
        }
    }
    return points;
}

}  // namespace

bool in_widened_footprint(const ImageFrame& frame, const PixelPosition& p)
{
    const Footprint fp = widened_footprint(frame);
    return std::fabs(p.x - fp.centre_x) <= fp.half_width && std::fabs(p.y - fp.centre_y) <= fp.half_height;
}

std::optional<SkyPoint> frame_centre(const ImageFrame& frame)
{
    const Footprint fp = widened_footprint(frame);
    return sky_position(frame, fp.centre_x, fp.centre_y);
}

std::optional<FrameSize> frame_size(const ImageFrame& frame)
{
    const Footprint fp = widened_footprint(frame);
    const auto left = sky_position(frame, 0.5, fp.centre_y);
    const auto right = sky_position(frame, frame.naxis1 + 0.5, fp.centre_y);
    const auto bottom = sky_position(frame, fp.centre_x, 0.5);
    const auto top = sky_position(frame, fp.centre_x, frame.naxis2 + 0.5);
    if (!left || !right || !bottom || !top) {
        return std::nullopt;
    }
    const double width = angle_between(unit_vector_from_sky(left->ra_deg, left->dec_deg),
                                       unit_vector_from_sky(right->ra_deg, right->dec_deg));
    const double height = angle_between(unit_vector_from_sky(bottom->ra_deg, bottom->dec_deg),
                                        unit_vector_from_sky(top->ra_deg, top->dec_deg));
    return FrameSize{width * RAD_TO_DEG * 60.0, height * RAD_TO_DEG * 60.0};
}

std::vector<SkyPoint> widened_outline(const ImageFrame& frame, int points_per_edge)
{
    std::vector<SkyPoint> outline;
    if (points_per_edge < 1) {
        return outline;
    }
    for (const PixelPosition& p : outline_pixels(frame, points_per_edge)) {
        if (const auto sky = sky_position(frame, p.x, p.y)) {
            outline.push_back(*sky);
        }
    }
    return outline;
}

BoundingCircle widened_bounding_circle(const ImageFrame& frame)
{
    // The farthest point of the footprint from an inner point lies on its
    // edge (while the footprint stays within a hemisphere about that point).
    // The edge is sampled densely; between two samples it can reach beyond
    // the farther one by no more than the arc joining them, which the margin
    // adds, with a microradian more for rounding.
    constexpr int SAMPLES_PER_EDGE = 64;
    constexpr double ROUNDING_MARGIN_RAD = 1e-6;
    const BoundingCircle whole_sky{unit_vector_from_sky(0.0, 90.0), PI};
    const std::optional<SkyPoint> centre = frame_centre(frame);
    if (!centre) {
        return whole_sky;
    }
    const Vector3 c = unit_vector_from_sky(centre->ra_deg, centre->dec_deg);
    const std::vector<PixelPosition> edge = outline_pixels(frame, SAMPLES_PER_EDGE);
    std::vector<Vector3> points;
    points.reserve(edge.size());
    for (const PixelPosition& p : edge) {
        const auto sky = sky_position(frame, p.x, p.y);
        if (!sky) {
            return {c, PI};
        }
        points.push_back(unit_vector_from_sky(sky->ra_deg, sky->dec_deg));
    }
    double farthest = 0.0;
    double widest_step = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        farthest = std::max(farthest, angle_between(c, points[i]));
        widest_step = std::max(widest_step, angle_between(points[i], points[(i + 1) % points.size()]));
    }
    const double radius = farthest + widest_step + ROUNDING_MARGIN_RAD;
    if (farthest >= 0.5 * PI || radius >= PI) {
        return {c, PI};
    }
    return {c, radius};
}

}  // namespace fieldsearch
