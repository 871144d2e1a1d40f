// The predicted visual magnitude of an asteroid in the H-G system, with the
// exponential approximations of the two phase functions.
#pragma once

#include "vectors_matrices.hpp"

namespace fieldsearch {

// V magnitude of an asteroid of absolute magnitude `h` and slope parameter
// `g`, from its heliocentric vector and the vector from the observer to it
// (both AU, one frame). Beyond a phase angle of about 173 deg the result is
// h itself.
double hg_magnitude(double h, double g, const Vector3& heliocentric_au, const Vector3& observer_to_object_au);

// The same from the two vectors in km.
double apparent_magnitude(double h, double g, const Vector3& asteroid_position_km, const Vector3& topocentric_km);

}  // namespace fieldsearch
