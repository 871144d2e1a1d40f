#include "solar_ephemeris.hpp"

#include <cmath>

#include "angles.hpp"
#include "precession_nutation.hpp"
#include "time_scales.hpp"
#include "two_body.hpp"

namespace fieldsearch {

namespace {

// 1/36525, Julian centuries per day, held in extended precision.
constexpr long double CENTURIES_PER_DAY_EXTENDED = 1.0L / 36525.0L;

// Julian centuries of `mjd` from J2000.0.
double centuries_from_j2000(double mjd)
{
    return static_cast<double>(static_cast<long double>(mjd - MJD_J2000) * CENTURIES_PER_DAY_EXTENDED);
}

// 2 pi frac(c0 + c1 T), radians.
double series_angle(double c0, double c1, double t)
{
    return TWO_PI * frac(c0 + c1 * t);
}

// The arguments of the series at T, radians; the planets' mean anomalies
// sit at the indices of SolarSeriesAngle.
struct SolarSeriesArguments {
    std::array<double, 7> mean_anomaly;  // [2] Venus ... [6] Saturn
    double elongation_moon;              // D
    double mean_anomaly_moon;            // A
    double latitude_argument_moon;       // U
};

SolarSeriesArguments solar_series_arguments(double t)
{
    SolarSeriesArguments p{};
    p.mean_anomaly[MEAN_ANOMALY_VENUS] = series_angle(0.1387306, 162.5485917, t);
    p.mean_anomaly[MEAN_ANOMALY_EARTH] = series_angle(0.9931266, 99.9973604, t);
    p.mean_anomaly[MEAN_ANOMALY_MARS] = series_angle(0.0543250, 53.1666028, t);
    p.mean_anomaly[MEAN_ANOMALY_JUPITER] = series_angle(0.0551750, 8.4293972, t);
    p.mean_anomaly[MEAN_ANOMALY_SATURN] = series_angle(0.8816500, 3.3938722, t);
    p.elongation_moon = series_angle(0.8274, 1236.8531, t);
    p.mean_anomaly_moon = series_angle(0.3749, 1325.5524, t);
    p.latitude_argument_moon = series_angle(0.2591, 1342.2278, t);
    return p;
}

// The perturbation sums: longitude and latitude in arcseconds, distance in
// 1e-6 AU.
struct SolarPerturbations {
    double longitude = 0.0;
    double distance = 0.0;
    double latitude = 0.0;
};

SolarPerturbations solar_perturbations(const SolarSeriesArguments& p, double t)
{
    SolarPerturbations sum;
    const double m3 = p.mean_anomaly[MEAN_ANOMALY_EARTH];
    for (const SolarPlanetaryTerm& term : SOLAR_PLANETARY_TERMS) {
        const double phi = term.i * m3 + term.j * p.mean_anomaly[static_cast<std::size_t>(term.body)];
        double t_power = 1.0;
        for (int k = 0; k < term.power; ++k) {
            t_power *= t;
        }
        const double c = std::cos(phi);
        const double s = std::sin(phi);
        sum.longitude += t_power * (term.longitude_cos * c + term.longitude_sin * s);
        sum.distance += t_power * (term.distance_cos * c + term.distance_sin * s);
        sum.latitude += t_power * (term.latitude_cos * c + term.latitude_sin * s);
    }
    for (const SolarLunarTerm& term : SOLAR_LUNAR_TERMS) {
        const double phi = term.d * p.elongation_moon + term.a * p.mean_anomaly_moon + term.m * m3 +
                           term.u * p.latitude_argument_moon;
        sum.longitude += term.longitude_sin * std::sin(phi);
        sum.distance += term.distance_cos * std::cos(phi);
        sum.latitude += term.latitude_sin * std::sin(phi);
    }
    for (const SolarLongPeriodTerm& term : SOLAR_LONG_PERIOD_TERMS) {
        sum.longitude += term.c * std::sin(TWO_PI * (term.a + term.b * t));
    }
    return sum;
}

}  // namespace

SunEclipticCoordinates sun_ecliptic_coordinates(double mjd)
{
    const double t = centuries_from_j2000(mjd);
    const SolarSeriesArguments p = solar_series_arguments(t);
    const SolarPerturbations d = solar_perturbations(p, t);
    const double m3 = p.mean_anomaly[MEAN_ANOMALY_EARTH];
    const double longitude =
        TWO_PI * frac(0.7859453 + m3 / TWO_PI + ((6191.2 + 1.1 * t) * t + d.longitude) / 1296000.0);
    const double latitude = d.latitude * ARCSEC_TO_RAD;
    const double distance = 1.0001398 - 0.0000007 * t + d.distance * 1e-6;
    return {longitude, latitude, distance};
}

Vector3 equatorial_from_ecliptic(double mjd, double longitude, double latitude, double distance)
{
    const double eps = mean_obliquity(mjd);
    const double cos_b = std::cos(latitude);
    const double sin_b = std::sin(latitude);
    const double cos_l = std::cos(longitude);
    const double sin_l = std::sin(longitude);
    const double cos_eps = std::cos(eps);
    const double sin_eps = std::sin(eps);
    return Vector3{{distance * cos_b * cos_l, distance * (cos_b * sin_l * cos_eps - sin_b * sin_eps),
                    distance * (cos_b * sin_l * sin_eps + sin_b * cos_eps)}};
}

Vector3 j2000_from_ecliptic_of_date(double mjd, double longitude, double latitude, double distance)
{
    const Vector3 of_date = equatorial_from_ecliptic(mjd, longitude, latitude, distance);
    // The precession matrix takes J2000.0 to the date; its transpose goes back.
    const Matrix3 precession = precession_matrix(MJD_J2000, mjd);
    return matrix_vector_product(transpose_matrix(precession), of_date);
}

Vector3 earth_heliocentric_vector(double mjd)
{
    const SunEclipticCoordinates sun = sun_ecliptic_coordinates(mjd);
    const Vector3 w = j2000_from_ecliptic_of_date(mjd, sun.longitude, sun.latitude, sun.distance);
    return Vector3{{w(1) * -KM_PER_AU, w(2) * -KM_PER_AU, w(3) * -KM_PER_AU}};
}

}  // namespace fieldsearch
