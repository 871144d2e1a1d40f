#include "command_line.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "geodetic_site.hpp"

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

// A whole decimal number filling all of `text`, optionally signed; empty
// when anything else is there or the value is not finite.
std::optional<double> number_from_text(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Exactly `digits` decimal digits.
std::optional<int> digits_from_text(std::string_view text, std::size_t digits)
{
    if (text.size() != digits) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = 10 * value + (c - '0');
    }
    return value;
}

// One or more decimal digits, at most 3.
std::optional<int> small_integer_from_text(std::string_view text)
{
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    return digits_from_text(text, text.size());
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

bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month)
{
    constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : DAYS[month - 1];
}

// Whole units and minutes of a sexagesimal value "U:MM[:SS.sss]" (no sign).
struct SexagesimalText {
    int whole;
    int minutes;
    double seconds;
};

std::optional<SexagesimalText> sexagesimal_from_text(std::string_view text)
{
    const std::vector<std::string_view> parts = split(text, ':');
    if (parts.size() < 2 || parts.size() > 3) {
        return std::nullopt;
    }
    const std::optional<int> whole = small_integer_from_text(parts[0]);
    const std::optional<int> minutes = small_integer_from_text(parts[1]);
    std::optional<double> seconds = 0.0;
    if (parts.size() == 3) {
        seconds = parts[2].empty() || parts[2].front() == '-' || parts[2].front() == '+' ? std::nullopt
                                                                                           : number_from_text(parts[2]);
    }
    if (!whole || !minutes || *minutes > 59 || !seconds || *seconds < 0.0 || *seconds >= 60.0) {
        return std::nullopt;
    }
    return SexagesimalText{*whole, *minutes, *seconds};
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
    const std::optional<SexagesimalText> ra = sexagesimal_from_text(ra_text);
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
    const std::optional<SexagesimalText> dec = sexagesimal_from_text(unsigned_dec);
    if (!dec || dec->whole > 90 || (dec->whole == 90 && (dec->minutes > 0 || dec->seconds > 0.0))) {
        error = joined({"declination '", dec_text, "' is not [+-]DD:MM:SS.s within 90 degrees"});
        return std::nullopt;
    }
    return field_centre_from_sexagesimal(ra->whole, ra->minutes, ra->seconds, negative, dec->whole, dec->minutes,
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

CommandLineResult refused(std::string_view option, const std::string& what)
{
    return {false, {}, std::string(option) + ": " + what};
}

}  // namespace

std::optional<CalendarInstant> instant_from_text(std::string_view text)
{
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        text.remove_suffix(1);
    }
    // YYYY-MM-DDTHH:MM:SS, then an optional fraction of the second.
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const std::optional<int> year = digits_from_text(text.substr(0, 4), 4);
    const std::optional<int> month = digits_from_text(text.substr(5, 2), 2);
    const std::optional<int> day = digits_from_text(text.substr(8, 2), 2);
    const std::optional<int> hour = digits_from_text(text.substr(11, 2), 2);
    const std::optional<int> minute = digits_from_text(text.substr(14, 2), 2);
    const std::string_view second_text = text.substr(17);
    if (second_text.size() > 2 && second_text[2] != '.') {
        return std::nullopt;
    }
    if (!digits_from_text(second_text.substr(0, 2), 2) || second_text.size() == 3) {
        return std::nullopt;
    }
    const std::optional<double> second = number_from_text(second_text);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    if (*year < 1900 || *year > 2099 || *month < 1 || *month > 12 || *day < 1 || *day > days_in_month(*year, *month) ||
        *hour > 23 || *minute > 59 || *second >= 60.0) {
        return std::nullopt;
    }
    return CalendarInstant{*year, *month, *day, *hour, *minute, *second};
}

