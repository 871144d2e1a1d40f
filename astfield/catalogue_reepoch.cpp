#include "catalogue_reepoch.hpp"

#include <cmath>
#include <cstdio>
#include <optional>
#include <variant>

#include "constants.hpp"
#include "mpcorb_record.hpp"
#include "packed_designations.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

// `value` (degrees) written "%W.Df" within [0, 360): a value that rounds to
// 360 is written as 0.
std::string angle_text(double value, int width, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    double written = 0.0;
    std::sscanf(text, "%lf", &written);
    if (written >= 360.0) {
        std::snprintf(text, sizeof text, "%*.*f", width, decimals, 0.0);
    }
    return text;
}

// `value` written "%W.Df"; empty when it does not fit in `width` characters.
std::string fixed_text(double value, int width, int decimals)
{
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%*.*f", width, decimals, value);
    if (n != width) {
        return {};
    }
    return text;
}

// The astorb line with columns 107-181 replaced by the date and `elements`;
// empty when a value does not fit its columns.
std::string astorb_line(std::string_view line, int year, int month, int day, const OsculatingElements& elements)
{
    if (!(elements.eccentricity >= 0.0 && elements.eccentricity < 1.0 && elements.semimajor_axis > 0.0 &&
          std::isfinite(elements.mean_anomaly))) {
        return {};
    }
    char date[16];
    std::snprintf(date, sizeof date, " %04d%02d%02d", year, month, day);
    std::string fields = date + 1;  // columns 107-114
    fields += angle_text(elements.mean_anomaly, 11, 6);
    fields += angle_text(elements.perihelion_argument, 11, 6);
    fields += angle_text(elements.node, 11, 6);
    const std::string inclination = fixed_text(elements.inclination, 10, 6);
    const std::string eccentricity = fixed_text(elements.eccentricity, 11, 8);
    const std::string axis = fixed_text(elements.semimajor_axis, 13, 8);
    if (inclination.empty() || eccentricity.empty() || axis.empty() || fields.size() != 8 + 33) {
        return {};
    }
    fields += inclination + eccentricity + axis;
    std::string out(line);
    if (out.size() < ASTORB_COLUMNS_READ) {
        out.resize(ASTORB_COLUMNS_READ, ' ');
    }
    out.replace(106, fields.size(), fields);
    return out;
}

// `text` put in columns `first` onwards (1-based) of `line`.
void put_columns(std::string& line, int first, const std::string& text)
{
    line.replace(static_cast<std::size_t>(first - 1), text.size(), text);
}

// The MPCORB line with the packed epoch (columns 21-25), M, the argument of
// perihelion, the node, i (27-68, five decimals), e (71-79, seven), the mean
// daily motion (81-91, from a) and a (93-103) replaced; empty when a value
// does not fit its columns or the orbit is no ellipse.
std::string mpcorb_line(std::string_view line, int year, int month, int day, const OsculatingElements& elements)
{
    if (!(elements.eccentricity >= 0.0 && elements.eccentricity < 1.0 && elements.semimajor_axis > 0.0 &&
          std::isfinite(elements.mean_anomaly))) {
        return {};
    }
    const std::optional<std::string> epoch = packed_date(CalendarDate{year, month, day});
    // Degrees a day: k (radians a day at 1 AU) over a^1.5.
    const double motion = GAUSSIAN_CONSTANT / (elements.semimajor_axis * std::sqrt(elements.semimajor_axis)) *
                          RAD_TO_DEG;
    const std::string inclination = fixed_text(elements.inclination, 9, 5);
    const std::string eccentricity = fixed_text(elements.eccentricity, 9, 7);
    const std::string daily_motion = fixed_text(motion, 11, 8);
    const std::string axis = fixed_text(elements.semimajor_axis, 11, 7);
    if (!epoch || inclination.empty() || eccentricity.empty() || daily_motion.empty() || axis.empty()) {
        return {};
    }
    std::string out(line);
    if (out.size() < MPCORB_COLUMNS_READ) {
        out.resize(MPCORB_COLUMNS_READ, ' ');
    }
    put_columns(out, 21, *epoch);
    put_columns(out, 27, angle_text(elements.mean_anomaly, 9, 5));
    put_columns(out, 38, angle_text(elements.perihelion_argument, 9, 5));
    put_columns(out, 49, angle_text(elements.node, 9, 5));
    put_columns(out, 60, inclination);
    put_columns(out, 71, eccentricity);
    put_columns(out, 81, daily_motion);
    put_columns(out, 93, axis);
    return out;
}

