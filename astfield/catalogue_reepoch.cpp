#include "catalogue_reepoch.hpp"

#include <cmath>
#include <cstdio>
#include <variant>

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
    if (format.layout != CatalogueLayout::astorb) {
        out.kind = ReepochedLine::Kind::refused;
        out.reason = std::string("records of the ") + catalogue_layout_name(format.layout) +
                     " layout are not written at a new epoch";
        return out;
    }
    const IntegratedElements orbit = integrated_elements(parsed.record, target_tt, tables);
    if (!orbit.ok) {
        out.kind = ReepochedLine::Kind::refused;
        out.reason = "orbit not integrated (" + orbit.failure + ")";
        return out;
    }
    std::string text = astorb_line(line, year, month, day, orbit.elements);
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
