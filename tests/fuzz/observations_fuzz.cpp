// Fuzz target: the readers of a night's observations (the 80-column optical
// format, ADES PSV and XML), the writer of designations and the tracklets.
// A text is either refused with one line naming the formats, or read into
// observations whose values are finite and in range, each problem with a
// reason; writing designations back keeps the observations readable and
// gives them the designations written; every tracklet's fit is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "observations.hpp"
#include "tracklets.hpp"

using namespace fieldsearch;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// UTC MJD of 1900 January 1 and of 2100 January 1.
constexpr double MJD_1900 = 15020.0;
constexpr double MJD_2100 = 88069.0;

void check_observation(const Observation& o)
{
    if (o.position < 1) {
        fail("an observation without its position in the file");
    }
    if (o.station.empty() || (o.packed_number.empty() && o.provisional.empty() && o.tracklet_id.empty() &&
                              o.artificial_satellite.empty())) {
        fail("an observation without its station or any designation");
    }
    if (!(o.utc_mjd >= MJD_1900 && o.utc_mjd < MJD_2100 + 1.0)) {
        fail("an instant outside the years 1900 to 2099");
    }
    if (!(o.ra_deg >= 0.0 && o.ra_deg < 360.0) || !(std::fabs(o.dec_deg) <= 90.0)) {
        fail("a place outside [0, 360) x [-90, 90]");
    }
    for (const std::optional<double>& rms : {o.rms_ra_arcsec, o.rms_dec_arcsec}) {
        if (rms && !(*rms > 0.0 && std::isfinite(*rms))) {
            fail("an uncertainty that is not a positive number");
        }
    }
    if (o.magnitude && !(*o.magnitude >= OBSERVATION_MAGNITUDE_MIN && *o.magnitude <= OBSERVATION_MAGNITUDE_MAX)) {
        fail("a magnitude out of range");
    }
    if (o.place == ObserverPlace::space) {
        const Vector3& r = o.space_geocentric_km;
        if (!(std::sqrt(dot_product(r, r)) <= SPACE_OBSERVER_MAX_KM)) {
            fail("a spacecraft's position that is not finite or too far");
        }
    }
    if (o.place == ObserverPlace::roving &&
        (!(o.roving.east_longitude_deg >= -180.0 && o.roving.east_longitude_deg <= 360.0) ||
         !(std::fabs(o.roving.latitude_deg) <= 90.0) || !std::isfinite(o.roving.height_m))) {
        fail("a roving site out of range");
    }
}

void check_tracklets(const std::vector<Observation>& observations)
{
    const std::vector<ObservatoryCode> stations = {{"568", true, 204.5278, 0.94171, 0.33725, "Maunakea"}};
    std::size_t members = 0;
    for (const Tracklet& tracklet : tracklets_from_observations(observations, stations)) {
        members += tracklet.members.size();
        const TrackletFit& fit = tracklet.fit;
        if (!(fit.ra_deg >= 0.0 && fit.ra_deg < 360.0) || !(std::fabs(fit.dec_deg) <= 90.0) ||
            !std::isfinite(fit.rms_residual_arcsec) || fit.residual_east_arcsec.size() != tracklet.members.size()) {
            fail("a tracklet fit that is not finite or misses residuals");
        }
        if (fit.rates && (!std::isfinite(fit.rates->ra_cos_dec_arcsec_per_hour) ||
                          !std::isfinite(fit.rates->dec_arcsec_per_hour))) {
            fail("a tracklet rate that is not finite");
        }
    }
    if (members != observations.size()) {
        fail("the tracklets do not hold every observation once");
    }
}

// Writes a number or a provisional designation into every observation and
// reads the text again.
void check_write_back(std::string_view text, const ObservationsResult& read)
{
    std::vector<Identification> identified;
    for (std::size_t k = 0; k < read.observations.size(); ++k) {
        if (k % 2 == 0) {
            identified.push_back({read.observations[k].position, static_cast<long>(k + 1) * 7919, ""});
        } else {
            identified.push_back({read.observations[k].position, std::nullopt, "2007 TA418"});
        }
    }
    const WrittenObservations written = text_with_designations(text, identified);
    if (!written.error.empty()) {
        fail("a text that was read could not be written back");
    }
    if (!written.problems.empty()) {
        fail("a designation could not be written to an observation that was read");
    }
    if (*read.format == ObservationFormat::mpc80 && written.text.size() != text.size()) {
        fail("writing 80-column designations changed the length of the text");
    }
    const ObservationsResult again = observations_from_text(written.text);
    if (again.format != read.format || again.observations.size() != read.observations.size()) {
        fail("the written text does not read back into the same observations");
    }
    for (std::size_t k = 0; k < again.observations.size(); ++k) {
        const Observation& before = read.observations[k];
        const Observation& after = again.observations[k];
        if (after.position != before.position || after.utc_mjd != before.utc_mjd || after.ra_deg != before.ra_deg ||
            after.dec_deg != before.dec_deg || after.station != before.station) {
            fail("writing designations changed an observation's place, instant or station");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ObservationsResult read = observations_from_text(text);
    if (!read.format) {
        if (read.error.empty() || read.error.find('\n') != std::string::npos || !read.observations.empty()) {
            fail("a text of no known format is not refused with one line");
        }
        return 0;
    }
    for (const Observation& o : read.observations) {
        check_observation(o);
    }
    for (const ObservationProblem& problem : read.problems) {
        if (problem.what.empty() || problem.what.find('\n') != std::string::npos) {
            fail("a problem without its one-line reason");
        }
    }
    check_tracklets(read.observations);
    check_write_back(text, read);
    return 0;
}
