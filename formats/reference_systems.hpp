// The celestial reference systems an image's world coordinate system may be
// in, and the change between each and the places the searches compute
// (the mean equator and equinox of J2000.0).
#pragma once

#include "angles.hpp"

namespace fieldsearch {

// The systems a frame's WCS may use: the ICRS; FK5 at the equinox J2000,
// taken as the mean equator and equinox of J2000.0 itself; FK4 at the
// equinox B1950 (old plates).
enum class CelestialSystem { icrs, fk5_j2000, fk4_b1950 };

// The place (degrees) in `system` of a place on the mean equator and
// equinox of J2000.0 (degrees): through the IAU 2006 frame bias for the
// ICRS, unchanged for FK5 J2000, and for FK4 B1950 by the inverse of the
// standard transformation from FK4 (eraFk45z, below: ERFA's eraFk54z
// refined to invert it exactly). Right ascension in [0, 360).
SkyPoint place_in_system(CelestialSystem system, const SkyPoint& j2000);

// The inverse of place_in_system: a place (degrees) given in `system` on the
// mean equator and equinox of J2000.0; from FK4 B1950 by the standard
// transformation with the E-terms of aberration, for no proper motion in
// FK5 at the epoch B1950.0 (ERFA's eraFk45z).
SkyPoint place_from_system(CelestialSystem system, const SkyPoint& place);

// The name a region file gives the system: "icrs", "fk5" or "fk4".
const char* region_system_name(CelestialSystem system);

}  // namespace fieldsearch
