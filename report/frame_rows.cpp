#include "frame_rows.hpp"

#include <utility>

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

void append_extra_columns(const ExtraColumns& extra, RowColumns& columns)
{
    if (extra.image) {
        columns.insert(columns.end(), {"x", "y"});
    }
    if (extra.exposure) {
        columns.insert(columns.end(), {"ra_start_deg", "dec_start_deg", "ra_end_deg", "dec_end_deg", "t_in_s", "t_out_s"});
        if (extra.image) {
            columns.insert(columns.end(), {"x_start", "y_start", "x_end", "y_end"});
        }
    }
}

namespace {

// The pixel position's two values (to 0.001 pixel), absent where there is none.
void append_pixel(const std::optional<PixelPosition>& pixel, Row& row)
{
    row.values.push_back(pixel ? real_value(pixel->x, 3) : absent_value());
    row.values.push_back(pixel ? real_value(pixel->y, 3) : absent_value());
}

}  // namespace

void append_extra_values(const ExtraColumns& extra, const RowExtras& extras, Row& row)
{
    if (extra.image) {
        append_pixel(extras.pixel, row);
    }
    if (extra.exposure) {
        if (extras.exposure) {
            for (double v : {extras.ra_start_deg, extras.dec_start_deg, extras.ra_end_deg, extras.dec_end_deg}) {
                row.values.push_back(real_value(v, ALL_DIGITS));
            }
            row.values.push_back(real_value(extras.t_in_s, 3));
            row.values.push_back(real_value(extras.t_out_s, 3));
        } else {
            row.values.insert(row.values.end(), 6, absent_value());
        }
        if (extra.image) {
            append_pixel(extras.pixel_start, row);
            append_pixel(extras.pixel_end, row);
        }
    }
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
