// The Sun's light on a body near the Earth: the shadow the Earth casts on it
// (sunlit, penumbra or umbra, and in penumbra the part of the Sun's disc left
// in view), the phase angle, and the brightness of a diffuse sphere from its
// standard magnitude. Positions are geocentric, km, on the mean equator and
// equinox of J2000.0 (any one frame will do: only their geometry counts).
#pragma once

#include <optional>

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The Sun is a sphere of SUN_RADIUS_KM; the Earth that casts the shadow is a
// sphere of the WGS84 equatorial radius.

enum class ShadowState { sunlit, penumbra, umbra };

struct Shadow {
    ShadowState state;
    double visible_sun_fraction;  // of the area of the Sun's disc: 1 sunlit, 0 umbra, between in penumbra
};

// The angle (radians, [0, pi]) between the directions from a body to the Sun
// and to its observer, from the vector from the Sun to the body and the
// vector from the observer to the body (one frame, one unit).
double phase_angle_rad(const Vector3& sun_to_body, const Vector3& observer_to_body);

// The fraction of the area of a uniform disc of angular radius `disc_rad`
// that an occulting disc of angular radius `occulter_rad`, its centre
// `separation_rad` away, leaves in view: 1 when they do not overlap, 0 when
// the occulter covers it. Both are circles on the sky (caps of the unit
// sphere, radii up to pi/2), their overlap the exact area on the sphere.
double visible_disc_fraction(double disc_rad, double occulter_rad, double separation_rad);

// The Earth's shadow at a body at geocentric position `body_km` with the Sun
// at geocentric position `sun_km` (km, one frame): umbra inside the cone
// tangent to both spheres that closes behind the Earth (up to its vertex),
// penumbra inside the cone whose generators cross between them and not in
// umbra (beyond the umbra's vertex too, where the Earth is seen inside the
// Sun's disc), sunlit elsewhere, each cone taken behind the circle where it
// touches the Earth. The Sun's distance must exceed the sum of the radii.
// In penumbra the visible fraction is visible_disc_fraction of the Sun's
// disc behind the Earth's as the body sees them (a body inside the sphere
// sees the Earth's disc as a half-sky).
Shadow earth_shadow(const Vector3& body_km, const Vector3& sun_km);

// How far (km) a body at geocentric `body_km` lies from the boundary of
// earth_shadow's umbra with the Sun at geocentric `sun_km` (km, one frame):
// from inside to the umbra's edge, from outside to the umbra. The umbra is
// the solid of revolution about the shadow's axis bounded by its cone, from
// the circle where the cone touches the Earth to the vertex, and by that
// circle's disc; the distance is the exact one to that surface, up to
// rounding. Where the body is in umbra by earth_shadow it is inside.
double umbra_boundary_distance_km(const Vector3& body_km, const Vector3& sun_km);

// The phase law of a diffuse (Lambertian) sphere, sin b + (pi - b) cos b at
// phase angle b (radians): pi at full phase, 1 at 90 deg, 0 at 180 deg.
double diffuse_sphere_phase_law(double phase_rad);

// The visual magnitude of a diffuse sphere of standard magnitude `m_std`
// (the magnitude at 1,000 km and 90 deg phase) at `range_km` from its
// observer and phase angle `phase_rad`:
// m_std - 15 + 5 log10(range_km) - 2.5 log10(phase law), less 2.5 log10 of
// the visible fraction of the Sun in penumbra. Empty in umbra, where the
// phase law is not positive or no Sun is in view, and for a range that is
// not positive.
std::optional<double> diffuse_sphere_magnitude(double m_std, double range_km, double phase_rad, const Shadow& shadow);

// What the observer sees of the Sun's light on a body.
struct Illumination {
    double range_km;               // observer to body
    Shadow shadow;
    double phase_angle_deg;        // Sun - body - observer
    std::optional<double> v_mag;   // diffuse_sphere_magnitude, empty without a standard magnitude
};

// The illumination of a body at geocentric `body_km` seen from an observer at
// geocentric `observer_km` with the Sun at geocentric `sun_km` (km, one
// frame), its magnitude from `m_std` when one is known.
Illumination illumination_seen_from(const Vector3& body_km, const Vector3& observer_km, const Vector3& sun_km,
                                    std::optional<double> m_std);

}  // namespace fieldsearch
