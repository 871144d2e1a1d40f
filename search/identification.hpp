// Naming a night's tracklets: how far an object's predicted places lie from
// the observed ones, whether its predicted motion agrees with the fitted
// one, and the order its candidates are ranked in.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "observations.hpp"
#include "observatory_codes.hpp"
#include "tracklets.hpp"
#include "vectors_matrices.hpp"

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

// Each tracklet's candidates (anything with a TrackletMatch `match`) put in
// rank order, found order kept among equals, at most `max_candidates` of
// them; returns how many tracklets have one or more.
template <typename Candidate>
int ranked_candidates(std::vector<std::vector<Candidate>>& found, int max_candidates)
{
    const std::size_t most = static_cast<std::size_t>(max_candidates > 0 ? max_candidates : 0);
    int identified = 0;
    for (std::vector<Candidate>& list : found) {
        std::stable_sort(list.begin(), list.end(),
                         [](const Candidate& a, const Candidate& b) { return ranks_before(a.match, b.match); });
        if (list.size() > most) {
            list.resize(most);
        }
        identified += list.empty() ? 0 : 1;
    }
    return identified;
}

// An instant as YYYY-MM-DDTHH:MM:SS.sss (UTC), from a UTC MJD.
std::string identification_time_text(double utc_mjd);

// Where an observation was made from: the geocentric Earth-fixed site (km;
// the geocentre for an observer in space, whose own J2000 place the
// observation carries), or none for a station not in the list or without
// coordinates.
std::optional<Vector3> observation_site(const Observation& observation, const std::vector<ObservatoryCode>& stations);

// A tracklet's key as a report shows it: its designation fields joined by a
// blank, without leading or trailing blanks.
std::string shown_tracklet_designation(std::string key);

// A night's observations made ready to name: those whose station is known,
// each with its Earth-fixed site (km), grouped into tracklets, with each
// observation's tracklet and its place among the tracklet's members; and the
// problems of the file and the observations left out (an unknown station),
// in file order, by position.
struct IdentificationNight {
    std::vector<Observation> observations;
    std::vector<Vector3> sites;
    std::vector<std::pair<long, std::string>> messages;
    std::vector<Tracklet> tracklets;
    std::vector<std::size_t> tracklet_of;
    std::vector<std::size_t> member_of;
};
IdentificationNight identification_night(ObservationsResult read, const std::vector<ObservatoryCode>& stations);

// The night of an identification run read through `file_text` (which gives
// a file's whole text, or none when it cannot be read): the observation
// file's text, its format, the number of stations of the observatory codes'
// list and the night placed at them, with its problems as `program` reports
// them, one line each ("PROGRAM: PATH:N: what", "observation N" in XML);
// or `status` 1 (a file cannot be read, a list that is no list of codes) or
// 2 (observations of no known format) with one line in `error`, without the
// program's name.
struct NightReading {
    int status = 0;
    std::string error;
    std::string text;
    ObservationFormat format{};
    std::size_t stations = 0;
    IdentificationNight night;
    std::string messages;
    const char* where = "";  // how a message names an observation: "" (its line) or "observation " (in XML)
};
NightReading identification_night_read(const char* program, const std::string& observations_path,
                                       const std::string& observatory_codes_path,
                                       const std::function<std::optional<std::string>(const std::string&)>& file_text);

}  // namespace fieldsearch