CommandLineResult parse_command_line(const std::vector<std::string_view>& arguments, const ProgramInfo& program)
{
    CommandLine line;
    bool observer_given = false;
    bool site_given = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view option = arguments[i];
        std::optional<std::string_view> inline_value;
        if (option.rfind("--", 0) == 0) {
            if (const std::size_t equals = option.find('='); equals != std::string_view::npos) {
                inline_value = option.substr(equals + 1);
                option = option.substr(0, equals);
            }
        }
        // The option's value: written after '=' or as the next argument.
        auto value = [&](std::string_view& out) {
            if (inline_value) {
                out = *inline_value;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                return false;
            }
            out = arguments[++i];
            return true;
        };
        std::string_view text;
        if (option == "--help" || option == "-h") {
            line.show_help = true;
        } else if (option == "--version") {
            line.show_version = true;
        } else if (option == "--catalogue" || option == "--catalog") {
            if (!value(text) || text.empty()) {
                return refused(option, "needs the path of a catalogue file");
            }
            line.catalogue_path = std::string(text);
        } else if (option == "--time") {
            if (!value(text)) {
                return refused(option, "needs a UTC instant such as 2008-05-20T05:14:00");
            }
            line.instant = instant_from_text(text);
            if (!line.instant) {
                return refused(option, joined({"'", text, "' is not an existing date and time YYYY-MM-DDTHH:MM:SS[.sss] between the "
                                           "years 1900 and 2099"}));
            }
        } else if (option == "--observer") {
            if (!value(text)) {
                return refused(option, "needs X,Y,Z in km");
            }
            const auto xyz = numbers_from_list(text, 3, 3);
            if (!xyz) {
                return refused(option, joined({"'", text, "' is not three numbers X,Y,Z in km"}));
            }
            Vector3 v;
            v(1) = (*xyz)[0];
            v(2) = (*xyz)[1];
            v(3) = (*xyz)[2];
            line.observer_earth_fixed = v;
            observer_given = true;
        } else if (option == "--site") {
            if (!value(text)) {
                return refused(option, "needs LAT,LON[,HEIGHT] in degrees and metres");
            }
            const auto site = numbers_from_list(text, 2, 3);
            if (!site) {
                return refused(option, joined({"'", text, "' is not LAT,LON[,HEIGHT] in degrees and metres"}));
            }
            const double lat = (*site)[0];
            const double lon = (*site)[1];
            const double height = site->size() == 3 ? (*site)[2] : 0.0;
            if (std::fabs(lat) > 90.0) {
                return refused(option, joined({"latitude ", split(text, ',')[0], " is beyond +-90 degrees"}));
            }
            if (lon < -180.0 || lon > 360.0) {
                return refused(option, joined({"longitude ", split(text, ',')[1], " is outside -180 to 360 degrees"}));
            }
            if (std::fabs(height) > 1.0e7) {
                return refused(option, joined({"height ", split(text, ',')[2], " m is not on or near the Earth"}));
            }
            line.observer_earth_fixed = observer_from_geodetic_site(lat, lon, height);
            site_given = true;
        } else if (option == "--centre" || option == "--center") {
            std::string_view ra_text;
            std::string_view dec_text;
            if (inline_value) {
                return refused(option, "takes two values: --centre RA DEC");
            }
            if (!value(ra_text) || !value(dec_text)) {
                return refused(option, "needs two values, RA DEC (11:28:00.0 +01:16:00 or 172.0 1.2667)");
            }
            std::string error;
            line.centre = centre_from_texts(ra_text, dec_text, error);
            if (!line.centre) {
                return refused(option, error);
            }
        } else if (option == "--side") {
            if (!value(text)) {
                return refused(option, "needs the full side of the square in arcminutes");
            }
            const std::optional<double> side = number_from_text(text);
            if (!side || *side <= 0.0 || *side >= 10800.0) {
                return refused(option, joined({"'", text, "' is not a side in arcminutes greater than 0 and less than 10800 (180 deg)"}));
            }
            line.side_arcmin = side;
        } else if (option == "--mag-limit" && program.has_magnitude_limit) {
            if (!value(text)) {
                return refused(option, "needs a magnitude");
            }
            line.mag_limit = number_from_text(text);
            if (!line.mag_limit) {
                return refused(option, joined({"'", text, "' is not a number"}));
            }
        } else if (option == "--format") {
            if (!value(text)) {
                return refused(option, "needs text or csv");
            }
            if (text == "text") {
                line.format = OutputFormat::text;
            } else if (text == "csv") {
                line.format = OutputFormat::csv;
            } else {
                return refused(option, joined({"'", text, "' is not text or csv"}));
            }
        } else if (option == "--mag-limit") {
            return refused(option, "only the asteroid program has a magnitude limit");
        } else if (option.rfind("-", 0) == 0) {
            return refused(option, "unknown option");
        } else {
            return refused(option, "unexpected argument (options start with --)");
        }
        if (inline_value && (option == "--help" || option == "-h" || option == "--version")) {
            return refused(option, "takes no value");
        }
    }
    if (observer_given && site_given) {
        return refused("--site", "cannot be combined with --observer: give the observer one way");
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
    const std::string name = program.name;
    const bool asteroids = program.has_magnitude_limit;
    std::string text;
    text += "Usage: " + name + " [OPTION]...\n";
    text += asteroids ? "List the asteroids of an orbit catalogue that lie in a square field of sky at an instant.\n"
                      : "List the artificial satellites of an element-set catalogue that lie in a square field of\n"
                        "sky at an instant.\n";
    text += "Without options the compiled-in scenario is searched in the catalogue \"" +
            std::string(program.default_catalogue) + "\"\nof the working directory. Each option replaces one part of "
            "that scenario.\n\n";
    text += "Options:\n";
    text += joined({"  --catalogue PATH       the catalogue to read (default: ", program.default_catalogue, ")\n"});
    text += joined({"                         e.g. --catalogue data/", program.default_catalogue, "\n"});
    text += "  --time UTC             the instant, YYYY-MM-DDTHH:MM:SS[.sss], a trailing Z allowed\n";
    text += "                         e.g. --time 2008-05-20T21:30:00Z\n";
    text += "  --observer X,Y,Z       geocentric Earth-fixed position of the observer in km\n";
    text += "                         e.g. --observer 3395.0303,3128.7911,4388.8511\n";
    text += "  --site LAT,LON[,H]     geodetic latitude and east longitude in degrees, height in metres\n";
    text += "                         above the WGS84 ellipsoid (instead of --observer)\n";
    text += "                         e.g. --site 43.7417,42.6630,2094\n";
    text += "  --centre RA DEC        the centre of the field, sexagesimal (RA in hours, DEC in degrees)\n";
    text += "                         or both in decimal degrees\n";
    text += "                         e.g. --centre 11:28:00.0 +01:16:00   or   --centre 172.0 1.2667\n";
    text += "  --side ARCMIN          the full side of the square in arcminutes\n";
    text += "                         e.g. --side 90\n";
    if (asteroids) {
        text += "  --mag-limit V          list only asteroids not fainter than V\n";
        text += "                         e.g. --mag-limit 18.5\n";
    }
    text += "  --format text|csv      text: the report; csv: a header line and one line per object\n";
    text += "                         e.g. --format csv\n";
    text += "  --help                 show this help and exit\n";
    text += "  --version              show the version and exit\n";
    text += "\nExit status: 0 after a search, 1 when the catalogue cannot be read, 2 for a bad option.\n";
    return text;
}

int run_command_line(int argc, const char* const* argv, const ProgramInfo& program, const Scenario& compiled_in,
                     SearchFunction search)
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
    const std::string path = line.catalogue_path.value_or(program.default_catalogue);
    const SearchOutput output{path.c_str(), line.format, stdout, stderr};
    return run_search(scenario_with_options(compiled_in, line), output, search);
}
