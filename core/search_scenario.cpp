#include "search_scenario.hpp"

#include <cstdarg>
#include <cstdio>

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

std::string report_header(const ScenarioHeader& h)
{
    std::string out;
    out += formatted(" \n");
    out += formatted("date    %4i%3i%3i%4i%3i%5.1f  UTC", h.year, h.month, h.day, h.hour, h.minute, h.second);
    out += formatted("  %15.6f  julian day\n", h.utc_mjd);
    out += formatted(" \n");
    out += formatted("center :    R.A. =%3ih%2im%4.1fs,", h.ra_hours, h.ra_minutes, h.ra_seconds);
    if (h.dec_negative && h.dec_degrees == 0) {
        // %3i cannot show the sign of a zero.
        out += formatted("   Decl. =%3so%2i'%4.1f''\n", "-0", h.dec_arcminutes, h.dec_arcseconds);
    } else {
        out += formatted("   Decl. =%3io%2i'%4.1f''\n", h.dec_degrees, h.dec_arcminutes, h.dec_arcseconds);
    }
    out += formatted(" \n");
    out += formatted("side of square  %8.2f arcminute\n", h.side_arcmin);
    out += formatted(" \n");
    out += formatted("for objects brighter then %5.1f  stellar magnitude\n", h.mag_limit);
    return out;
}

std::string count_line(int found, int read)
{
    return formatted("\n number of objects %8i  from  %8i  in list\n", found, read);
}
