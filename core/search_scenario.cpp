#include "search_scenario.hpp"

#include <cstdarg>
#include <cstdio>

#include "angles.hpp"
#include "time_scales.hpp"

std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

std::string report_header(const Scenario& s)
{
    const CalendarInstant& i = s.instant;
    const FieldCentre& c = s.centre;
    const double mjd = mjd_from_calendar(i.day, i.month, i.year, i.hour, i.minute, i.second);
    std::string out;
    out += formatted(" \n");
    out += formatted("date    %4i%3i%3i%4i%3i%5.1f  UTC", i.year, i.month, i.day, i.hour, i.minute, i.second);
    out += formatted("  %15.6f  julian day\n", mjd);
    out += formatted(" \n");
    out += formatted("center :    R.A. =%3ih%2im%4.1fs,", c.ra_hours, c.ra_minutes, c.ra_seconds);
    if (c.dec_negative && c.dec_degrees == 0) {
        // %3i cannot show the sign of a zero.
        out += formatted("   Decl. =%3so%2i'%4.1f''\n", "-0", c.dec_arcminutes, c.dec_arcseconds);
    } else {
        out += formatted("   Decl. =%3io%2i'%4.1f''\n", c.dec_negative ? -c.dec_degrees : c.dec_degrees,
                         c.dec_arcminutes, c.dec_arcseconds);
    }
    out += formatted(" \n");
    out += formatted("side of square  %8.2f arcminute\n", 2.0 * s.half_side_arcmin);
    out += formatted(" \n");
    out += formatted("for objects brighter then %5.1f  stellar magnitude\n", s.mag_limit);
    return out;
}

std::string count_line(int found, int read)
{
    return formatted("\n number of objects %8i  from  %8i  in list\n", found, read);
}

FieldCentre field_centre_from_sexagesimal(int ra_hours, int ra_minutes, double ra_seconds, bool dec_negative,
                                          int dec_degrees, int dec_arcminutes, double dec_arcseconds)
{
    const double ra_deg = (ra_hours + (ra_minutes + ra_seconds / 60.0) / 60.0) * 15.0;
    const double dec_magnitude = dec_degrees + (dec_arcminutes + dec_arcseconds / 60.0) / 60.0;
    const double dec_deg = dec_negative ? -dec_magnitude : dec_magnitude;
    return {ra_deg,     dec_deg,      ra_hours,       ra_minutes,    ra_seconds,
            dec_negative, dec_degrees, dec_arcminutes, dec_arcseconds};
}

FieldCentre field_centre_from_degrees(double ra_deg, double dec_deg)
{
    const HoursMinutesSeconds hms = ra_to_hms(ra_deg);
    const SignDegreesMinutesSeconds dms = dec_to_dms(dec_deg);
    return {ra_deg,          dec_deg,     hms.hours,      hms.minutes,   hms.seconds,
            dms.sign == '-', dms.degrees, dms.arcminutes, dms.arcseconds};
}

SearchRequest search_request_from_scenario(const Scenario& s)
{
    const CalendarInstant& i = s.instant;
    return {s.observer_earth_fixed(1),
            s.observer_earth_fixed(2),
            s.observer_earth_fixed(3),
            mjd_from_calendar(i.day, i.month, i.year, i.hour, i.minute, i.second),
            s.centre.ra_deg,
            s.centre.dec_deg,
            s.half_side_arcmin / 60.0,
            s.mag_limit,
            s.leap_seconds,
            s.ut1_minus_utc_seconds};
}


int run_search(const Scenario& scenario, const SearchOutput& output, SearchFunction search)
{
    if (output.format == OutputFormat::text) {
        std::fputs(report_header(scenario).c_str(), output.out);
    }
    return search(search_request_from_scenario(scenario), output);
}

std::string csv_field(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}
