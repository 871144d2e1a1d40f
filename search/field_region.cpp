#include "field_region.hpp"

#include <algorithm>
#include <cmath>

#include "angles.hpp"
#include "square_field.hpp"

namespace fieldsearch {

namespace {

// Points of the footprint where the plate scale is measured, per axis.
constexpr int SCALE_SAMPLES = 9;

// Half the smallest angular size of a pixel step (radians per pixel) over
// a grid of points of the widened footprint, along both axes.
double least_scale(const ImageFrame& frame)
{
    double least = INFINITY;
    const double widen_x = 0.05 * frame.naxis1;
    const double widen_y = 0.05 * frame.naxis2;
    for (int i = 0; i < SCALE_SAMPLES; ++i) {
        for (int j = 0; j < SCALE_SAMPLES; ++j) {
            const double x = 0.5 - widen_x + (frame.naxis1 + 2.0 * widen_x) * i / (SCALE_SAMPLES - 1);
            const double y = 0.5 - widen_y + (frame.naxis2 + 2.0 * widen_y) * j / (SCALE_SAMPLES - 1);
            const auto p = sky_position(frame, x, y);
            const auto px = sky_position(frame, x + 1.0, y);
            const auto py = sky_position(frame, x, y + 1.0);
            if (!p || !px || !py) {
                return 0.0;
            }
            const Vector3 v = unit_vector_from_sky(p->ra_deg, p->dec_deg);
            least = std::min({least, angle_between(v, unit_vector_from_sky(px->ra_deg, px->dec_deg)),
                              angle_between(v, unit_vector_from_sky(py->ra_deg, py->dec_deg))});
        }
    }
    return std::isfinite(least) ? 0.5 * least : 0.0;
}

}  // namespace

FieldRegion field_region(const FieldSearch& field)
{
    FieldRegion region{};
    if (field.frame) {
        region.frame = field.frame;
        region.cap = widened_bounding_circle(*field.frame);
        region.least_scale_rad_per_pixel = least_scale(*field.frame);
        return region;
    }
    const SearchRequest r = field_request(field);
    region.square = square_region(r.centre_ra_deg, r.centre_dec_deg, r.half_side_deg);
    region.cap = {unit_vector_from_sky(r.centre_ra_deg, r.centre_dec_deg), square_field_cap_radius(r.half_side_deg)};
    return region;
}

std::optional<PixelPosition> field_pixel(const FieldRegion& region, double ra_deg, double dec_deg)
{
    if (!region.frame) {
        return std::nullopt;
    }
    return pixel_position(*region.frame, ra_deg, dec_deg);
}

bool in_field_region(const FieldRegion& region, double ra_deg, double dec_deg)
{
    if (!region.frame) {
        const SquareRegion& s = region.square;
        return in_square_field(ra_deg, dec_deg, 0.0, s.centre_ra_deg, s.centre_dec_deg, s.half_side_deg, 0.0) == 1;
    }
    const auto pixel = pixel_position(*region.frame, ra_deg, dec_deg);
    return pixel && in_widened_footprint(*region.frame, *pixel);
}

RegionTest field_region_test(const FieldRegion& region, const SkyPlace& place)
{
    if (!region.frame) {
        return square_region_test(region.square, place);
    }
    const double from_centre = angle_between(place.direction, region.cap.centre);
    if (from_centre > region.cap.radius_rad) {
        return {false, from_centre - region.cap.radius_rad};
    }
    const ImageFrame& frame = *region.frame;
    const auto pixel = pixel_position(frame, place.ra_deg, place.dec_deg);
    if (!pixel) {
        return {false, 0.0};
    }
    const bool inside = in_widened_footprint(frame, *pixel);
    // The widened footprint in pixels.
    const double x0 = 0.5 - 0.05 * frame.naxis1;
    const double x1 = frame.naxis1 + 0.5 + 0.05 * frame.naxis1;
    const double y0 = 0.5 - 0.05 * frame.naxis2;
    const double y1 = frame.naxis2 + 0.5 + 0.05 * frame.naxis2;
    double pixels = 0.0;
    if (inside) {
        pixels = std::min({pixel->x - x0, x1 - pixel->x, pixel->y - y0, y1 - pixel->y});
    } else {
        const double dx = std::max({x0 - pixel->x, 0.0, pixel->x - x1});
        const double dy = std::max({y0 - pixel->y, 0.0, pixel->y - y1});
        pixels = std::hypot(dx, dy);
    }
    return {inside, std::max(0.0, pixels * region.least_scale_rad_per_pixel - 1e-12)};
}

}  // namespace fieldsearch
