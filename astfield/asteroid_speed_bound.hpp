// How fast an asteroid or comet can move as seen from an observer on the
// Earth: the bound the exposure search steps by.
#pragma once

#include "catalogue_record.hpp"

namespace fieldsearch {

// Bound of the speed (km/s) of an asteroid relative to an observer on the
// Earth: its heliocentric speed at perihelion (vis-viva, Gaussian constant,
// semi-major axis `a_au` in AU, eccentricity `e`) plus 30.8 km/s, which
// exceeds the greatest heliocentric speed of an observer (the Earth's
// orbital speed at perihelion 30.29, the barycentre wobble 0.013, rotation
// at most 0.466), the whole times 1.001 for the change of the light time.
// NaN when a, e describe no ellipse.
double asteroid_speed_bound_km_s(double a_au, double e);

// The same bound for a conic of perihelion distance `q_au` (AU) and
// eccentricity `e` (any, >= 0): its speed at perihelion plus the observer's,
// times 1.001. NaN when q, e describe no conic.
double comet_speed_bound_km_s(double q_au, double e);

// The bound for the object of a catalogue record: asteroid_speed_bound_km_s
// of an asteroid's elements, comet_speed_bound_km_s of a comet's.
double relative_speed_bound_km_s(const OrbitRecord& record);

}  // namespace fieldsearch
