#include "asteroid_evaluation.hpp"

#include <cmath>

#include "hg_magnitude.hpp"
#include "light_time.hpp"
#include "square_field.hpp"

namespace {

constexpr double ARCSEC_PER_DEGREE = 3600.0;
// 1/24, hours to days, held in extended precision.
constexpr long double DAYS_PER_HOUR = 1.0L / 24.0L;

// Degrees per day over the central difference, to arcseconds per hour.
double arcsec_per_hour(double difference_deg)
{
    const double per_day = difference_deg / (2.0 * MOTION_STEP_DAYS) * ARCSEC_PER_DEGREE;
    return static_cast<double>(per_day * DAYS_PER_HOUR);
}

// Topocentric right ascension and declination (degrees) at `utc_mjd`, seen
// from `observer_position`, the observer at that same instant.
SphericalCoordinates place_at(const AstorbRecord& record, const Vector3& observer_position, double utc_mjd)
{
    const LightTimeCorrected seen = light_time_corrected_vector(epoch_mjd(record), elements_aei(record),
                                                                elements_angles(record), utc_mjd, observer_position);
    return spherical_from_vector(seen.topocentric);
}

}  // namespace

double ra_motion_arcsec_per_hour(double alpha1_deg, double alpha2_deg)
{
    return arcsec_per_hour(right_ascension_change_deg(alpha1_deg, alpha2_deg));
}

double dec_motion_arcsec_per_hour(double delta1_deg, double delta2_deg)
{
    return arcsec_per_hour(delta2_deg - delta1_deg);
}

ObserverPositions observer_positions(const SearchRequest& request)
{
    const Vector3 observer{{request.observer_x, request.observer_y, request.observer_z}};
    const double t = request.utc_mjd;
    const double dut1 = request.ut1_minus_utc_seconds;
    const LeapSecondTable& leap_seconds = request.leap_seconds;
    return {observer_heliocentric_position(t, dut1, leap_seconds, observer),
            observer_heliocentric_position(t - MOTION_STEP_DAYS, dut1, leap_seconds, observer),
            observer_heliocentric_position(t + MOTION_STEP_DAYS, dut1, leap_seconds, observer)};
}

std::optional<AsteroidSighting> asteroid_sighting(const SearchRequest& request, const ObserverPositions& observer,
                                                  const AstorbRecord& record)
{
    if (!has_elliptic_elements(record)) {
        return std::nullopt;
    }
    const double t = request.utc_mjd;
    const LightTimeCorrected seen = light_time_corrected_vector(epoch_mjd(record), elements_aei(record),
                                                                elements_angles(record), t, observer.at);
    const double magnitude = apparent_magnitude(record.h, record.g, seen.asteroid_position, seen.topocentric);
    const SphericalCoordinates place = spherical_from_vector(seen.topocentric);
    if (in_square_field(place.ra_deg, place.dec_deg, magnitude, request.centre_ra_deg, request.centre_dec_deg,
                        request.half_side_deg, request.mag_limit) == 0) {
        return std::nullopt;
    }

    AsteroidSighting sighting{};
    sighting.number = record.number;
    sighting.name = record.name;
    sighting.ra_deg = place.ra_deg;
    sighting.dec_deg = place.dec_deg;
    sighting.ra = ra_to_hms(place.ra_deg);
    sighting.dec = dec_to_dms(place.dec_deg);
    sighting.magnitude = magnitude;

    const SphericalCoordinates before = place_at(record, observer.before, t - MOTION_STEP_DAYS);
    const SphericalCoordinates after = place_at(record, observer.after, t + MOTION_STEP_DAYS);
    sighting.ra_motion = ra_motion_arcsec_per_hour(before.ra_deg, after.ra_deg);
    sighting.dec_motion = dec_motion_arcsec_per_hour(before.dec_deg, after.dec_deg);
    if (!std::isfinite(sighting.ra_motion) || !std::isfinite(sighting.dec_motion) ||
        !std::isfinite(sighting.ra.seconds) || !std::isfinite(sighting.dec.arcseconds)) {
        return std::nullopt;
    }
    return sighting;
}

std::string asteroid_table_header()
{
    return "\nobject designation       r.a.         decl.     v       motion/hr"
           "\n                       h  m  s       o  '              "
           "r.a.   decl.\n"
           "\n";
}

std::string asteroid_report_row(const AsteroidSighting& s)
{
    return formatted("|%s|%s| %2i %2i %5.2f  %1c%2i %2i %4.1f %5.1f %7.1f %7.1f\n", s.number.data(), s.name.data(),
                     s.ra.hours, s.ra.minutes, s.ra.seconds, s.dec.sign, s.dec.degrees, s.dec.arcminutes,
                     s.dec.arcseconds, s.magnitude, s.ra_motion, s.dec_motion);
}

std::string asteroid_csv_header()
{
    return "number,name,ra_deg,dec_deg,ra_h,ra_m,ra_s,dec_sign,dec_deg_part,dec_arcmin,dec_arcsec,v_mag,"
           "motion_ra_arcsec_per_hour,motion_dec_arcsec_per_hour\n";
}

std::string asteroid_csv_row(const AsteroidSighting& s)
{
    return formatted("%s,%s,%.17g,%.17g,%d,%d,%.6f,%c,%d,%d,%.5f,%.3f,%.3f,%.3f\n", csv_field(s.number.data()).c_str(),
                     csv_field(s.name.data()).c_str(), s.ra_deg, s.dec_deg, s.ra.hours, s.ra.minutes, s.ra.seconds,
                     s.dec.sign, s.dec.degrees, s.dec.arcminutes, s.dec.arcseconds, s.magnitude, s.ra_motion,
                     s.dec_motion);
}
