#include "satellite_evaluation.hpp"

#include <cmath>

#include "square_field.hpp"
#include "time_scales.hpp"

SatelliteSearchGeometry satellite_search_geometry(const SearchRequest& request)
{
    Vector3 observer;
    observer(1) = request.observer_x;
    observer(2) = request.observer_y;
    observer(3) = request.observer_z;
    const double t = request.utc_mjd;
    const double dut1 = request.ut1_minus_utc_seconds;
    const LeapSecondTable& leap_seconds = request.leap_seconds;
    return {request.centre_ra_deg,
            request.centre_dec_deg,
            request.half_side_deg,
            observation_instant(t, dut1, leap_seconds, observer),
            observation_instant(t - MOTION_STEP_DAYS, dut1, leap_seconds, observer),
            observation_instant(t + MOTION_STEP_DAYS, dut1, leap_seconds, observer)};
}

double tle_epoch_mjd(const TleRecord& record)
{
    return mjd_from_calendar(1, 1, record.epoch_year, 0, 0, 0.0) + (record.epoch_day - 1.0);
}

double motion_arcsec_per_second(double change_deg)
{
    return change_deg / (2.0 * MOTION_STEP_DAYS) * 3600.0 / 86400.0;
}

namespace {

bool is_finite(const Vector3& v)
{
    return std::isfinite(v(1)) && std::isfinite(v(2)) && std::isfinite(v(3));
}

// In-field test with the magnitude condition switched off.
constexpr double SATELLITE_MAGNITUDE = 0.0;
constexpr double SATELLITE_MAGNITUDE_LIMIT = 99.0;

constexpr const char* NO_FINITE_PLACE = "the orbit theory gives no finite position";

}  // namespace

SatelliteEvaluation evaluate_satellite(const TleRecord& r, const SatelliteSearchGeometry& g)
{
    SatelliteEvaluation result{};
    const VintiOrbit orbit = vinti_init(r.incl, r.ecc, r.n);
    if (const char* problem = vinti_orbit_problem(orbit)) {
        result.outcome = SatelliteOutcome::not_evaluated;
        result.problem = problem;
        return result;
    }
    const double epoch = tle_epoch_mjd(r);
    const Vector3 v = satellite_topocentric_vector(orbit, epoch, r.mean_anom, r.omega, r.node, r.ndot2, g.at);
    if (!is_finite(v)) {
        result.outcome = SatelliteOutcome::not_evaluated;
        result.problem = NO_FINITE_PLACE;
        return result;
    }
    const SphericalCoordinates place = spherical_from_vector(v);
    if (in_square_field(place.ra_deg, place.dec_deg, SATELLITE_MAGNITUDE, g.centre_ra_deg, g.centre_dec_deg,
                        g.half_side_deg, SATELLITE_MAGNITUDE_LIMIT) == 0) {
        result.outcome = SatelliteOutcome::outside_field;
        return result;
    }

    const Vector3 v1 = satellite_topocentric_vector(orbit, epoch, r.mean_anom, r.omega, r.node, r.ndot2, g.before);
    const Vector3 v2 = satellite_topocentric_vector(orbit, epoch, r.mean_anom, r.omega, r.node, r.ndot2, g.after);
    if (!is_finite(v1) || !is_finite(v2)) {
        result.outcome = SatelliteOutcome::not_evaluated;
        result.problem = NO_FINITE_PLACE;
        return result;
    }
    const SphericalCoordinates p1 = spherical_from_vector(v1);
    const SphericalCoordinates p2 = spherical_from_vector(v2);

    SatelliteSighting& s = result.sighting;
    s.name = r.name;
    s.cospar_id = r.cospar_id;
    s.norad_id = r.norad_id;
    s.ra_deg = place.ra_deg;
    s.dec_deg = place.dec_deg;
    s.ra = ra_to_hms(place.ra_deg);
    s.dec = dec_to_dms(place.dec_deg);
    s.ra_motion = motion_arcsec_per_second(right_ascension_change_deg(p1.ra_deg, p2.ra_deg));
    s.dec_motion = motion_arcsec_per_second(p2.dec_deg - p1.dec_deg);
    result.outcome = SatelliteOutcome::in_field;
    return result;
}

std::string satellite_table_header()
{
    std::string out;
    out += "\n object designation                r.a.         decl.";
    out += "        motion ''/s";
    out += "\n name           cospar norad     h  m  s       o  ' ''      ";
    out += "r.a.    decl.\n";
    out += "\n";
    return out;
}

std::string satellite_report_row(const SatelliteSighting& s)
{
    return formatted("|%14s|%6s|%6s| %2i %2i %5.2f  %1c%2i %2i %4.1f  %7.1f %7.1f\n", s.name.data(),
                     s.cospar_id.data(), s.norad_id.data(), s.ra.hours, s.ra.minutes, s.ra.seconds, s.dec.sign,
                     s.dec.degrees, s.dec.arcminutes, s.dec.arcseconds, s.ra_motion, s.dec_motion);
}

std::string satellite_csv_header()
{
    return "name,cospar_id,norad_id,ra_deg,dec_deg,ra_h,ra_m,ra_s,dec_sign,dec_deg_part,dec_arcmin,dec_arcsec,"
           "motion_ra_arcsec_per_s,motion_dec_arcsec_per_s\n";
}

std::string satellite_csv_row(const SatelliteSighting& s)
{
    return formatted("%s,%s,%s,%.17g,%.17g,%d,%d,%.6f,%c,%d,%d,%.5f,%.3f,%.3f\n", csv_field(s.name.data()).c_str(),
                     csv_field(s.cospar_id.data()).c_str(), csv_field(s.norad_id.data()).c_str(), s.ra_deg, s.dec_deg,
                     s.ra.hours, s.ra.minutes, s.ra.seconds, s.dec.sign, s.dec.degrees, s.dec.arcminutes,
                     s.dec.arcseconds, s.ra_motion, s.dec_motion);
}
