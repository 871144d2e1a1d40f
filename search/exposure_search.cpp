#include "exposure_search.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "angles.hpp"
#include "square_field.hpp"

namespace fieldsearch {

namespace {

// Taken off every clearance: far above the rounding of the dot products and
// of the acceptance test itself, far below any angle that matters.
constexpr double CLEARANCE_MARGIN_RAD = 1e-12;

Vector3 unit_vector(double x, double y, double z)
{
    const double r = std::sqrt(x * x + y * y + z * z);
    Vector3 v;
    v(1) = x / r;
    v(2) = y / r;
    v(3) = z / r;
    return v;
}

// Normal of the plane of the meridian at right ascension ra_deg.
Vector3 meridian_normal(double ra_deg)
{
    return unit_vector(-std::sin(ra_deg * DEG_TO_RAD), std::cos(ra_deg * DEG_TO_RAD), 0.0);
}

// Angular distance (radians) from the unit vector p to the great circle of
// unit normal n.
double distance_to_great_circle(const Vector3& n, const Vector3& p)
{
    return std::asin(std::min(1.0, std::fabs(dot_product(n, p))));
}

}  // namespace

SquareRegion square_region(double centre_ra_deg, double centre_dec_deg, double half_side_deg)
{
    SquareRegion region{};
    region.centre_ra_deg = centre_ra_deg;
    region.centre_dec_deg = centre_dec_deg;
    region.half_side_deg = half_side_deg;
    region.valid = std::isfinite(centre_ra_deg) && std::isfinite(centre_dec_deg) && std::isfinite(half_side_deg);
    if (!region.valid) {
        return region;
    }
    const double a = centre_ra_deg * DEG_TO_RAD;
    const double d = centre_dec_deg * DEG_TO_RAD;
    const double c[3] = {std::cos(d) * std::cos(a), std::cos(d) * std::sin(a), std::sin(d)};
    const double xi[3] = {-std::sin(a), std::cos(a), 0.0};
    const double eta[3] = {-std::sin(d) * std::cos(a), -std::sin(d) * std::sin(a), std::cos(d)};
    region.centre = unit_vector(c[0], c[1], c[2]);
    // |xi| <= sigma D, with D = c . x > 0, is the pair of half-spaces
    // (sigma c -+ xi) . x >= 0; likewise for eta.
    const double s = SQUARE_FIELD_ACCEPTANCE * half_side_deg;
    const double sigma = s * DEG_TO_RAD;
    const double sign[2] = {1.0, -1.0};
    for (int k = 0; k < 2; ++k) {
        region.edge_normals[static_cast<std::size_t>(k)] = unit_vector(
            sigma * c[0] - sign[k] * xi[0], sigma * c[1] - sign[k] * xi[1], sigma * c[2] - sign[k] * xi[2]);
        region.edge_normals[static_cast<std::size_t>(k + 2)] = unit_vector(
            sigma * c[0] - sign[k] * eta[0], sigma * c[1] - sign[k] * eta[1], sigma * c[2] - sign[k] * eta[2]);
    }
    region.ra_window = std::fabs(centre_dec_deg) <= SQUARE_FIELD_EQUATORIAL_LIMIT * half_side_deg;
    if (region.ra_window) {
        // The window |ra - ra0| <= s, folded above 330 deg, changes its answer
        // on the meridians ra0 +- s and ra0 -+ 330, and on ra = 0 unless the
        // fold joins the two sides of 0 h there.
        region.meridian_normals[0] = meridian_normal(centre_ra_deg + s);
        region.meridian_normals[1] = meridian_normal(centre_ra_deg - s);
        region.meridian_normals[2] = meridian_normal(centre_ra_deg + SQUARE_FIELD_RA_FOLD_DEG);
        region.meridian_normals[3] = meridian_normal(centre_ra_deg - SQUARE_FIELD_RA_FOLD_DEG);
        region.meridian_count = 4;
        const bool fold_joins_0h = (centre_ra_deg >= 0.0 && centre_ra_deg < 360.0 - SQUARE_FIELD_RA_FOLD_DEG) ||
                                   (centre_ra_deg > SQUARE_FIELD_RA_FOLD_DEG && centre_ra_deg <= 360.0);
        if (!fold_joins_0h) {
            region.meridian_normals[4] = meridian_normal(0.0);
            region.meridian_count = 5;
        }
    } else {
        region.dec_low_deg = centre_dec_deg - s;
        region.dec_high_deg = centre_dec_deg + s;
    }
    return region;
}

RegionTest square_region_test(const SquareRegion& region, const SkyPlace& place)
{
    if (!region.valid) {
        // in_square_field accepts nothing: no place is anywhere near.
        return {false, PI};
    }
    const bool inside = in_square_field(place.ra_deg, place.dec_deg, 0.0, region.centre_ra_deg,
                                        region.centre_dec_deg, region.half_side_deg, 0.0) == 1;
    const Vector3& p = place.direction;
    if (!std::isfinite(p(1)) || !std::isfinite(p(2)) || !std::isfinite(p(3)) || !std::isfinite(place.dec_deg)) {
        return {inside, 0.0};
    }
    // The boundary of the accepted set lies on the edge great circles, the
    // great circle 90 deg from the centre and the window's meridians or
    // parallels: the distance to the nearest of them bounds the clearance
    // from either side.
    double nearest = distance_to_great_circle(region.centre, p);
    for (const Vector3& n : region.edge_normals) {
        nearest = std::min(nearest, distance_to_great_circle(n, p));
    }
    for (int k = 0; k < region.meridian_count; ++k) {
        nearest = std::min(nearest, distance_to_great_circle(region.meridian_normals[static_cast<std::size_t>(k)], p));
    }
    if (!region.ra_window) {
        nearest = std::min(nearest, std::fabs(place.dec_deg - region.dec_low_deg) * DEG_TO_RAD);
        nearest = std::min(nearest, std::fabs(place.dec_deg - region.dec_high_deg) * DEG_TO_RAD);
    }
    double clearance = nearest;
    if (!inside) {
        // The accepted set lies in every edge hemisphere and in the centre's:
        // a place outside one of them is at least asin(-n . p) from it.
        double beyond = -dot_product(region.centre, p);
        for (const Vector3& n : region.edge_normals) {
            beyond = std::max(beyond, -dot_product(n, p));
        }
        if (beyond > 0.0) {
            clearance = std::max(clearance, std::asin(std::min(1.0, beyond)));
        }
        if (!region.ra_window) {
            const double outside_band_deg =
                std::max(place.dec_deg - region.dec_high_deg, region.dec_low_deg - place.dec_deg);
            clearance = std::max(clearance, outside_band_deg * DEG_TO_RAD);
        }
    }
    return {inside, std::max(0.0, clearance - CLEARANCE_MARGIN_RAD)};
}

namespace {

constexpr double MINIMUM_RELATIVE_RESOLUTION = 1e-9;

// One sample of the search: the status at t and how long it must last.
struct Sample {
    double t;
    bool inside;
    double clearance_rad;
    double distance_km;
};

// The sample at t; false when the place cannot be evaluated there.
bool take_sample(PlaceFunction place, RegionFunction region, double t, Sample& sample, int& evaluations)
{
    ++evaluations;
    const SkyPlace p = place(t);
    if (!p.ok || !std::isfinite(p.distance_km) || !(p.distance_km > 0.0)) {
        return false;
    }
    const RegionTest test = region(p);
    // With the caller's condition: inside both, the status lasts while both
    // do; in the region where the condition fails, while it goes on failing;
    // outside the region, while either keeps it outside.
    bool inside = test.inside;
    double c = test.clearance_rad;
    const double condition = std::isnan(p.condition_clearance_rad) ? 0.0 : p.condition_clearance_rad;
    if (!p.condition_holds) {
        inside = false;
        c = test.inside ? condition : std::max(c, condition);
    } else if (test.inside) {
        c = std::min(c, condition);
    }
    sample = {t, inside, c > 0.0 ? std::min(c, PI) : 0.0, p.distance_km};
    return true;
}

// Seconds during which a sample's status cannot change: the direction turns
// by less than the clearance while V h < rho sin(clearance).
double lasting_interval_s(const Sample& s, double speed_bound_km_s)
{
    const double turn = std::min(s.clearance_rad, 0.5 * PI);
    return s.distance_km * std::sin(turn) / speed_bound_km_s;
}

}  // namespace

ExposureCrossing exposure_crossing(PlaceFunction place, RegionFunction region, double exposure_s,
                                   double speed_bound_km_s, double resolution_s)
{
    ExposureCrossing result{false, false, 0.0, 0.0, 0};
    if (!std::isfinite(exposure_s) || exposure_s < 0.0 || !std::isfinite(speed_bound_km_s) ||
        !(speed_bound_km_s > 0.0) || !std::isfinite(resolution_s) || !(resolution_s > 0.0)) {
        return result;
    }
    // A step too small to change the instant would never end the scan.
    resolution_s = std::max(resolution_s, MINIMUM_RELATIVE_RESOLUTION * exposure_s);
    Sample current{};
    if (!take_sample(place, region, 0.0, current, result.evaluations)) {
        return result;
    }
    const auto note_inside = [&result](double t) {
        if (!result.found) {
            result.found = true;
            result.t_in_s = t;
        }
        result.t_out_s = t;
    };
    if (current.inside) {
        note_inside(0.0);
    }
    while (current.t < exposure_s) {
        const double remaining = exposure_s - current.t;
        const double lasting = lasting_interval_s(current, speed_bound_km_s);
        if (lasting > remaining) {
            // The status holds to the end of the exposure.
            if (current.inside) {
                note_inside(exposure_s);
            }
            break;
        }
        const double step = std::max(lasting, resolution_s);
        Sample next{};
        if (!take_sample(place, region, step >= remaining ? exposure_s : current.t + step, next, result.evaluations)) {
            result.found = false;
            return result;
        }
        if (next.inside != current.inside) {
            // Narrow the change down to two samples at most resolution_s
            // apart, then go on from the first sample of the new status.
            Sample before = current;
            while (next.t - before.t > resolution_s) {
                Sample middle{};
                if (!take_sample(place, region, before.t + 0.5 * (next.t - before.t), middle, result.evaluations)) {
                    result.found = false;
                    return result;
                }
                if (middle.inside == before.inside) {
                    before = middle;
                } else {
                    next = middle;
                }
            }
            if (before.inside) {
                note_inside(before.t);
            }
        }
        if (next.inside) {
            note_inside(next.t);
        }
        current = next;
    }
    result.evaluated = true;
    return result;
}

}  // namespace fieldsearch
