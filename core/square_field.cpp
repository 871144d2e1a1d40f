#include "square_field.hpp"

#include <cmath>

#include "angles.hpp"

namespace fieldsearch {

TangentPlaneOffsets tangent_plane_offsets(double ra, double dec, double ra0, double dec0)
{
    const double a = ra * DEG_TO_RAD;
    const double b = dec * DEG_TO_RAD;
    const double c = ra0 * DEG_TO_RAD;
    const double d = dec0 * DEG_TO_RAD;
    const double x = std::cos(a) * std::cos(b);
    const double y = std::sin(a) * std::cos(b);
    const double z = std::sin(b);
    const double xi_numerator = -std::sin(c) * x + std::cos(c) * y;
    const double eta_numerator = -std::cos(c) * std::sin(d) * x - std::sin(c) * std::sin(d) * y + std::cos(d) * z;
    const double denominator = std::cos(c) * std::cos(d) * x + std::sin(c) * std::cos(d) * y + std::sin(d) * z;
    return {xi_numerator / denominator / DEG_TO_RAD, eta_numerator / denominator / DEG_TO_RAD, denominator};
}

namespace {

bool all_finite(double a, double b, double c, double d, double e, double f, double g)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(e) &&
           std::isfinite(f) && std::isfinite(g);
}

// Inside the acceptance square of half width s, on the near side of the sky.
bool inside_square(const TangentPlaneOffsets& offsets, double s)
{
    if (!(offsets.cos_distance > 0.0)) {
        return false;
    }
    return !(std::fabs(offsets.xi) > s) && !(std::fabs(offsets.eta) > s);
}

}  // namespace

int in_square_field(double ra, double dec, double mag, double ra0, double dec0, double h, double mag_limit)
{
    if (!all_finite(ra, dec, mag, ra0, dec0, h, mag_limit)) {
        return 0;
    }
    if (mag > mag_limit) {
        return 0;
    }
    const double s = SQUARE_FIELD_ACCEPTANCE * h;
    if (std::fabs(dec0) <= SQUARE_FIELD_EQUATORIAL_LIMIT * h) {
        if (!inside_square(tangent_plane_offsets(ra, dec, ra0, dec0), s)) {
            return 0;
        }
        // The window on right ascension removes mirror images from the far
        // side of the sky; it is folded when the field straddles 0 h.
        double dra = std::fabs(ra - ra0);
        if (dra > SQUARE_FIELD_RA_FOLD_DEG) {
            dra = std::fabs(dra - 360.0);
        }
        return dra > s ? 0 : 1;
    }
    if (std::fabs(dec - dec0) > s) {
        return 0;
    }
    return inside_square(tangent_plane_offsets(ra, dec, ra0, dec0), s) ? 1 : 0;
}

double square_field_cap_radius(double half_side_deg)
{
    return std::atan(1.4142135623730951 * SQUARE_FIELD_ACCEPTANCE * half_side_deg * DEG_TO_RAD) + 1e-7;
}

}  // namespace fieldsearch
