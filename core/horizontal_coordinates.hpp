// Altitude and azimuth as seen from a site on the Earth: the local horizon
// of the WGS84 ellipsoid at the site (its normal and the directions of north
// and east there) and a direction's geometric altitude and azimuth against
// it, from the Earth-fixed frame of sidereal_time.hpp (precession, nutation
// and apparent sidereal time; no polar motion). No refraction.
#pragma once

#include <optional>

#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The local horizon of a site: unit vectors, Earth-fixed.
struct LocalHorizon {
    Vector3 east;
    Vector3 north;
    Vector3 up;  // the ellipsoid's outward normal at the site's geodetic latitude and longitude
};

// Within this distance of the Earth's centre (km) a site is the centre
// itself, a geocentric observer, and has no horizon.
inline constexpr double GEOCENTRIC_SITE_KM = 1e-3;

// The horizon of the site at geocentric Earth-fixed position `site_km` (km);
// empty for a geocentric observer.
std::optional<LocalHorizon> local_horizon(const Vector3& site_km);

// Geometric altitude above the horizon plane and azimuth from north through
// east, degrees.
struct HorizontalCoordinates {
    double altitude_deg;  // [-90, 90]
    double azimuth_deg;   // [0, 360); 0 for a direction exactly along the vertical
};

// The altitude and azimuth of the Earth-fixed direction `direction` (any
// length) against `horizon`.
HorizontalCoordinates horizontal_from_earth_fixed(const Vector3& direction, const LocalHorizon& horizon);

// The same for the direction `direction_j2000` on the mean equator and
// equinox of J2000.0, turned into the Earth-fixed frame by
// `j2000_to_earth_fixed` (celestial_to_terrestrial_matrix at the instant).
HorizontalCoordinates horizontal_from_j2000(const Vector3& direction_j2000, const Matrix3& j2000_to_earth_fixed,
                                            const LocalHorizon& horizon);

// The altitude and azimuth of the J2000 direction `direction_j2000` at UTC
// MJD `utc` (UT1 = UTC + dut1_seconds, TT from `leap_seconds`) seen from the
// site at geocentric Earth-fixed `site_km` (km); empty for a geocentric
// observer.
std::optional<HorizontalCoordinates> horizontal_coordinates_at(double utc, double dut1_seconds,
                                                               const LeapSecondTable& leap_seconds,
                                                               const Vector3& site_km,
                                                               const Vector3& direction_j2000);

}  // namespace fieldsearch
