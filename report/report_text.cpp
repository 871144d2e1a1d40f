#include "report_text.hpp"

#include "angles.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

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

}  // namespace fieldsearch
