// Observations grouped into tracklets (one object, one station, one local
// night) and the straight-line motion fitted to each.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "observations.hpp"
#include "observatory_codes.hpp"

namespace fieldsearch {

// The motion of a tracklet on the tangent plane at its mean place: the
// rates of RA cos Dec and of Dec, arcseconds per hour.
struct TrackletRates {
    double ra_cos_dec_arcsec_per_hour;
    double dec_arcsec_per_hour;
};

// What the least-squares line gives for a tracklet: its place at the mean
// instant, its rates (none for one observation or a single instant), and
// each observation's residual, observed minus fitted, in arcseconds on the
// tangent plane (east, north), in the order of Tracklet::members.
struct TrackletFit {
    double mean_utc_mjd;
    double ra_deg;   // [0, 360)
    double dec_deg;  // [-90, 90]
    std::optional<TrackletRates> rates;
    std::vector<double> residual_east_arcsec;
    std::vector<double> residual_north_arcsec;
    double rms_residual_arcsec;  // of the residuals' lengths
};

// Observations of one object from one station in one local night.
struct Tracklet {
    std::string designation;  // the key: the designation fields, or the ADES trkSub
    std::string station;
    long night;                        // local night number: floor(UTC MJD + longitude/360 + 1/2)
    std::vector<std::size_t> members;  // indices into the observations, in the order read
    TrackletFit fit;
};

// The key that puts two observations in one tracklet: ADES trkSub when it is
// given, else the designation fields as written (80-column columns 1-12 as
// number and provisional, ADES permID, provID or artSat).
std::string tracklet_designation(const Observation& observation);

// The local night number of an instant at east longitude `longitude_deg`:
// nights run from local mean noon to local mean noon, so that a night
// observed across 0 h UTC is one night.
long local_night(double utc_mjd, double longitude_deg);

// The observations grouped into tracklets in the order of their first
// observation, each with its fitted motion. The local night goes by the
// station's longitude from `stations`, a roving observer's own longitude,
// and Greenwich's for a spacecraft or a station not in the list.
std::vector<Tracklet> tracklets_from_observations(const std::vector<Observation>& observations,
                                                  const std::vector<ObservatoryCode>& stations);

// The least-squares straight line in RA cos Dec and in Dec against time of
// the given observations (at least one): gnomonic coordinates on the plane
// tangent at their mean direction, fitted about their mean instant.
TrackletFit tracklet_fit(const std::vector<Observation>& observations, const std::vector<std::size_t>& members);

}  // namespace fieldsearch
