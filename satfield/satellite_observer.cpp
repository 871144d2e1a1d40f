#include "satellite_observer.hpp"

#include <cmath>

#include "precession_nutation.hpp"
#include "sidereal_time.hpp"

namespace fieldsearch {

ObservationInstant observation_instant(double utc_mjd, double ut1_minus_utc_seconds,
                                       const LeapSecondTable& leap_seconds, const Vector3& observer_earth_fixed)
{
    return {utc_mjd, inverse_precession_nutation_matrix(utc_mjd),
            observer_geocentric_position(utc_mjd, ut1_minus_utc_seconds, leap_seconds, observer_earth_fixed),
            teme_to_true_of_date_matrix(utc_mjd)};
}

ObservationInstant observation_instant_near(const ObservationInstant& reference, double utc_mjd)
{
    const double turn = (utc_mjd - reference.utc_mjd) * EARTH_ROTATION_RAD_PER_DAY;  // the Earth's turn since the reference
    const Matrix3& to_j2000 = reference.true_of_date_to_j2000;
    const Vector3 observer_tod = matrix_vector_product(transpose_matrix(to_j2000), reference.observer_j2000);
    const Vector3 turned = matrix_vector_product(rotation_matrix(3, -turn), observer_tod);
    ObservationInstant instant = reference;
    instant.utc_mjd = utc_mjd;
    instant.observer_j2000 = matrix_vector_product(to_j2000, turned);
    return instant;
}

Vector3 satellite_topocentric_vector(const VintiOrbit& orbit, double epoch_mjd, double mean_anom, double omega,
                                     double node, double ndot2, const ObservationInstant& instant)
{
    const Vector3 true_of_date = vinti_position(orbit, epoch_mjd, omega, node, mean_anom, ndot2, instant.utc_mjd);
    const Vector3 p = matrix_vector_product(instant.true_of_date_to_j2000, true_of_date);
    Vector3 topocentric;
    for (int i = 1; i <= 3; ++i) {
        topocentric(i) = p(i) - instant.observer_j2000(i);
    }
    return topocentric;
}

Vector3 satellite_topocentric_vector(double epoch_mjd, double mean_anom, double omega, double node, double incl,
                                     double ecc, double n, double ndot2, const ObservationInstant& instant)
{
    return satellite_topocentric_vector(vinti_init(incl, ecc, n), epoch_mjd, mean_anom, omega, node, ndot2, instant);
}

double equation_of_the_equinoxes(double mjd)
{
    return nutation_angles(mjd).dpsi * std::cos(mean_obliquity(mjd));
}

Matrix3 teme_to_true_of_date_matrix(double mjd)
{
    return rotation_matrix(3, -equation_of_the_equinoxes(mjd));
}

Vector3 topocentric_vector_from_teme(const Vector3& teme, const ObservationInstant& instant)
{
    const Vector3 true_of_date = matrix_vector_product(instant.teme_to_true_of_date, teme);
    const Vector3 p = matrix_vector_product(instant.true_of_date_to_j2000, true_of_date);
    Vector3 topocentric;
    for (int i = 1; i <= 3; ++i) {
        topocentric(i) = p(i) - instant.observer_j2000(i);
    }
    return topocentric;
}

}  // namespace fieldsearch