// The comet line with the perihelion time (year, month and day with four
// decimals, columns 15-29), q (31-39), e (42-49), the argument of
// perihelion, the node, i (52-79, four decimals) and the epoch yyyymmdd
// (82-89) replaced; empty when a value does not fit its columns.
std::string comet_line(std::string_view line, int year, int month, int day, const OsculatingElements& elements)
{
    if (!(std::isfinite(elements.perihelion_time) && std::fabs(elements.perihelion_time) < 1e8)) {
        return {};
    }
    // The perihelion time rounded to the last decimal written, then split
    // into its date and the fraction of its day.
    const long long ticks = std::llround(elements.perihelion_time * 1e4);
    const long long whole = ticks >= 0 ? ticks / 10000 : -((-ticks + 9999) / 10000);
    const long long fraction = ticks - whole * 10000;
    const CalendarDate perihelion = calendar_date_from_mjd(static_cast<double>(whole));
    if (perihelion.year < 1000 || perihelion.year > 9999) {
        return {};
    }
    char time[32];
    std::snprintf(time, sizeof time, "%04d %02d %2d.%04lld", perihelion.year, perihelion.month, perihelion.day,
                  fraction);
    char epoch[16];
    std::snprintf(epoch, sizeof epoch, "%04d%02d%02d", year, month, day);
    const std::string q = fixed_text(elements.perihelion_distance, 9, 6);
    const std::string eccentricity = fixed_text(elements.eccentricity, 8, 6);
    const std::string inclination = fixed_text(elements.inclination, 8, 4);
    if (q.empty() || eccentricity.empty() || inclination.empty()) {
        return {};
    }
    std::string out(line);
    if (out.size() < COMET_COLUMNS_READ) {
        out.resize(COMET_COLUMNS_READ, ' ');
    }
    put_columns(out, 15, time);
    put_columns(out, 31, q);
    put_columns(out, 42, eccentricity);
    put_columns(out, 52, angle_text(elements.perihelion_argument, 8, 4));
    put_columns(out, 62, angle_text(elements.node, 8, 4));
    put_columns(out, 72, inclination);
    put_columns(out, 82, epoch);
    return out;
}

// The line at the new epoch in `layout`; empty when the elements do not fit.
std::string line_at_epoch(CatalogueLayout layout, std::string_view line, int year, int month, int day,
                          const OsculatingElements& elements)
{
    switch (layout) {
    case CatalogueLayout::astorb:
        return astorb_line(line, year, month, day, elements);
    case CatalogueLayout::mpcorb:
        return mpcorb_line(line, year, month, day, elements);
    case CatalogueLayout::comets:
        return comet_line(line, year, month, day, elements);
    }
    return {};
}

}  // namespace

ReepochedLine reepoched_line(const CatalogueFormat& format, long line_number, std::string_view line, int year,
                             int month, int day, double target_tt, const RunPlanetTables& tables)
{
    ReepochedLine out{ReepochedLine::Kind::copied, std::string(line), {}};
    const CatalogueLine parsed = parse_catalogue_line(format, line_number, line, line.size());
    switch (parsed.kind) {
    case CatalogueLine::Kind::skipped:
        return out;
    case CatalogueLine::Kind::not_a_record:
    case CatalogueLine::Kind::bad_record:
        out.kind = ReepochedLine::Kind::refused;
        out.reason = "not a record (" + parsed.problem + ")";
        return out;
    case CatalogueLine::Kind::record:
        break;
    }
    const IntegratedElements orbit = integrated_elements(parsed.record, target_tt, tables);
    if (!orbit.ok) {
        out.kind = ReepochedLine::Kind::refused;
        out.reason = "orbit not integrated (" + orbit.failure + ")";
        return out;
    }
    std::string text = line_at_epoch(format.layout, line, year, month, day, orbit.elements);
    if (text.empty()) {
        out.kind = ReepochedLine::Kind::refused;
        out.reason = "orbit not written (elements at the new epoch that do not fit the layout's columns)";
        return out;
    }
    out.kind = ReepochedLine::Kind::rewritten;
    out.text = std::move(text);
    return out;
}

}  // namespace fieldsearch
