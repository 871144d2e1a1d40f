#include "field_prefilter.hpp"

#include <cmath>

#include "angles.hpp"
#include "two_body.hpp"

namespace {

// The accepted square reaches 1.1 half sides from the centre along each axis
// of the tangent plane, so no farther than atan(sqrt(2) 1.1 h) on the sky.
constexpr double ACCEPTANCE_FACTOR = 1.1;
constexpr double SQRT_2 = 1.4142135623730951;
// Allowance for the rounding of places and projections, radians.
constexpr double ROUNDING_MARGIN = 1e-8;
// Beyond these limits of the light-time shift and of the eccentricity the
// test stands aside.
constexpr double LARGEST_SPEED_RATIO = 0.5;
constexpr double LARGEST_ECCENTRICITY = 0.99;
// The speed of light in AU per day.
constexpr double SPEED_OF_LIGHT_AU_PER_DAY = 299792.458 * 86400.0 / KM_PER_AU;

// The test's own Kepler solution stops once the eccentric anomaly at which
// sine and cosine were last taken is known to within this many radians; the
// position is formed there, its error bounded from the residual.
constexpr double KEPLER_ANOMALY_BOUND = 1e-5;
constexpr int KEPLER_MOST_STEPS = 12;
// Closer than this (km) the direction to the asteroid is left to the full evaluation.
constexpr double NEAREST_DISTANCE_KM = 1.0e5;

}  // namespace

BoundedPosition bounded_geometric_position(const AstorbRecord& record, double t)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    const double m = mean_motion(a) * (t - epoch_mjd(record)) + record.mean_anomaly * DEG_TO_RAD;
    // The residual carries the rounding of M and E.
    const double rounding = 8e-16 * (std::fabs(m) + 1.0);
    double eccentric_anomaly = m + e * std::sin(m);
    double sin_e = 0.0;
    double cos_e = 0.0;
    double anomaly_error = 0.0;
    for (int step = 0; step < KEPLER_MOST_STEPS; ++step) {
        sin_e = std::sin(eccentric_anomaly);
        cos_e = std::cos(eccentric_anomaly);
        const double residual = eccentric_anomaly - e * sin_e - m;
        anomaly_error = (std::fabs(residual) + rounding + 8e-16 * std::fabs(eccentric_anomaly)) / (1.0 - e);
        if (!(anomaly_error > KEPLER_ANOMALY_BOUND)) {
            break;
        }
        eccentric_anomaly -= residual / (1.0 - e * cos_e);
    }

    // In the orbital plane, x towards perihelion.
    const double xw = a * (cos_e - e);
    const double yw = a * std::sqrt(1.0 - e * e) * sin_e;
    const double w = record.perihelion_argument * DEG_TO_RAD;
    const double node = record.node * DEG_TO_RAD;
    const double i = record.inclination * DEG_TO_RAD;
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double cn = std::cos(node);
    const double sn = std::sin(node);
    const double ci = std::cos(i);
    const double si = std::sin(i);
    // Ecliptic of J2000.0, then the equator.
    const double x = xw * (cw * cn - sw * sn * ci) - yw * (sw * cn + cw * sn * ci);
    const double y = xw * (cw * sn + sw * cn * ci) + yw * (cw * cn * ci - sw * sn);
    const double z = xw * (sw * si) + yw * (cw * si);
    const double cos_eps = std::cos(OBLIQUITY_J2000);
    const double sin_eps = std::sin(OBLIQUITY_J2000);
    const Vector3 position{{KM_PER_AU * x, KM_PER_AU * (cos_eps * y - sin_eps * z),
                            KM_PER_AU * (sin_eps * y + cos_eps * z)}};
    // A relative rounding of 1e-13 covers both evaluations' arithmetic.
    return {position, KM_PER_AU * a * (anomaly_error + 1e-13)};
}

double light_time_shift_bound(const AstorbRecord& record)
{
    // The corrected position differs from the geometric one by the orbit's
    // path over the light time; no speed on the ellipse exceeds the one at
    // perihelion, k sqrt((1 + e) / (a (1 - e))) AU per day. The light time of
    // the corrected distance is at most (1 + beta) times that of the
    // geometric one, so the path is at most beta (1 + beta) times the
    // geometric distance, and the angle at most asin of that.
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    const double speed = GAUSSIAN_CONSTANT * std::sqrt((1.0 + e) / (a * (1.0 - e)));
    const double beta = speed / SPEED_OF_LIGHT_AU_PER_DAY;
    const double k = beta * (1.0 + beta);
    if (!(k < LARGEST_SPEED_RATIO)) {
        return INFINITY;
    }
    return 0.5 * PI * k;  // asin k <= (pi/2) k
}

FieldPrefilter field_prefilter(const SearchRequest& request, const Vector3& observer_position)
{
    const double radius = std::atan(SQRT_2 * ACCEPTANCE_FACTOR * request.half_side_deg * DEG_TO_RAD);
    const double ra = request.centre_ra_deg * DEG_TO_RAD;
    const double dec = request.centre_dec_deg * DEG_TO_RAD;
    FieldPrefilter prefilter{};
    prefilter.active = std::isfinite(radius) && std::isfinite(ra) && std::isfinite(dec);
    prefilter.utc_mjd = request.utc_mjd;
    prefilter.observer_position = observer_position;
    prefilter.centre = Vector3{{std::cos(ra) * std::cos(dec), std::sin(ra) * std::cos(dec), std::sin(dec)}};
    prefilter.cos_radius = std::cos(radius);
    prefilter.sin_radius = std::sin(radius);
    return prefilter;
}

bool may_be_in_field(const FieldPrefilter& f, const AstorbRecord& record)
{
    if (!f.active || !(record.eccentricity <= LARGEST_ECCENTRICITY)) {
        return true;
    }
    const double shift = light_time_shift_bound(record);
    if (!std::isfinite(shift)) {
        return true;
    }
    const BoundedPosition p = bounded_geometric_position(record, f.utc_mjd);
    const Vector3 g{{p.position(1) - f.observer_position(1), p.position(2) - f.observer_position(2),
                     p.position(3) - f.observer_position(3)}};
    const double distance = std::sqrt(dot_product(g, g));
    if (!(distance > NEAREST_DISTANCE_KM) || !(p.error_km < 0.01 * distance)) {
        return true;
    }
    // The place may differ from the direction of g by the light-time shift,
    // the error of the position (at most asin(error / distance) <= (pi/2)
    // error / distance) and rounding.
    const double delta = shift + 0.5 * PI * p.error_km / distance + ROUNDING_MARGIN;
    // cos(radius + delta) >= cos radius (1 - delta^2 / 2) - sin radius delta.
    const double lowest_cos = f.cos_radius * (1.0 - 0.5 * delta * delta) - f.sin_radius * delta;
    if (!(lowest_cos > 0.0)) {
        return true;
    }
    return !(dot_product(g, f.centre) < lowest_cos * distance);
}

bool may_be_in_field(const FieldPrefilter& prefilter, const OrbitRecord& record)
{
    const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record);
    return asteroid == nullptr || may_be_in_field(prefilter, *asteroid);
}
