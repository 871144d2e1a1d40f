#include "tracklets.hpp"

#include <cmath>
#include <map>
#include <tuple>

#include "angles.hpp"
#include "constants.hpp"

namespace fieldsearch {

namespace {

Vector3 unit_vector(double ra_deg, double dec_deg)
{
    const double ra = ra_deg * DEG_TO_RAD;
    const double dec = dec_deg * DEG_TO_RAD;
    Vector3 v;
    v(1) = std::cos(dec) * std::cos(ra);
    v(2) = std::cos(dec) * std::sin(ra);
    v(3) = std::sin(dec);
    return v;
}

// Arcseconds per radian.
constexpr double ARCSEC_PER_RAD = 1.0 / ARCSEC_TO_RAD;

// The longitude the local night of an observation goes by.
double night_longitude_deg(const Observation& observation, const std::vector<ObservatoryCode>& stations)
{
    if (observation.place == ObserverPlace::roving) {
        return observation.roving.east_longitude_deg;
    }
    if (observation.place == ObserverPlace::space) {
        return 0.0;
    }
    const ObservatoryCode* station = find_observatory_code(stations, observation.station);
    return station != nullptr && station->has_coordinates ? station->east_longitude_deg : 0.0;
}

}  // namespace

std::string tracklet_designation(const Observation& observation)
{
    if (!observation.tracklet_id.empty()) {
        return "trkSub " + observation.tracklet_id;
    }
    if (observation.format == ObservationFormat::mpc80) {
        return observation.packed_number + "|" + observation.provisional;
    }
    return observation.packed_number + "|" + observation.provisional + "|" + observation.artificial_satellite;
}

long local_night(double utc_mjd, double longitude_deg)
{
    return static_cast<long>(std::floor(utc_mjd + longitude_deg / 360.0 + 0.5));
}

TrackletFit tracklet_fit(const std::vector<Observation>& observations, const std::vector<std::size_t>& members)
{
    TrackletFit fit{};
    const double n = static_cast<double>(members.size());
    // The mean instant and the mean direction, the tangent point.
    double time_sum = 0.0;
    Vector3 sum;
    for (const std::size_t k : members) {
        time_sum += observations[k].utc_mjd;
        const Vector3 u = unit_vector(observations[k].ra_deg, observations[k].dec_deg);
        for (int i = 1; i <= 3; ++i) {
            sum(i) += u(i);
        }
    }
    fit.mean_utc_mjd = time_sum / n;
    const double length = std::sqrt(dot_product(sum, sum));
    Vector3 centre = length > 0.0 ? sum : unit_vector(observations[members.front()].ra_deg,
                                                      observations[members.front()].dec_deg);
    const double centre_length = std::sqrt(dot_product(centre, centre));
    for (int i = 1; i <= 3; ++i) {
        centre(i) /= centre_length;
    }
    // East and north at the tangent point; at a pole east is taken towards RA 90 deg.
    const double polar = std::hypot(centre(1), centre(2));
    Vector3 east;
    east(1) = polar > 1e-15 ? -centre(2) / polar : 0.0;
    east(2) = polar > 1e-15 ? centre(1) / polar : 1.0;
    east(3) = 0.0;
    Vector3 north;
    north(1) = centre(2) * east(3) - centre(3) * east(2);
    north(2) = centre(3) * east(1) - centre(1) * east(3);
    north(3) = centre(1) * east(2) - centre(2) * east(1);
    // Gnomonic coordinates (radians) and times from the mean instant (days).
    std::vector<double> xi;
    std::vector<double> eta;
    std::vector<double> t;
    for (const std::size_t k : members) {
        const Vector3 u = unit_vector(observations[k].ra_deg, observations[k].dec_deg);
        const double w = dot_product(u, centre);
        xi.push_back(dot_product(u, east) / w);
        eta.push_back(dot_product(u, north) / w);
        t.push_back(observations[k].utc_mjd - fit.mean_utc_mjd);
    }
    double xi_mean = 0.0;
    double eta_mean = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        xi_mean += xi[k];
        eta_mean += eta[k];
    }
    xi_mean /= n;
    eta_mean /= n;
    double tt = 0.0;
    double t_xi = 0.0;
    double t_eta = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        tt += t[k] * t[k];
        t_xi += t[k] * (xi[k] - xi_mean);
        t_eta += t[k] * (eta[k] - eta_mean);
    }
    // Slopes only when the instants differ by more than a microsecond.
    double xi_rate = 0.0;
    double eta_rate = 0.0;
    if (tt > square(1e-6 / 86400.0)) {
        xi_rate = t_xi / tt;
        eta_rate = t_eta / tt;
        fit.rates = TrackletRates{xi_rate * ARCSEC_PER_RAD / 24.0, eta_rate * ARCSEC_PER_RAD / 24.0};
    }
    // The fitted place at the mean instant, off the tangent plane.
    Vector3 place;
    for (int i = 1; i <= 3; ++i) {
        place(i) = centre(i) + xi_mean * east(i) + eta_mean * north(i);
    }
    const SphericalCoordinates spherical = spherical_from_vector(place);
    fit.ra_deg = spherical.ra_deg >= 360.0 ? spherical.ra_deg - 360.0 : spherical.ra_deg;
    fit.dec_deg = spherical.dec_deg;
    double square_sum = 0.0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        const double east_residual = (xi[k] - (xi_mean + xi_rate * t[k])) * ARCSEC_PER_RAD;
        const double north_residual = (eta[k] - (eta_mean + eta_rate * t[k])) * ARCSEC_PER_RAD;
        fit.residual_east_arcsec.push_back(east_residual);
        fit.residual_north_arcsec.push_back(north_residual);
        square_sum += east_residual * east_residual + north_residual * north_residual;
    }
    fit.rms_residual_arcsec = std::sqrt(square_sum / n);
    return fit;
}

std::vector<Tracklet> tracklets_from_observations(const std::vector<Observation>& observations,
                                                  const std::vector<ObservatoryCode>& stations)
{
    std::vector<Tracklet> tracklets;
    std::map<std::tuple<std::string, std::string, long>, std::size_t> index;
    for (std::size_t k = 0; k < observations.size(); ++k) {
        const Observation& observation = observations[k];
        const std::string designation = tracklet_designation(observation);
        const long night = local_night(observation.utc_mjd, night_longitude_deg(observation, stations));
        const auto key = std::make_tuple(designation, observation.station, night);
        const auto found = index.find(key);
        if (found == index.end()) {
            index.emplace(key, tracklets.size());
            tracklets.push_back(Tracklet{designation, observation.station, night, {k}, {}});
        } else {
            tracklets[found->second].members.push_back(k);
        }
    }
    for (Tracklet& tracklet : tracklets) {
        tracklet.fit = tracklet_fit(observations, tracklet.members);
    }
    return tracklets;
}

}  // namespace fieldsearch
