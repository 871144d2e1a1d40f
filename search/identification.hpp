// Naming a night's tracklets: how far an object's predicted places lie from
// the observed ones, whether its predicted motion agrees with the fitted
// one, and the order its candidates are ranked in.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "observations.hpp"
#include "tracklets.hpp"

namespace fieldsearch {

// What makes an object a candidate for a tracklet. The motion tolerance is
// in arcseconds per `motion_unit_hours` (1 for asteroids: "/h; 1/3600 for
// satellites: "/s).
struct IdentificationSettings {
    double radius_arcsec;
    double motion_tolerance;
    int max_candidates;
    double motion_unit_hours;
};

// The offset of an observed place from a predicted one (J2000 degrees):
// observed less predicted in RA times the cosine of the observed Dec, in
// Dec, and the angle between them, all arcseconds.
struct PlaceOffset {
    double ra_arcsec;
    double dec_arcsec;
    double total_arcsec;
};

PlaceOffset place_offset(double observed_ra_deg, double observed_dec_deg, double predicted_ra_deg,
                         double predicted_dec_deg);

// An object's places predicted for the members of a tracklet (degrees, J2000,
// in the order of Tracklet::members).
struct PredictedPlace {
    double ra_deg;
    double dec_deg;
};

// How well an object fits a tracklet: each member's offset, their root mean
// square (arcseconds), and for a tracklet whose observations span time the
// length of the difference between the fitted motion and the same fit
// through the predicted places, in arcseconds per the settings' unit.
struct TrackletMatch {
    std::vector<PlaceOffset> offsets;
    double rms_arcsec;
    std::optional<double> motion_residual;
};

// The match of the predicted places to the tracklet, or none when a place
// lies farther than the radius from its observation or the motions differ
// by more than the tolerance.
std::optional<TrackletMatch> tracklet_match(const std::vector<Observation>& observations, const Tracklet& tracklet,
                                            const std::vector<PredictedPlace>& predicted,
                                            const IdentificationSettings& settings);

// True when match `a` ranks before `b`: the smaller RMS offset, then the
// smaller motion residual (none counting as zero).
bool ranks_before(const TrackletMatch& a, const TrackletMatch& b);

}  // namespace fieldsearch
