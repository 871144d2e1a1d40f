#include "text_report.hpp"

#include <cmath>

#include "angles.hpp"
#include "formatted_text.hpp"
#include "packed_designations.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// The text a designation column shows of a value.
std::string shown_text(const RowValue& value)
{
    switch (value.kind) {
    case ValueKind::text:
        return value.text;
    case ValueKind::whole:
        return std::to_string(value.whole);
    case ValueKind::real:
        return formatted("%.*f", value.decimals < 0 ? 6 : value.decimals, value.real);
    case ValueKind::absent:
        break;
    }
    return {};
}

// The first `width` bytes of `text` that end on a character boundary of
// UTF-8 (a byte that begins no character counts as one), control
// characters as blanks, padded with blanks to `width`.
std::string left_padded(const std::string& text, std::size_t width)
{
    std::size_t cut = std::min(text.size(), width);
    if (cut < text.size()) {
        // Back off over continuation bytes to the start of the cut character.
        std::size_t start = cut;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        if (start < cut && static_cast<unsigned char>(text[start]) >= 0xC0) {
            cut = start;
        }
    }
    std::string out(width, ' ');
    for (std::size_t k = 0; k < cut; ++k) {
        const char c = text[k];
        out[k] = static_cast<unsigned char>(c) < ' ' ? ' ' : c;
    }
    return out;
}

}  // namespace

std::string text_row(const Row& row, const TextRowLayout& layout)
{
    std::string line;
    for (const TextColumn& column : layout.columns) {
        line += column.before;
        static const RowValue none;
        const RowValue& value = column.value < row.values.size() ? row.values[column.value] : none;
        const std::size_t width = static_cast<std::size_t>(column.width);
        switch (column.style) {
        case TextStyle::right_aligned:
            line += designation_column(shown_text(value), width, true);
            break;
        case TextStyle::blank_then_left:
            line += designation_column(shown_text(value), width, false);
            break;
        case TextStyle::left_padded:
            line += left_padded(shown_text(value), width);
            break;
        case TextStyle::integer:
            line += value.kind == ValueKind::whole ? formatted("%*lld", column.width, value.whole)
                                                    : std::string(width, ' ');
            break;
        case TextStyle::fixed:
            line += value.kind == ValueKind::real ? formatted("%*.*f", column.width, column.decimals, value.real)
                                                   : std::string(width, ' ');
            break;
        case TextStyle::character:
            line += value.kind == ValueKind::text && !value.text.empty() ? value.text.substr(0, 1) : std::string(" ");
            break;
        }
    }
    // Absent values at the end of a row leave no blanks at the line's end.
    line.erase(line.find_last_not_of(' ') + 1);
    line += layout.end;
    return line;
}

namespace {

// Units, minutes and seconds as the header prints them, to the tenth of a
// second: a second that rounds to 60.0 carries into the minutes, 60 minutes
// into the units, and `wrap` units (24 hours) back to 0.
struct PrintedSexagesimal {
    int units;
    int minutes;
    double seconds;
};

PrintedSexagesimal printed_to_tenths(int units, int minutes, double seconds, int wrap)
{
    long tenths = std::lround(seconds * 10.0);
    if (tenths >= 600) {
        tenths -= 600;
        ++minutes;
    }
    if (minutes >= 60) {
        minutes -= 60;
        ++units;
    }
    if (wrap > 0 && units >= wrap) {
        units -= wrap;
    }
    return {units, minutes, static_cast<double>(tenths) / 10.0};
}

}  // namespace

std::string report_header(const Scenario& s)
{
    const CalendarInstant& i = s.instant;
    FieldCentre c = s.centre;
    const PrintedSexagesimal ra = printed_to_tenths(c.ra_hours, c.ra_minutes, c.ra_seconds, 24);
    const PrintedSexagesimal dec = printed_to_tenths(c.dec_degrees, c.dec_arcminutes, c.dec_arcseconds, 0);
    c.ra_hours = ra.units;
    c.ra_minutes = ra.minutes;
    c.ra_seconds = ra.seconds;
    c.dec_degrees = dec.units;
    c.dec_arcminutes = dec.minutes;
    c.dec_arcseconds = dec.seconds;
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

std::string field_report_header(const FieldSearch& field)
{
    const Scenario scenario = field_scenario(field);
    // The header's lines, each after its blank line: the date, the centre,
    // then the square (or the image and its site), the exposure, the limit.
    std::string header = report_header(scenario);
    const std::size_t side = header.find(" \nside of square");
    const std::size_t limit = header.find(" \nfor objects brighter then");
    std::string middle;
    if (field.frame) {
        const std::optional<FrameSize> size = frame_size(*field.frame);
        middle += formatted(" \nimage   %s   %d x %d pixels   %.2f x %.2f arcminute (widened by 10 %% for the search)\n",
                            field.image.c_str(), field.frame->naxis1, field.frame->naxis2,
                            size ? size->width_arcmin : NAN, size ? size->height_arcmin : NAN);
        middle += formatted(" \nsite    %.4f, %.4f, %.4f km (geocentric, Earth-fixed)\n", field.observer_earth_fixed(1),
                            field.observer_earth_fixed(2), field.observer_earth_fixed(3));
    } else {
        middle += header.substr(side, limit - side);
    }
    if (field.exposure_s > 0.0) {
        middle += formatted(" \nexposure %9.2f s from the date above; rows at mid-exposure, %.6f julian day\n",
                            field.exposure_s, rows_utc_mjd(field));
    } else if (field.frame) {
        middle += " \nexposure none: the instant above\n";
    }
    return header.substr(0, side) + middle + header.substr(limit);
}

std::string count_line(int found, int read, int superseded)
{
    if (superseded > 0) {
        return formatted("\n number of objects %8i  from  %8i  in list  (%i superseded set%s)\n", found, read,
                         superseded, superseded == 1 ? "" : "s");
    }
    return formatted("\n number of objects %8i  from  %8i  in list\n", found, read);
}

}  // namespace fieldsearch
