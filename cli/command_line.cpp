#include "command_line.hpp"

#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <algorithm>
#include <memory>
#include <tuple>

#include <CLI/CLI.hpp>

#include "field_list.hpp"
#include "field_reports.hpp"
#include "constants.hpp"
#include "formatted_text.hpp"
#include "geodetic_site.hpp"
#include "image_frame.hpp"
#include "leap_seconds_file.hpp"
#include "observatory_codes.hpp"
#include "standard_magnitudes.hpp"
#include "text_report.hpp"
#include "text_values.hpp"
#include "time_scales.hpp"
#include "ordered_blocks.hpp"

namespace fieldsearch {

namespace {

constexpr const char* VERSION = "1.0.0";

// The parts put end to end (GCC 12 warns falsely on chains of string +).
std::string joined(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view part : parts) {
        out.append(part);
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

// A sexagesimal option value "U:MM[:SS.sss]": whole units of 1 to 3 digits
// and minutes, then optionally seconds; no sign.
std::optional<SexagesimalValue> clock_value_from_text(std::string_view text)
{
    const std::optional<SexagesimalValue> value = sexagesimal_from_text(text);
    if (!value || value->parts < 2 || !value->whole_is_integer || value->minutes != std::floor(value->minutes)) {
        return std::nullopt;
    }
    return value;
}

// The centre from its two texts, sexagesimal or decimal degrees; error
// names what is wrong.
std::optional<FieldCentre> centre_from_texts(std::string_view ra_text, std::string_view dec_text, std::string& error)
{
    const bool ra_sexagesimal = ra_text.find(':') != std::string_view::npos;
    const bool dec_sexagesimal = dec_text.find(':') != std::string_view::npos;
    if (ra_sexagesimal != dec_sexagesimal) {
        error = "give both coordinates as sexagesimal (11:28:00.0 +01:16:00) or both in degrees (172.0 1.2667)";
        return std::nullopt;
    }
    if (!ra_sexagesimal) {
        const std::optional<double> ra = number_from_text(ra_text);
        const std::optional<double> dec = number_from_text(dec_text);
        if (!ra || *ra < 0.0 || *ra >= 360.0) {
            error = joined({"right ascension '", ra_text, "' is not a number of degrees in [0, 360)"});
            return std::nullopt;
        }
        if (!dec || std::fabs(*dec) > 90.0) {
            error = joined({"declination '", dec_text, "' is not a number of degrees in [-90, 90]"});
            return std::nullopt;
        }
        return field_centre_from_degrees(*ra, *dec);
    }
    const std::optional<SexagesimalValue> ra = clock_value_from_text(ra_text);
    if (!ra || ra->whole > 23) {
        error = joined({"right ascension '", ra_text, "' is not HH:MM:SS.s with hours 0 to 23"});
        return std::nullopt;
    }
    bool negative = false;
    std::string_view unsigned_dec = dec_text;
    if (!unsigned_dec.empty() && (unsigned_dec.front() == '+' || unsigned_dec.front() == '-')) {
        negative = unsigned_dec.front() == '-';
        unsigned_dec.remove_prefix(1);
    }
    const std::optional<SexagesimalValue> dec = clock_value_from_text(unsigned_dec);
    if (!dec || dec->whole > 90 || (dec->whole == 90 && (dec->minutes > 0 || dec->seconds > 0.0))) {
        error = joined({"declination '", dec_text, "' is not [+-]DD:MM:SS.s within 90 degrees"});
        return std::nullopt;
    }
    return field_centre_from_sexagesimal(static_cast<int>(ra->whole), static_cast<int>(ra->minutes), ra->seconds,
                                         negative, static_cast<int>(dec->whole), static_cast<int>(dec->minutes),
                                         dec->seconds);
}

// Comma-separated numbers, `minimum` to `maximum` of them.
std::optional<std::vector<double>> numbers_from_list(std::string_view text, std::size_t minimum, std::size_t maximum)
{
    const std::vector<std::string_view> parts = split(text, ',');
    if (parts.size() < minimum || parts.size() > maximum) {
        return std::nullopt;
    }
    std::vector<double> values;
    for (std::string_view part : parts) {
        const std::optional<double> value = number_from_text(part);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

// The observer from "LAT,LON[,HEIGHT]"; error names what is wrong.
// True for the form of an observatory code: three letters or digits.
bool is_station_code(std::string_view text)
{
    return text.size() == 3 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

std::optional<Vector3> site_from_text(std::string_view text, std::string& error)
{
    if (is_station_code(text)) {
        return Vector3{};  // resolved from the observatory codes when the plan is made
    }
    const auto site = numbers_from_list(text, 2, 3);
    if (!site) {
        error = joined({"'", text, "' is not LAT,LON[,HEIGHT] in degrees and metres"});
        return std::nullopt;
    }
    const double lat = (*site)[0];
    const double lon = (*site)[1];
    const double height = site->size() == 3 ? (*site)[2] : 0.0;
    if (std::fabs(lat) > 90.0) {
        error = joined({"latitude ", split(text, ',')[0], " is beyond +-90 degrees"});
        return std::nullopt;
    }
    if (lon < -180.0 || lon > 360.0) {
        error = joined({"longitude ", split(text, ',')[1], " is outside -180 to 360 degrees"});
        return std::nullopt;
    }
    if (std::fabs(height) > 1.0e7) {
        error = joined({"height ", split(text, ',')[2], " m is not on or near the Earth"});
        return std::nullopt;
    }
    return observer_from_geodetic_site(lat, lon, height);
}

std::optional<Vector3> observer_from_text(std::string_view text, std::string& error)
{
    const auto xyz = numbers_from_list(text, 3, 3);
    if (!xyz) {
        error = joined({"'", text, "' is not three numbers X,Y,Z in km"});
        return std::nullopt;
    }
    Vector3 v;
    v(1) = (*xyz)[0];
    v(2) = (*xyz)[1];
    v(3) = (*xyz)[2];
    // The searches hold an observer near the Earth: within a million km of
    // its centre (about 2.6 times the Moon's distance).
    const double distance = std::hypot(v(1), v(2), v(3));
    if (!(distance <= MAX_OBSERVER_DISTANCE_KM)) {
        error = joined({"'", text, "' is not within 1e6 km of the Earth's centre"});
        return std::nullopt;
    }
    return v;
}

std::optional<CalendarInstant> instant_option_from_text(std::string_view text, std::string& error)
{
    std::optional<CalendarInstant> instant = instant_from_text(text);
    if (!instant) {
        error = joined({"'", text,
                        "' is not an existing date and time YYYY-MM-DDTHH:MM:SS[.sss] between the years 1900 and 2099"});
    }
    return instant;
}

std::optional<double> side_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> side = number_from_text(text);
    if (!side || *side <= 0.0 || *side >= 10800.0) {
        error = joined({"'", text, "' is not a side in arcminutes greater than 0 and less than 10800 (180 deg)"});
        return std::nullopt;
    }
    return side;
}

std::optional<double> magnitude_from_text(std::string_view text, std::string& error)
{
    std::optional<double> value = number_from_text(text);
    if (!value) {
        error = joined({"'", text, "' is not a number"});
    }
    return value;
}

std::optional<OutputFormat> format_from_text(std::string_view text, std::string& error)
{
    if (text == "text") {
        return OutputFormat::text;
    }
    if (text == "csv") {
        return OutputFormat::csv;
    }
    if (text == "json") {
        return OutputFormat::json;
    }
    error = joined({"'", text, "' is not text, csv or json"});
    return std::nullopt;
}

std::optional<int> threads_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> n = number_from_text(text);
    if (!n || *n != std::floor(*n) || *n < 1.0 || *n > 1024.0) {
        error = joined({"'", text, "' is not a whole number of threads from 1 to 1024"});
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

std::optional<int> count_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> n = number_from_text(text);
    if (!n || *n != std::floor(*n) || *n < 1.0 || *n > 1000.0) {
        error = joined({"'", text, "' is not a whole number from 1 to 1000"});
        return std::nullopt;
    }
    return static_cast<int>(*n);
}

std::optional<double> positive_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> value = number_from_text(text);
    if (!value || !(*value > 0.0) || *value > 1.0e6) {
        error = joined({"'", text, "' is not a number greater than 0 and at most 1e6"});
        return std::nullopt;
    }
    return value;
}

std::optional<double> ut1_utc_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> value = number_from_text(text);
    if (!value || !is_valid_ut1_minus_utc(*value)) {
        error = joined({"'", text, "' is not UT1 - UTC in seconds, less than 0.9 in size"});
        return std::nullopt;
    }
    return value;
}

std::optional<double> exposure_from_text(std::string_view text, std::string& error)
{
    const std::optional<double> value = number_from_text(text);
    if (!value || *value < 0.0 || *value > 86400.0) {
        error = joined({"'", text, "' is not an exposure of 0 to 86400 seconds"});
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> path_from_text(std::string_view text, std::string& error)
{
    if (text.empty()) {
        error = "needs the path of a file";
        return std::nullopt;
    }
    return std::string(text);
}

// The path of a finder chart: it is written as SVG, so its name says so.
std::optional<std::string> chart_path_from_text(std::string_view text, std::string& error)
{
    std::optional<std::string> path = path_from_text(text, error);
    if (path && (path->size() < 4 || path->compare(path->size() - 4, 4, ".svg") != 0)) {
        error = joined({"'", text, "' does not end in .svg: the chart is written as SVG"});
        return std::nullopt;
    }
    return path;
}

// A check that the text is one of the '|'-separated names.
CLI::Validator one_of(const char* names)
{
    return CLI::Validator(
        [names](std::string& text) {
            const std::vector<std::string_view> allowed = split(names, '|');
            if (std::find(allowed.begin(), allowed.end(), std::string_view(text)) != allowed.end()) {
                return std::string();
            }
            std::string list;
            for (std::size_t i = 0; i < allowed.size(); ++i) {
                list += std::string(i == 0 ? "" : i + 1 == allowed.size() ? " or " : ", ") + std::string(allowed[i]);
            }
            return "'" + text + "' is not " + list;
        },
        "");
}

// A CLI11 check that runs one of our own conversions on the option's text;
// the conversion's error becomes the option's message.
template <typename Conversion>
CLI::Validator checked_by(Conversion conversion, const char* value_name)
{
    return CLI::Validator(
        [conversion](std::string& text) {
            std::string error;
            conversion(text, error);
            return error;
        },
        value_name);
}

// The texts of the options as given, before conversion.
struct OptionTexts {
    std::string catalogue;
    std::string time;
    std::string observer;
    std::string site;
    std::vector<std::string> centre;
    std::string side;
    std::string mag_limit;
    std::string format;
    std::string fields;
    std::string threads;
    std::string catalogue_format;
    std::string theory;
    std::string leap_seconds;
    std::string ut1_utc;
    std::vector<std::string> images;
    std::string exposure;
    std::string regions;
    std::string chart;
    bool sunlit_only = false;
    std::string standard_magnitudes;
    std::string propagation;
    std::string observations;
    std::string observatory_codes;
    std::string radius;
    std::string motion_tolerance;
    std::string max_candidates;
    std::string identified;
    std::string written_catalogue;
    std::string epoch;
};

// What each option needs, said when its value is missing.
struct OptionNeed {
    const char* option;
    const char* need;
};
constexpr OptionNeed OPTION_NEEDS[] = {
    {"--catalogue", "needs the path of a catalogue file"},
    {"--time", "needs a UTC instant such as 2008-05-20T05:14:00"},
    {"--observer", "needs X,Y,Z in km"},
    {"--site", "needs LAT,LON[,HEIGHT] in degrees and metres"},
    {"--centre", "needs two values, RA DEC (11:28:00.0 +01:16:00 or 172.0 1.2667)"},
    {"--side", "needs the full side of the square in arcminutes"},
    {"--mag-limit", "needs a magnitude"},
    {"--format", "needs text, csv or json"},
    {"--fields", "needs the path of a CSV file of fields"},
    {"--threads", "needs a number of threads"},
    {"--catalogue-format", "needs the name of a catalogue layout"},
    {"--theory", "needs the name of an orbit theory"},
    {"--propagation", "needs two-body or n-body"},
    {"--leap-seconds", "needs the path of a leap-seconds.list file"},
    {"--ut1-utc", "needs UT1 - UTC in seconds"},
    {"--image", "needs the path of a FITS image"},
    {"--exposure", "needs the exposure's length in seconds"},
    {"--regions", "needs the path of the region file to write"},
    {"--chart", "needs the path of the SVG chart to write"},
    {"--standard-magnitudes", "needs the path of a file of standard magnitudes"},
    {"--observations", "needs the path of a file of observations"},
    {"--observatory-codes", "needs the path of the observatory codes' list"},
    {"--radius", "needs a radius in arcseconds"},
    {"--motion-tolerance", "needs a rate"},
    {"--max-candidates", "needs a number of candidates"},
    {"--write-identified", "needs the path of the observations to write"},
    {"--write-catalogue", "needs the path of the catalogue to write"},
    {"--epoch", "needs a date such as 2009-05-20"},
};

// The help's option column: the name and the form of its value.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override
    {
        return option->get_type_name().empty() ? std::string() : " " + option->get_type_name();
    }
};

// Every option of the program, bound to `texts`: the one definition both
// the parser and the help text come from.
void define_options(CLI::App& app, const ProgramInfo& program, OptionTexts& texts, bool& help, bool& version)
{
    const std::string catalogue = program.default_catalogue;
    app.set_help_flag();
    app.formatter(std::make_shared<HelpFormatter>());
    app.get_formatter()->column_width(30);
    app.add_option("--catalogue,--catalog", texts.catalogue,
                   "the catalogue to read (default: " + catalogue + ")\ne.g. --catalogue data/" + catalogue)
        ->type_name("PATH")
        ->check(checked_by(path_from_text, ""));
    app.add_option("--time", texts.time,
                   "the instant, YYYY-MM-DDTHH:MM:SS[.sss], a trailing Z allowed\ne.g. --time 2008-05-20T21:30:00Z")
        ->type_name("UTC")
        ->check(checked_by(instant_option_from_text, ""));
    app.add_option("--observer", texts.observer,
                   "geocentric Earth-fixed position of the observer in km,\n"
                   "within 1e6 km of the Earth's centre\n"
                   "e.g. --observer 3395.0303,3128.7911,4388.8511")
        ->type_name("X,Y,Z")
        ->check(checked_by(observer_from_text, ""));
    app.add_option("--site", texts.site,
                   "geodetic latitude and east longitude in degrees, height in metres\n"
                   "above the WGS84 ellipsoid (instead of --observer), or a station's observatory code\n"
                   "e.g. --site 43.7417,42.6630,2094 or --site 568")
        ->type_name("LAT,LON[,H]")
        ->check(checked_by(site_from_text, ""));
    app.add_option("--centre,--center", texts.centre,
                   "the centre of the field, sexagesimal (RA in hours, DEC in degrees)\n"
                   "or both in decimal degrees\n"
                   "e.g. --centre 11:28:00.0 +01:16:00   or   --centre 172.0 1.2667")
        ->type_name("RA DEC")
        ->expected(2);
    app.add_option("--side", texts.side, "the full side of the square in arcminutes\ne.g. --side 90")
        ->type_name("ARCMIN")
        ->check(checked_by(side_from_text, ""));
    if (program.has_magnitude_limit) {
        app.add_option("--mag-limit", texts.mag_limit, "list only asteroids not fainter than V\ne.g. --mag-limit 18.5")
            ->type_name("V")
            ->check(checked_by(magnitude_from_text, ""));
    }
    app.add_option("--format", texts.format,
                   "text: the report; csv: a header line and one line per object; json: one document with\n"
                   "the scenario and the rows under the CSV's column names\ne.g. --format csv")
        ->type_name("text|csv|json")
        ->check(checked_by(format_from_text, ""));
    app.add_option("--fields", texts.fields,
                   "search every field of a CSV file in one pass over the catalogue: a header line naming the\n"
                   "columns id, time, ra_deg, dec_deg, side_arcmin (any order; others ignored), then one field\n"
                   "per line; each field's rows as a run on that field prints them\ne.g. --fields night.csv")
        ->type_name("PATH")
        ->check(checked_by(path_from_text, ""));
    app.add_option("--threads", texts.threads,
                   "threads evaluating the catalogue (default: one per hardware thread); the output is the\n"
                   "same for every number\ne.g. --threads 2")
        ->type_name("N")
        ->check(checked_by(threads_from_text, ""));
    app.add_option("--image", texts.images,
                   "search the frame of a FITS image: the part on the sky of its WCS footprint (widened by 5 %\n"
                   "on each side; ICRS, FK5 J2000 or FK4 B1950), its exposure (DATE-BEG, DATE-OBS, MJD-OBS,\n"
                   "EXPTIME, ...) and its site (OBSGEO-*, SITELAT/SITELONG) unless options say otherwise; may\n"
                   "be given more than once; PATH may name an HDU (frame.fits[1])\n"
                   "e.g. --image data/" + std::string(program.has_magnitude_limit ? "astfield" : "satfield") +
                       "-frame.fits")
        ->type_name("PATH")
        ->check(checked_by(path_from_text, ""));
    app.add_option("--exposure", texts.exposure,
                   "search the whole exposure from the instant on: an object is listed when it is in the\n"
                   "field at any instant of it; rows show mid-exposure (with an image: its header's length)\n"
                   "e.g. --exposure 60")
        ->type_name("SECONDS")
        ->check(checked_by(exposure_from_text, ""));
    app.add_option("--regions", texts.regions,
                   "also write a region file of the field and its objects, in the image's system (icrs, fk5 or\n"
                   "fk4; fk5 for a square)\ne.g. --regions field.reg")
        ->type_name("PATH")
        ->check(checked_by(path_from_text, ""));
    app.add_option("--chart", texts.chart,
                   "also write a finder chart of the field, SVG, north up and east left\ne.g. --chart field.svg")
        ->type_name("PATH.svg")
        ->check(checked_by(chart_path_from_text, ""));
    app.add_option("--leap-seconds", texts.leap_seconds,
                   "the leap-second table, in the IERS/NTP leap-seconds.list format (default: the system's\n"
                   "list when it is newer than the compiled-in table, which runs through 2017)\n"
                   "e.g. --leap-seconds /usr/share/zoneinfo/leap-seconds.list")
        ->type_name("PATH")
        ->check(checked_by(path_from_text, ""));
    app.add_option("--ut1-utc", texts.ut1_utc,
                   "UT1 - UTC in seconds, for the Earth's rotation (default 0)\ne.g. --ut1-utc -0.12")
        ->type_name("SECONDS")
        ->check(checked_by(ut1_utc_from_text, ""));
    if (program.catalogue_formats != nullptr) {
        app.add_option("--catalogue-format", texts.catalogue_format,
                       std::string("read the catalogue in this layout instead of telling it from its records\n"
                                   "e.g. --catalogue-format mpcorb"))
            ->type_name(program.catalogue_formats)
            ->check(one_of(program.catalogue_formats));
    }
    if (program.theories != nullptr) {
        app.add_option("--theory", texts.theory,
                       "the orbit theory: vinti (the default), sgp4, or both (listed when either places the\n"
                       "object in the field; rows show Vinti's place, CSV adds SGP4's and their difference)\n"
                       "e.g. --theory sgp4")
            ->type_name(program.theories)
            ->check(one_of(program.theories));
    }
    if (program.propagations != nullptr) {
        app.add_option("--propagation", texts.propagation,
                       "how the orbits are carried from their epochs to the instant: two-body (the default,\n"
                       "unperturbed) or n-body (integrated under the Sun with its relativistic term, the eight\n"
                       "planets and the Moon; the Earth from ERFA; comets without non-gravitational terms)\n"
                       "e.g. --propagation n-body")
            ->type_name(program.propagations)
            ->check(one_of(program.propagations));
    }
    if (program.has_sunlight_options) {
        app.add_flag("--sunlit-only", texts.sunlit_only,
                     "list only the satellites lit by the Sun (sunlit or in the penumbra) at the rows' instant;\n"
                     "over an exposure those lit while in the field, t_in_s and t_out_s bounding the lit part");
        app.add_option("--standard-magnitudes", texts.standard_magnitudes,
                       "standard magnitudes (at 1,000 km and 90 deg phase) for v_mag_estimate: a catalogue number\n"
                       "and a magnitude a line, '#' comments; before an OMM record's USER_DEFINED_STD_MAG\n"
                       "e.g. --standard-magnitudes stdmag.txt")
            ->type_name("PATH")
            ->check(checked_by(path_from_text, ""));
    }
    if (program.motion_unit != nullptr) {
        app.add_option("--observations", texts.observations,
                       "name the detections of a night instead of searching a field: observations in the\n"
                       "80-column format, ADES PSV or ADES XML; each tracklet gets its candidates\n"
                       "e.g. --observations night.obs")
            ->type_name("PATH")
            ->check(checked_by(path_from_text, ""));
        app.add_option("--observatory-codes", texts.observatory_codes,
                       "the observatory codes' list (the HTML page) the stations are read from\n(default: " +
                           default_observatory_codes_path() + ")\ne.g. --observatory-codes ObsCodes.html")
            ->type_name("PATH")
            ->check(checked_by(path_from_text, ""));
        app.add_option("--radius", texts.radius,
                       formatted("a candidate's predicted place lies within this of every observation of the\n"
                                 "tracklet (default %g arcsec)\ne.g. --radius 15",
                                 program.identification_radius_arcsec))
            ->type_name("ARCSEC")
            ->check(checked_by(positive_from_text, ""));
        app.add_option("--motion-tolerance", texts.motion_tolerance,
                       formatted("and its predicted motion differs from the fitted one by at most this\n"
                                 "(default %g %s)\ne.g. --motion-tolerance 5",
                                 program.motion_tolerance, program.motion_unit))
            ->type_name("RATE")
            ->check(checked_by(positive_from_text, ""));
        app.add_option("--max-candidates", texts.max_candidates,
                       "list at most this many candidates of a tracklet (default 5)\ne.g. --max-candidates 3")
            ->type_name("N")
            ->check(checked_by(count_from_text, ""));
        if (program.writes_identified) {
            app.add_option("--write-identified", texts.identified,
                           "write the observations again, in their own format, each of a tracklet with one\n"
                           "candidate carrying its designation\ne.g. --write-identified named.obs")
                ->type_name("PATH")
                ->check(checked_by(path_from_text, ""));
        }
    }
    if (program.writes_catalogue) {
        // Run apart from the search (before this parser sees them); here for
        // the help, and to refuse an epoch given alone.
        app.add_option("--write-catalogue", texts.written_catalogue,
                       "instead of searching, write the whole catalogue again in its own layout with every\n"
                       "orbit integrated to --epoch (gzip when PATH ends in .gz); takes only --catalogue,\n"
                       "--catalogue-format and --threads besides\n"
                       "e.g. --catalogue astorb.dat --write-catalogue astorb-2009.dat --epoch 2009-05-20")
            ->type_name("PATH");
        app.add_option("--epoch", texts.epoch,
                       "the new epoch of --write-catalogue, YYYY-MM-DD (0h TT; 1900-01-01 to 2099-12-31)\n"
                       "e.g. --epoch 2009-05-20")
            ->type_name("DATE");
    }
    app.add_flag("-h,--help", help, "show this help and exit");
    app.add_flag("--version", version, "show the version and exit");
    for (CLI::Option* option : app.get_options()) {
        if (option->get_name() != "--image") {
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        }
    }
    app.footer(
        "Exit status: 0 after a search (damaged records are reported one line each, counted and not\n"
        "evaluated). 1 when the catalogue (a .gz one corrupt or cut short among them), an image, a list of\n"
        "fields, a leap-second list (malformed, a step not one second after the one before, a #h hash that\n"
        "does not match) or a file of standard magnitudes cannot be opened or read, the catalogue is of no\n"
        "layout the program reads, a region file, chart or the results cannot be written, or on an internal\n"
        "error; nothing is printed then. 2 for a bad option (an observer beyond 1e6 km of the Earth's centre\n"
        "among them), an image header that describes no frame (no site, no instant, a WCS that cannot be\n"
        "inverted) or a list of fields or of standard magnitudes with a bad line. Each failure is one line on\n"
        "standard error naming the option or the file (and its line) and the reason.");
}

// Our one-line message for what CLI11 refused: "OPTION: what is wrong".
std::string refusal_message(const CLI::ParseError& error)
{
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        return what;
    }
    // The option whose value is missing or miscounted: the one the message names.
    for (const OptionNeed& need : OPTION_NEEDS) {
        const std::string name = need.option;
        const std::size_t at = what.find(name);
        if (at != std::string::npos && (at + name.size() == what.size() || what[at + name.size()] == ':' ||
                                        what[at + name.size()] == ',' || what[at + name.size()] == ' ')) {
            return name + ": " + need.need;
        }
    }
    return what;
}

// True when the program has the option and it was given.
bool given_option(const CLI::App& app, const char* name)
{
    const CLI::Option* option = app.get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

}  // namespace

CommandLineResult parse_command_line(const std::vector<std::string_view>& arguments, const ProgramInfo& program)
{
    CLI::App app;
    OptionTexts texts;
    bool help = false;
    bool version = false;
    define_options(app, program, texts, help, version);
    app.allow_extras();

    std::vector<std::string> given(arguments.begin(), arguments.end());
    // Forms CLI11 would take but that say something else: a flag with a
    // value, the two values of the centre after '='.
    for (const std::string& argument : given) {
        for (const char* flag : {"--help=", "--version=", "-h=", "--sunlit-only="}) {
            if (argument.rfind(flag, 0) == 0) {
                return {false, {}, argument.substr(0, argument.find('=')) + ": takes no value"};
            }
        }
        if (argument.rfind("--centre=", 0) == 0 || argument.rfind("--center=", 0) == 0) {
            return {false, {}, argument.substr(0, argument.find('=')) + ": takes two values: --centre RA DEC"};
        }
    }
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        return {false, {}, refusal_message(error)};
    }
    // What CLI11 did not take: an unknown option or a stray argument.
    if (const std::vector<std::string> extras = app.remaining(); !extras.empty()) {
        const std::string& first = extras.front();
        const std::string option = first.substr(0, first.find('='));
        if (option == "--mag-limit") {
            return {false, {}, option + ": only the asteroid program has a magnitude limit"};
        }
        if (option == "--sunlit-only" || option == "--standard-magnitudes") {
            return {false, {}, option + ": only the satellite program lists objects by the Sun's light"};
        }
        if (option == "--propagation") {
            return {false, {}, option + ": only the asteroid program integrates orbits"};
        }
        return {false, {}, first.rfind('-', 0) == 0 ? option + ": unknown option"
                                                    : first + ": unexpected argument (options start with --)"};
    }

    CommandLine line;
    line.show_help = help;
    line.show_version = version;
    std::string error;
    if (given_option(app, "--catalogue")) {
        line.catalogue_path = texts.catalogue;
    }
    if (given_option(app, "--time")) {
        line.instant = instant_option_from_text(texts.time, error);
    }
    if (given_option(app, "--observer")) {
        line.observer_earth_fixed = observer_from_text(texts.observer, error);
    }
    if (given_option(app, "--site")) {
        if (given_option(app, "--observer")) {
            return {false, {}, "--site: cannot be combined with --observer: give the observer one way"};
        }
        line.observer_earth_fixed = site_from_text(texts.site, error);
        if (is_station_code(texts.site)) {
            line.site_code = texts.site;
        }
    }
    if (given_option(app, "--centre")) {
        // The last two values given.
        const std::size_t n = texts.centre.size();
        if (n < 2) {
            return {false, {}, std::string("--centre: ") + OPTION_NEEDS[4].need};
        }
        line.centre = centre_from_texts(texts.centre[n - 2], texts.centre[n - 1], error);
        if (!line.centre) {
            return {false, {}, "--centre: " + error};
        }
    }
    if (given_option(app, "--side")) {
        line.side_arcmin = side_from_text(texts.side, error);
    }
    if (given_option(app, "--mag-limit")) {
        line.mag_limit = magnitude_from_text(texts.mag_limit, error);
    }
    if (given_option(app, "--format")) {
        line.format = *format_from_text(texts.format, error);
    }
    if (given_option(app, "--fields")) {
        for (const char* option : {"--time", "--centre", "--side"}) {
            if (given_option(app, option)) {
                return {false, {}, std::string("--fields: cannot be combined with ") + option +
                                       ": the list gives each field its instant, centre and side"};
            }
        }
        line.fields_path = texts.fields;
    }
    if (given_option(app, "--threads")) {
        line.threads = threads_from_text(texts.threads, error);
    }
    if (given_option(app, "--catalogue-format")) {
        line.catalogue_format = texts.catalogue_format;
    }
    if (given_option(app, "--theory")) {
        line.theory = texts.theory;
    }
    if (given_option(app, "--image")) {
        for (const char* option : {"--centre", "--side", "--fields"}) {
            if (given_option(app, option)) {
                return {false, {}, std::string("--image: cannot be combined with ") + option +
                                       ": the image's footprint is the field"};
            }
        }
        line.images = texts.images;
    }
    if (given_option(app, "--exposure")) {
        line.exposure_s = exposure_from_text(texts.exposure, error);
    }
    for (const auto& [option, path, text] :
         {std::tuple<const char*, std::optional<std::string>*, const std::string*>{"--regions", &line.regions_path,
                                                                                  &texts.regions},
          {"--chart", &line.chart_path, &texts.chart}}) {
        if (given_option(app, option)) {
            if (given_option(app, "--fields") || texts.images.size() > 1) {
                return {false, {}, std::string(option) + ": draws one field: not with a list of fields or images"};
            }
            *path = *text;
        }
    }
    if (given_option(app, "--leap-seconds")) {
        line.leap_seconds_path = texts.leap_seconds;
    }
    if (given_option(app, "--ut1-utc")) {
        line.ut1_minus_utc_seconds = ut1_utc_from_text(texts.ut1_utc, error);
    }
    line.sunlit_only = texts.sunlit_only;
    if (given_option(app, "--propagation")) {
        line.propagation = texts.propagation;
    }
    if (given_option(app, "--standard-magnitudes")) {
        line.standard_magnitudes_path = texts.standard_magnitudes;
    }
    if (given_option(app, "--observations")) {
        for (const char* option : {"--centre", "--side", "--fields", "--image", "--exposure", "--regions", "--chart"}) {
            if (given_option(app, option)) {
                return {false, {}, std::string("--observations: cannot be combined with ") + option +
                                       ": each observation is its own field"};
            }
        }
        line.observations_path = texts.observations;
    }
    // The observatory codes' list also places a site given by its code.
    if (given_option(app, "--observatory-codes") && !line.observations_path && !line.site_code) {
        return {false, {}, "--observatory-codes: names the stations of observations or of a site: give "
                           "--observations or --site CODE"};
    }
    for (const char* option : {"--write-catalogue", "--epoch"}) {
        if (given_option(app, option)) {
            return {false, {}, std::string(option) + ": writes a catalogue at a new epoch: give --catalogue IN "
                                                     "--write-catalogue OUT --epoch YYYY-MM-DD"};
        }
    }
    for (const char* option : {"--radius", "--motion-tolerance", "--max-candidates", "--write-identified"}) {
        if (given_option(app, option) && !line.observations_path) {
            return {false, {}, std::string(option) + ": names observations: give --observations"};
        }
    }
    if (given_option(app, "--observatory-codes")) {
        line.observatory_codes_path = texts.observatory_codes;
    }
    if (given_option(app, "--radius")) {
        line.radius_arcsec = positive_from_text(texts.radius, error);
    }
    if (given_option(app, "--motion-tolerance")) {
        line.motion_tolerance = positive_from_text(texts.motion_tolerance, error);
    }
    if (given_option(app, "--max-candidates")) {
        line.max_candidates = count_from_text(texts.max_candidates, error);
    }
    if (given_option(app, "--write-identified")) {
        line.identified_path = texts.identified;
    }
    if (line.observations_path) {
        line.radius_arcsec = line.radius_arcsec.value_or(program.identification_radius_arcsec);
        line.motion_tolerance = line.motion_tolerance.value_or(program.motion_tolerance);
        line.max_candidates = line.max_candidates.value_or(5);
    }
    return {true, line, {}};
}

Scenario scenario_with_options(const Scenario& compiled_in, const CommandLine& line)
{
    Scenario scenario = compiled_in;
    if (line.instant) {
        scenario.instant = *line.instant;
    }
    if (line.observer_earth_fixed) {
        scenario.observer_earth_fixed = *line.observer_earth_fixed;
    }
    if (line.centre) {
        scenario.centre = *line.centre;
    }
    if (line.side_arcmin) {
        scenario.half_side_arcmin = *line.side_arcmin / 2.0;
    }
    if (line.mag_limit) {
        scenario.mag_limit = *line.mag_limit;
    }
    return scenario;
}

std::string usage_hint(const ProgramInfo& program)
{
    return std::string("Try '") + program.name + " --help' for more information.\n";
}

std::string version_text(const ProgramInfo& program)
{
    return std::string(program.name) + " " + VERSION + "\n";
}

std::string usage_text(const ProgramInfo& program)
{
    CLI::App app(program.has_magnitude_limit
                     ? "List the asteroids and comets of an orbit catalogue that lie in a field of sky (a square, or\n"
                       "the footprint of a FITS image) at an instant or during an exposure.\n"
                       "Without options the compiled-in scenario is searched in the catalogue \"" +
                           std::string(program.default_catalogue) +
                           "\" of the working directory.\nEach option replaces one part of that scenario."
                     : "List the artificial satellites of an element-set catalogue that lie in a field of sky (a\n"
                       "square, or the footprint of a FITS image) at an instant or during an exposure.\nWithout options the compiled-in scenario is searched in the catalogue \"" +
                           std::string(program.default_catalogue) +
                           "\" of the working directory.\nEach option replaces one part of that scenario.",
                 program.name);
    OptionTexts texts;
    bool help = false;
    bool version = false;
    define_options(app, program, texts, help, version);
    return app.help();
}

namespace {

std::optional<std::string> file_text(const std::string& path, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::string("cannot open ") + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char block[65536];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) {
        text.append(block, n);
    }
    const bool failed = std::ferror(file) != 0;
    const int read_errno = errno;
    std::fclose(file);
    if (failed) {
        error = std::string("cannot read ") + path + ": " + std::strerror(read_errno);
        return std::nullopt;
    }
    return text;
}

}  // namespace

namespace {

// Adds the field of the image at `path` to the plan: its footprint, its
// instant unless the scenario's was given, its exposure unless `exposure`
// says otherwise, its site unless one was given. False, with the error and
// status in `result`, when the image cannot be read or describes no frame.
bool add_image_field(PlanResult& result, const Scenario& base, const std::string& path, bool instant_given,
                     bool site_given, std::optional<double> exposure, const std::string& id)
{
    const ImageFrameResult read = image_frame_from_file(path, base.leap_seconds);
    if (!read.frame) {
        result.status = read.exit_status == 0 ? 2 : read.exit_status;
        result.error = read.error;
        return false;
    }
    auto frame = std::make_shared<const ImageFrame>(*read.frame);
    Scenario scenario = base;
    double start = 0.0;
    std::optional<double> mid;
    if (instant_given) {
        start = mjd_from_calendar_instant(scenario.instant);
    } else if (frame->exposure) {
        start = frame->exposure->start_utc_mjd;
        if (!exposure) {
            mid = frame->exposure->mid_utc_mjd;
        }
    } else {
        result.status = 2;
        result.error = path + ": " + frame->no_instant + ": give --time";
        return false;
    }
    const double length = exposure.value_or(frame->exposure ? frame->exposure->length_seconds : 0.0);
    if (!site_given) {
        if (!frame->site_earth_fixed_km) {
            result.status = 2;
            result.error = path + ": the header gives no site (OBSGEO-X/Y/Z, OBSGEO-B/L/H or SITELAT, SITELONG and "
                                  "SITEELEV): give --site or --observer";
            return false;
        }
        scenario.observer_earth_fixed = *frame->site_earth_fixed_km;
    }
    const std::optional<SkyPoint> centre = frame_centre(*frame);
    const std::optional<FrameSize> size = frame_size(*frame);
    if (!centre || !size) {
        result.status = 2;
        result.error = path + ": the WCS cannot place the image's centre or corners on the sky";
        return false;
    }
    scenario.centre = field_centre_from_degrees(centre->ra_deg, centre->dec_deg);
    scenario.half_side_arcmin = 0.5 * std::max(size->width_arcmin, size->height_arcmin);
    FieldSearch field = field_search(scenario, length);
    field.start_utc_mjd = start;
    field.mid_utc_mjd = mid;
    field.id = id;
    field.image = path;
    field.frame = std::move(frame);
    result.plan.fields.push_back(std::move(field));
    return true;
}

}  // namespace

std::string default_observatory_codes_path()
{
    std::FILE* installed = std::fopen(FIELDSEARCH_INSTALLED_OBSCODES, "rb");
    if (installed != nullptr) {
        std::fclose(installed);
        return FIELDSEARCH_INSTALLED_OBSCODES;
    }
    return FIELDSEARCH_BUNDLED_OBSCODES;
}

PlanResult plan_from_command_line(const CommandLine& line, const Scenario& compiled_in)
{
    PlanResult result;
    Scenario base = scenario_with_options(compiled_in, line);
    const std::string codes_path = line.observatory_codes_path.value_or(default_observatory_codes_path());
    if (line.site_code) {
        std::string error;
        const std::optional<std::string> text = file_text(codes_path, error);
        if (!text) {
            result.status = 1;
            result.error = "--site: " + error;
            return result;
        }
        const ObservatoryCodesResult codes = observatory_codes_from_html(*text);
        const ObservatoryCode* station =
            codes.error.empty() ? find_observatory_code(codes.stations, *line.site_code) : nullptr;
        if (station == nullptr || !station->has_coordinates) {
            result.status = 2;
            result.error = "--site: " + *line.site_code + ": " +
                           (codes.error.empty() ? "no station with coordinates of that code in " + codes_path
                                                : codes_path + ": " + codes.error);
            return result;
        }
        base.observer_earth_fixed = observatory_earth_fixed_km(*station);
    }
    if (line.observations_path) {
        ObservationRun run;
        run.observations_path = *line.observations_path;
        run.observatory_codes_path = codes_path;
        run.radius_arcsec = line.radius_arcsec.value_or(0.0);
        run.motion_tolerance = line.motion_tolerance.value_or(0.0);
        run.max_candidates = line.max_candidates.value_or(0);
        run.identified_path = line.identified_path.value_or(std::string());
        result.plan.observations = run;
    }
    const LeapSecondTableLoad leap_seconds = leap_second_table_for_run(line.leap_seconds_path);
    if (!leap_seconds.table) {
        result.status = 1;
        result.error = "--leap-seconds: " + leap_seconds.error;
        return result;
    }
    base.leap_seconds = *leap_seconds.table;
    base.ut1_minus_utc_seconds = line.ut1_minus_utc_seconds.value_or(0.0);
    result.plan.threads = line.threads.value_or(default_thread_count());
    result.plan.theory = line.theory.value_or(std::string());
    result.plan.sunlit_only = line.sunlit_only;
    if (line.propagation == std::string("n-body")) {
        result.plan.propagation = Propagation::n_body;
    }
    if (line.standard_magnitudes_path) {
        std::string error;
        const std::optional<std::string> text = file_text(*line.standard_magnitudes_path, error);
        if (!text) {
            result.status = 1;
            result.error = "--standard-magnitudes: " + error;
            return result;
        }
        StandardMagnitudesResult read = standard_magnitudes_from_text(*text);
        if (!read.magnitudes) {
            result.status = 2;
            result.error = "--standard-magnitudes: " + *line.standard_magnitudes_path + ": line " +
                           std::to_string(read.line) + ": " + read.error;
            return result;
        }
        result.plan.standard_magnitudes = std::move(*read.magnitudes);
    }
    const bool site_given = line.observer_earth_fixed.has_value();
    if (!line.images.empty()) {
        for (const std::string& image : line.images) {
            if (!add_image_field(result, base, image, line.instant.has_value(), site_given, line.exposure_s, image)) {
                return result;
            }
        }
        return result;
    }
    if (!line.fields_path) {
        result.plan.fields.push_back(field_search(base, line.exposure_s.value_or(0.0)));
        return result;
    }
    std::string error;
    const std::optional<std::string> text = file_text(*line.fields_path, error);
    if (!text) {
        result.status = 1;
        result.error = error;
        return result;
    }
    const FieldListResult list = field_list_from_text(*text);
    if (!list.error.empty()) {
        result.status = 2;
        result.error = "--fields: " + *line.fields_path + ": " + list.error;
        return result;
    }
    result.plan.listed = true;
    for (const FieldListRow& row : list.rows) {
        const std::optional<double> exposure = row.exposure_s ? row.exposure_s : line.exposure_s;
        if (!row.image.empty()) {
            Scenario scenario = base;
            if (row.time) {
                scenario.instant = *row.time;
            }
            const std::string where = *line.fields_path + ": line " + std::to_string(row.line) + ": ";
            if (!add_image_field(result, scenario, row.image, row.time.has_value(), site_given, exposure, row.id)) {
                result.error = "--fields: " + where + result.error;
                return result;
            }
            continue;
        }
        Scenario scenario = base;
        scenario.instant = *row.time;
        scenario.centre = field_centre_from_degrees(*row.ra_deg, *row.dec_deg);
        scenario.half_side_arcmin = *row.side_arcmin / 2.0;
        FieldSearch field = field_search(scenario, exposure.value_or(0.0));
        field.id = row.id;
        result.plan.fields.push_back(std::move(field));
    }
    return result;
}

namespace {

int run_command_line_unguarded(int argc, const char* const* argv, const ProgramInfo& program,
                               const Scenario& compiled_in, PlanSearchFunction search)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const CommandLineResult parsed = parse_command_line(arguments, program);
    if (!parsed.ok) {
        std::fprintf(stderr, "%s: %s\n%s", program.name, parsed.error.c_str(), usage_hint(program).c_str());
        return 2;
    }
    const CommandLine& line = parsed.command_line;
    if (line.show_help) {
        std::fputs(usage_text(program).c_str(), stdout);
        return 0;
    }
    if (line.show_version) {
        std::fputs(version_text(program).c_str(), stdout);
        return 0;
    }
    const PlanResult planned = plan_from_command_line(line, compiled_in);
    if (planned.status != 0) {
        // One line: the file and what is wrong with it.
        std::fprintf(stderr, "%s: %s\n", program.name, planned.error.c_str());
        return planned.status;
    }
    // One warning for the instants past the leap-second table's expiry.
    for (const FieldSearch& field : planned.plan.fields) {
        const double end = field.start_utc_mjd + field.exposure_s / 86400.0;
        if (const auto warning = leap_second_expiry_warning(end, field.leap_seconds)) {
            std::fprintf(stderr, "%s: %s\n", program.name, warning->c_str());
            break;
        }
    }
    const std::string path = line.catalogue_path.value_or(program.default_catalogue);
    const SearchOutput output{path.c_str(),
                              line.format,
                              stdout,
                              stderr,
                              line.catalogue_format ? line.catalogue_format->c_str() : nullptr,
                              line.regions_path ? line.regions_path->c_str() : nullptr,
                              line.chart_path ? line.chart_path->c_str() : nullptr};
    return search(planned.plan, output);
}

}  // namespace

int run_command_line(int argc, const char* const* argv, const ProgramInfo& program, const Scenario& compiled_in,
                     PlanSearchFunction search)
{
    // Whatever escapes the run ends it with one line and status 1, never an
    // abort.
    try {
        return run_command_line_unguarded(argc, argv, program, compiled_in, search);
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: internal error: %s\n", program.name, failure.what());
    } catch (...) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: internal error: an unknown exception\n", program.name);
    }
    return 1;
}

}  // namespace fieldsearch
