#include "reference_systems.hpp"

#include <erfa.h>

#include <cmath>

#include "precession_nutation.hpp"

namespace fieldsearch {

namespace {

// Right ascension reduced into [0, 360), degrees.
double normalised_ra(double ra_deg)
{
    double ra = std::fmod(ra_deg, 360.0);
    if (ra < 0.0) {
        ra += 360.0;
    }
    return ra >= 360.0 ? 0.0 : ra;
}

SkyPoint rotated(const Matrix3& m, const SkyPoint& p)
{
    const SphericalCoordinates s = spherical_from_vector(matrix_vector_product(m, unit_vector_from_sky(p.ra_deg, p.dec_deg)));
    return {normalised_ra(s.ra_deg), s.dec_deg};
}

// The Besselian epoch of the FK4 places: B1950.0.
constexpr double FK4_EPOCH = 1950.0;

}  // namespace

SkyPoint place_in_system(CelestialSystem system, const SkyPoint& j2000)
{
    switch (system) {
    case CelestialSystem::icrs:
        return rotated(transpose_matrix(frame_bias_matrix()), j2000);
    case CelestialSystem::fk4_b1950: {
        // ERFA's fk54z is the inverse of fk45z to some microarcseconds; a
        // few corrections make it the inverse to the rounding, so that a
        // place goes to pixels and back unchanged.
        const double ra2000 = j2000.ra_deg * DEG_TO_RAD;
        const double dec2000 = j2000.dec_deg * DEG_TO_RAD;
        double ra = 0.0;
        double dec = 0.0;
        double dra = 0.0;
        double ddec = 0.0;
        eraFk54z(ra2000, dec2000, FK4_EPOCH, &ra, &dec, &dra, &ddec);
        for (int i = 0; i < 3; ++i) {
            double ra_back = 0.0;
            double dec_back = 0.0;
            eraFk45z(ra, dec, FK4_EPOCH, &ra_back, &dec_back);
            ra += eraAnpm(ra2000 - ra_back);
            dec += dec2000 - dec_back;
        }
        return {normalised_ra(ra * RAD_TO_DEG), dec * RAD_TO_DEG};
    }
    case CelestialSystem::fk5_j2000:
        break;
    }
    return {normalised_ra(j2000.ra_deg), j2000.dec_deg};
}

SkyPoint place_from_system(CelestialSystem system, const SkyPoint& place)
{
    switch (system) {
    case CelestialSystem::icrs:
        return rotated(frame_bias_matrix(), place);
    case CelestialSystem::fk4_b1950: {
        double ra = 0.0;
        double dec = 0.0;
        eraFk45z(place.ra_deg * DEG_TO_RAD, place.dec_deg * DEG_TO_RAD, FK4_EPOCH, &ra, &dec);
        return {normalised_ra(ra * RAD_TO_DEG), dec * RAD_TO_DEG};
    }
    case CelestialSystem::fk5_j2000:
        break;
    }
    return {normalised_ra(place.ra_deg), place.dec_deg};
}

const char* region_system_name(CelestialSystem system)
{
    switch (system) {
    case CelestialSystem::icrs:
        return "icrs";
    case CelestialSystem::fk4_b1950:
        return "fk4";
    case CelestialSystem::fk5_j2000:
        break;
    }
    return "fk5";
}

}  // namespace fieldsearch
