#include "frame_rows.hpp"

#include <utility>

#include "report_text.hpp"
#include "search_scenario.hpp"

namespace fieldsearch {

ExtraColumns extra_columns(const SearchPlan& plan)
{
    ExtraColumns columns;
    for (const FieldSearch& field : plan.fields) {
        columns.image = columns.image || field.frame != nullptr;
        columns.exposure = columns.exposure || field.exposure_s > 0.0;
    }
    return columns;
}

std::string extra_columns_header(const ExtraColumns& columns)
{
    std::string header;
    if (columns.image) {
        header += ",x,y";
    }
    if (columns.exposure) {
        header += ",ra_start_deg,dec_start_deg,ra_end_deg,dec_end_deg,t_in_s,t_out_s";
        if (columns.image) {
            header += ",x_start,y_start,x_end,y_end";
        }
    }
    return header;
}

namespace {

std::string pixel_values(const std::optional<PixelPosition>& pixel)
{
    return pixel ? formatted(",%.3f,%.3f", pixel->x, pixel->y) : std::string(",,");
}

}  // namespace

std::string extra_columns_values(const ExtraColumns& columns, const RowExtras& extras)
{
    std::string values;
    if (columns.image) {
        values += pixel_values(extras.pixel);
    }
    if (columns.exposure) {
        if (extras.exposure) {
            values += formatted(",%.17g,%.17g,%.17g,%.17g,%.3f,%.3f", extras.ra_start_deg, extras.dec_start_deg,
                                extras.ra_end_deg, extras.dec_end_deg, extras.t_in_s, extras.t_out_s);
        } else {
            values += ",,,,,,";
        }
        if (columns.image) {
            values += pixel_values(extras.pixel_start);
            values += pixel_values(extras.pixel_end);
        }
    }
    return values;
}

std::string with_extra_columns(std::string line, const std::string& extra)
{
    if (!extra.empty()) {
        const std::size_t end = (!line.empty() && line.back() == '\n') ? line.size() - 1 : line.size();
        line.insert(end, extra);
    }
    return line;
}

RowExtras exposure_extras(const ExposureCrossing& crossing, const SkyPlace& start, const SkyPlace& end,
                          const FieldRegion& region)
{
    RowExtras extras;
    extras.exposure = true;
    extras.ra_start_deg = start.ra_deg;
    extras.dec_start_deg = start.dec_deg;
    extras.ra_end_deg = end.ra_deg;
    extras.dec_end_deg = end.dec_deg;
    extras.t_in_s = crossing.t_in_s;
    extras.t_out_s = crossing.t_out_s;
    extras.pixel_start = field_pixel(region, start.ra_deg, start.dec_deg);
    extras.pixel_end = field_pixel(region, end.ra_deg, end.dec_deg);
    return extras;
}

OverlayObject overlay_mark(std::string label, double ra_deg, double dec_deg, std::optional<double> magnitude,
                           const RowExtras& extras, double ra_step_deg, double dec_step_deg)
{
    OverlayObject o;
    o.label = std::move(label);
    o.ra_deg = ra_deg;
    o.dec_deg = dec_deg;
    o.magnitude = magnitude;
    if (extras.exposure) {
        o.track_start = SkyPoint{extras.ra_start_deg, extras.dec_start_deg};
        o.track_end = SkyPoint{extras.ra_end_deg, extras.dec_end_deg};
    } else {
        o.track_start = SkyPoint{ra_deg, dec_deg};
        o.track_end = SkyPoint{ra_deg + ra_step_deg, dec_deg + dec_step_deg};
    }
    return o;
}

}  // namespace fieldsearch
