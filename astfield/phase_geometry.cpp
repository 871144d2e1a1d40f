#include "phase_geometry.hpp"

#include <cmath>

#include "angles.hpp"
#include "constants.hpp"
#include "illumination.hpp"

namespace fieldsearch {

namespace {

double length(const Vector3& v)
{
    return std::sqrt(square(v(1)) + square(v(2)) + square(v(3)));
}

}  // namespace

double elongation_rad(const Vector3& sun_to_observer, const Vector3& observer_to_object)
{
    // The phase angle's figure with the observer at its vertex: the angle
    // there between the Sun and the object, from the vectors that end at it.
    const Vector3 object_to_observer{{-observer_to_object(1), -observer_to_object(2), -observer_to_object(3)}};
    return phase_angle_rad(sun_to_observer, object_to_observer);
}

PhaseGeometry phase_geometry(const Vector3& object_heliocentric_km, const Vector3& observer_to_object_km)
{
    const Vector3 sun_to_observer{{object_heliocentric_km(1) - observer_to_object_km(1),
                                   object_heliocentric_km(2) - observer_to_object_km(2),
                                   object_heliocentric_km(3) - observer_to_object_km(3)}};
    PhaseGeometry geometry;
    geometry.helio_distance_au = length(object_heliocentric_km) / KM_PER_AU;
    geometry.geo_distance_au = length(observer_to_object_km) / KM_PER_AU;
    geometry.phase_angle_deg = phase_angle_rad(object_heliocentric_km, observer_to_object_km) * RAD_TO_DEG;
    geometry.elongation_deg = elongation_rad(sun_to_observer, observer_to_object_km) * RAD_TO_DEG;
    return geometry;
}

}  // namespace fieldsearch
