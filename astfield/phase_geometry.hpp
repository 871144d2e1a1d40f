// The triangle of the Sun, an object and its observer as an ephemeris row
// shows it: the object's distances from the Sun and from the observer, its
// phase angle and its elongation from the Sun.
#pragma once

#include "vectors_matrices.hpp"

namespace fieldsearch {

struct PhaseGeometry {
    double helio_distance_au;  // r, Sun to object
    double geo_distance_au;    // delta, observer to object
    double phase_angle_deg;    // Sun - object - observer
    double elongation_deg;     // Sun - observer - object
};

// The elongation (radians, [0, pi]) of an object from the Sun as its
// observer sees it: the angle at the observer between the directions to the
// Sun and to the object, from the vector from the Sun to the observer and the
// vector from the observer to the object (one frame, one unit).
double elongation_rad(const Vector3& sun_to_observer, const Vector3& observer_to_object);

// The triangle of an object at heliocentric `object_heliocentric_km` (where
// its light left it) and the vector `observer_to_object_km` from the
// observer (at the instant the light arrives) to it, km, one frame: the
// pair a light-time corrected place holds. The observer's heliocentric
// position is their difference.
PhaseGeometry phase_geometry(const Vector3& object_heliocentric_km, const Vector3& observer_to_object_km);

}  // namespace fieldsearch
