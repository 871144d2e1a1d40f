#include "illumination.hpp"

#include <algorithm>
#include <cmath>

#include "angles.hpp"
#include "constants.hpp"

namespace fieldsearch {

namespace {

double length(const Vector3& v)
{
    return std::sqrt(square(v(1)) + square(v(2)) + square(v(3)));
}

Vector3 difference(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
}

// The angle between a and b (radians, [0, pi]) from the length of their
// vector product and their scalar product: accurate at every angle.
double angle_between_rad(const Vector3& a, const Vector3& b)
{
    const Vector3 cross{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
    return atan2_radians(length(cross), dot_product(a, b));
}

// Area (steradians) of a cap of angular radius theta: 2 pi (1 - cos theta).
double cap_area(double theta)
{
    return 4.0 * PI * square(std::sin(0.5 * theta));
}

// Area (steradians) common to two caps of angular radii t1 and t2 (each at
// most pi/2) whose centres are g apart (radians).
double cap_overlap_area(double t1, double t2, double g)
{
    if (g >= t1 + t2) {
        return 0.0;
    }
    if (g + t1 <= t2) {
        return cap_area(t1);
    }
    if (g + t2 <= t1) {
        return cap_area(t2);
    }
    // The lens between the two boundary circles, by Gauss-Bonnet: 2 pi less
    // the turning of its two arcs (each of half-angle phi about its cap's
    // centre and geodesic curvature cot t, so 2 phi cos t) and of its two
    // corners (each the angle omega between the circles' radii there):
    // A = 2 (pi - omega) - 2 phi1 cos t1 - 2 phi2 cos t2. The angles are
    // those of the triangle of the two centres and a corner, with sides t1,
    // t2 and g, from the half-angle formulas (well conditioned near tangency).
    const double s = 0.5 * (t1 + t2 + g);
    const double sin_s = std::sin(s);
    const double sin_s1 = std::sin(s - t1);
    const double sin_s2 = std::sin(s - t2);
    const double sin_sg = std::sin(s - g);
    const double phi1 = 2.0 * atan2_radians(std::sqrt(sin_s1 * sin_sg), std::sqrt(sin_s * sin_s2));
    const double phi2 = 2.0 * atan2_radians(std::sqrt(sin_s2 * sin_sg), std::sqrt(sin_s * sin_s1));
    const double pi_less_omega = 2.0 * atan2_radians(std::sqrt(sin_s * sin_sg), std::sqrt(sin_s1 * sin_s2));
    const double area = 2.0 * (pi_less_omega - phi1 * std::cos(t1) - phi2 * std::cos(t2));
    return std::clamp(area, 0.0, cap_area(std::min(t1, t2)));
}

// Distance from the point (x, y) to the segment from (ax, ay) to (bx, by).
double distance_to_segment(double x, double y, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax;
    const double dy = by - ay;
    const double along = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (ax + along * dx), y - (ay + along * dy));
}

}  // namespace

double phase_angle_rad(const Vector3& sun_to_body, const Vector3& observer_to_body)
{
    const double r = length(sun_to_body);
    const double delta = length(observer_to_body);
    const double c = dot_product(sun_to_body, observer_to_body) / (r * delta);
    const double s = std::sqrt(std::fabs(1.0 - c * c));
    return atan2_radians(s, c);
}

double visible_disc_fraction(double disc_rad, double occulter_rad, double separation_rad)
{
    const double hidden = cap_overlap_area(disc_rad, occulter_rad, separation_rad) / cap_area(disc_rad);
    return std::clamp(1.0 - hidden, 0.0, 1.0);
}

Shadow earth_shadow(const Vector3& body_km, const Vector3& sun_km)
{
    const double re = WGS84_EQUATORIAL_RADIUS_KM;
    const double rs = SUN_RADIUS_KM;
    const double sun_distance = length(sun_km);
    // The shadow's axis, from the Sun through the Earth's centre; x is the
    // body's distance along it behind the centre, rho its distance from it.
    const Vector3 axis{{-sun_km(1) / sun_distance, -sun_km(2) / sun_distance, -sun_km(3) / sun_distance}};
    const double x = dot_product(body_km, axis);
    const double rho = length(Vector3{{body_km(1) - x * axis(1), body_km(2) - x * axis(2), body_km(3) - x * axis(3)}});

    // The penumbra's cone: vertex re / sin f sunward of the centre, half-angle
    // f with sin f = (rs + re) / distance, touching the Earth at x = -re sin f.
    const double sin_penumbra = (rs + re) / sun_distance;
    const double tan_penumbra = sin_penumbra / std::sqrt((1.0 - sin_penumbra) * (1.0 + sin_penumbra));
    const double penumbra_vertex = re / sin_penumbra;
    if (!(x > -re * sin_penumbra && rho < (x + penumbra_vertex) * tan_penumbra)) {
        return {ShadowState::sunlit, 1.0};
    }
    // The umbra's cone: vertex re / sin f behind the centre, sin f = (rs - re)
    // / distance, touching the Earth at x = re sin f.
    const double sin_umbra = (rs - re) / sun_distance;
    const double tan_umbra = sin_umbra / std::sqrt((1.0 - sin_umbra) * (1.0 + sin_umbra));
    const double umbra_vertex = re / sin_umbra;
    if (x > re * sin_umbra && x <= umbra_vertex && rho <= (umbra_vertex - x) * tan_umbra) {
        return {ShadowState::umbra, 0.0};
    }

    const double body_distance = length(body_km);
    const double sun_radius = std::asin(rs / length(difference(sun_km, body_km)));
    const double earth_radius = body_distance > re ? std::asin(re / body_distance) : 0.5 * PI;
    const Vector3 to_earth{{-body_km(1), -body_km(2), -body_km(3)}};
    const double separation = angle_between_rad(difference(sun_km, body_km), to_earth);
    return {ShadowState::penumbra, visible_disc_fraction(sun_radius, earth_radius, separation)};
}

double umbra_boundary_distance_km(const Vector3& body_km, const Vector3& sun_km)
{
    const double re = WGS84_EQUATORIAL_RADIUS_KM;
    const double sun_distance = length(sun_km);
    const Vector3 axis{{-sun_km(1) / sun_distance, -sun_km(2) / sun_distance, -sun_km(3) / sun_distance}};
    const double x = dot_product(body_km, axis);
    const double rho = length(Vector3{{body_km(1) - x * axis(1), body_km(2) - x * axis(2), body_km(3) - x * axis(3)}});
    // In the half-plane of the axis and the body the umbra is the triangle
    // of the axis from the tangent circle's plane (x = re sin f) to the
    // vertex (x = re / sin f), the cone's generator from the tangent point
    // (re sin f, re cos f) to the vertex, and the radius of the tangent
    // circle; the axis itself is no boundary of the solid.
    const double sin_umbra = (SUN_RADIUS_KM - re) / sun_distance;
    const double cos_umbra = std::sqrt((1.0 - sin_umbra) * (1.0 + sin_umbra));
    const double vertex = re / sin_umbra;
    const double tangent_x = re * sin_umbra;
    const double tangent_rho = re * cos_umbra;
    return std::min(distance_to_segment(x, rho, tangent_x, tangent_rho, vertex, 0.0),
                    distance_to_segment(x, rho, tangent_x, 0.0, tangent_x, tangent_rho));
}

double diffuse_sphere_phase_law(double phase_rad)
{
    // With e = pi - b the law is sin e - e cos e; near e = 0, where the two
    // terms cancel, its series e^3/3 - e^5/30 + e^7/840.
    const double e = PI - phase_rad;
    if (std::fabs(e) < 1e-3) {
        const double e2 = e * e;
        return e * e2 * (1.0 / 3.0 - e2 * (1.0 / 30.0 - e2 * (1.0 / 840.0)));
    }
    return std::sin(e) - e * std::cos(e);
}

std::optional<double> diffuse_sphere_magnitude(double m_std, double range_km, double phase_rad, const Shadow& shadow)
{
    if (shadow.state == ShadowState::umbra || !(shadow.visible_sun_fraction > 0.0) || !(range_km > 0.0)) {
        return std::nullopt;
    }
    const double law = diffuse_sphere_phase_law(phase_rad);
    if (!(law > 0.0)) {
        return std::nullopt;
    }
    double magnitude = m_std - 15.0 + 5.0 * std::log10(range_km) - 2.5 * std::log10(law);
    if (shadow.state == ShadowState::penumbra) {
        magnitude -= 2.5 * std::log10(shadow.visible_sun_fraction);
    }
    if (!std::isfinite(magnitude)) {
        return std::nullopt;
    }
    return magnitude;
}

Illumination illumination_seen_from(const Vector3& body_km, const Vector3& observer_km, const Vector3& sun_km,
                                    std::optional<double> m_std)
{
    const Vector3 topocentric = difference(body_km, observer_km);
    Illumination illumination{};
    illumination.range_km = length(topocentric);
    illumination.shadow = earth_shadow(body_km, sun_km);
    const double phase = phase_angle_rad(difference(body_km, sun_km), topocentric);
    illumination.phase_angle_deg = phase * RAD_TO_DEG;
    if (m_std) {
        illumination.v_mag = diffuse_sphere_magnitude(*m_std, illumination.range_km, phase, illumination.shadow);
    }
    return illumination;
}

}  // namespace fieldsearch
