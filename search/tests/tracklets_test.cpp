#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "tracklets.hpp"

using namespace fieldsearch;

namespace {

constexpr double DEG = 0.017453292519943295;
constexpr double ARCSEC = DEG / 3600.0;

Observation observation(const std::string& provisional, const std::string& station, double utc_mjd, double ra_deg,
                        double dec_deg)
{
    Observation o{};
    o.format = ObservationFormat::mpc80;
    o.provisional = provisional;
    o.note2 = 'C';
    o.station = station;
    o.utc_mjd = utc_mjd;
    o.ra_deg = ra_deg;
    o.dec_deg = dec_deg;
    o.place = ObserverPlace::station;
    return o;
}

// Greenwich (longitude 0) and Maunakea (204.5278 E) as the list gives them.
const std::vector<ObservatoryCode> STATIONS = {{"000", true, 0.0, 0.62411, 0.77873, "Greenwich"},
                                               {"568", true, 204.5278, 0.94171, 0.33725, "Maunakea"}};

// 2024 January 15 0 h UTC.
constexpr double MJD = 60324.0;

std::vector<std::vector<std::size_t>> groups(const std::vector<Tracklet>& tracklets)
{
    std::vector<std::vector<std::size_t>> members;
    for (const Tracklet& tracklet : tracklets) {
        members.push_back(tracklet.members);
    }
    return members;
}

// One object, one station, one local night: a night observed across 0 h
// UTC at Greenwich is one tracklet; at Maunakea local mean noon falls at
// 22:21:44 UTC (12 h - 204.5278 deg / 15 deg per hour, less a day), so 22:00
// and 22:45 UTC of the same date are two nights; another object or station
// is another tracklet; tracklets come in the order of their first
// observation.
TEST(Tracklets, GroupByObjectStationAndLocalNight)
{
    const std::vector<Observation> observations = {
        observation("NEO1", "000", MJD - 0.5 / 24, 10.0, 10.0),           // 0: 23:30 UTC
        observation("NEO1", "000", MJD + 0.5 / 24, 10.01, 10.0),          // 1: 00:30 UTC, same night
        observation("NEO1", "568", MJD + 22.0 / 24, 10.0, 10.0),          // 2: 11:38 local
        observation("NEO1", "568", MJD + 22.75 / 24, 10.0, 10.0),         // 3: 12:23 local, the next night
        observation("NEO2", "000", MJD + 1.0 / 24, 10.0, 10.0),           // 4: another object
        observation("NEO1", "568", MJD + 21.0 / 24, 10.0, 10.0),          // 5: with 2
        observation("NEO1", "000", MJD + 11.9 / 24, 10.0, 10.0),          // 6: 11:54 local, still night 1's
        observation("NEO1", "000", MJD + 12.1 / 24, 10.0, 10.0),          // 7: past local noon
    };
    const std::vector<Tracklet> tracklets = tracklets_from_observations(observations, STATIONS);
    EXPECT_EQ(groups(tracklets),
              (std::vector<std::vector<std::size_t>>{{0, 1, 6}, {2, 5}, {3}, {4}, {7}}));
    EXPECT_EQ(tracklets[0].station, "000");
    EXPECT_EQ(tracklets[1].station, "568");
    EXPECT_EQ(local_night(MJD - 0.5 / 24, 0.0), local_night(MJD + 0.5 / 24, 0.0));
    EXPECT_NE(local_night(MJD + 22.0 / 24, 204.5278), local_night(MJD + 22.75 / 24, 204.5278));
    // The same local night whether the longitude is written east or west.
    EXPECT_EQ(local_night(MJD + 22.0 / 24, 204.5278) - local_night(MJD + 22.0 / 24, 204.5278 - 360.0), 1);
    EXPECT_EQ(local_night(MJD + 22.75 / 24, 204.5278) - local_night(MJD + 22.75 / 24, 204.5278 - 360.0), 1);
}

// ADES trkSub groups observations whatever their permID; a roving
// observer's night goes by its own longitude.
TEST(Tracklets, TrackletIdsAndRovingSitesSetTheGroups)
{
    Observation a = observation("", "247", MJD + 10.0 / 24, 10.0, 10.0);
    a.format = ObservationFormat::ades_psv;
    a.tracklet_id = "t1";
    a.place = ObserverPlace::roving;
    a.roving = RovingSite{240.0, 30.0, 100.0};  // local noon at 20:00 UTC
    Observation b = a;
    b.utc_mjd = MJD + 19.0 / 24;
    b.packed_number = "433";
    Observation c = a;
    c.utc_mjd = MJD + 21.0 / 24;
    const std::vector<Tracklet> tracklets = tracklets_from_observations({a, b, c}, STATIONS);
    EXPECT_EQ(groups(tracklets), (std::vector<std::vector<std::size_t>>{{0, 1}, {2}}));
    EXPECT_EQ(tracklet_designation(a), tracklet_designation(b));
}

// The place of a point (xi, eta) radians of the plane tangent at (ra0,
// dec0): the gnomonic projection inverted, written out from its textbook
// formulas.
std::pair<double, double> deprojected(double ra0_deg, double dec0_deg, double xi, double eta)
{
    const double dec0 = dec0_deg * DEG;
    const double denominator = std::cos(dec0) - eta * std::sin(dec0);
    double ra = ra0_deg * DEG + std::atan2(xi, denominator);
    const double dec = std::atan2(std::sin(dec0) + eta * std::cos(dec0), std::hypot(xi, denominator));
    ra = std::fmod(ra, 2.0 * 3.141592653589793);
    if (ra < 0.0) {
        ra += 2.0 * 3.141592653589793;
    }
    return {ra / DEG, dec / DEG};
}

// A straight line on the sky at constant rates, generated on its own
// tangent plane: the fit gives back the rates and the place at the mean
// instant, with residuals of nothing, on the equator, across 0 h of RA
// and 36" from the pole.
TEST(TrackletFit, RecoversTheRatesOfAStraightLine)
{
    const struct {
        double ra0_deg, dec0_deg;
        double east_rate, north_rate;  // arcseconds per hour
    } cases[] = {
        {150.0, 2.0, 35.0, -12.5},
        {359.99, -20.0, 600.0, 40.0},  // crosses 0 h of RA 10 minutes in
        {45.0, 89.99, -120.0, 250.0},
        {300.0, -89.995, 60.0, 0.0},
    };
    for (const auto& c : cases) {
        std::vector<Observation> observations;
        const std::vector<double> hours = {-0.5, -0.2, 0.1, 0.25, 0.5};
        for (const double h : hours) {
            const auto [ra, dec] = deprojected(c.ra0_deg, c.dec0_deg, c.east_rate * h * ARCSEC, c.north_rate * h * ARCSEC);
            observations.push_back(observation("NEO1", "000", MJD + h / 24.0, ra, dec));
        }
        const TrackletFit fit = tracklet_fit(observations, {0, 1, 2, 3, 4});
        // The mean instant is 0.03 h; the tangent planes differ by well under
        // an arcminute, whose projective distortion stays below 1e-3 "/h.
        EXPECT_NEAR(fit.mean_utc_mjd, MJD + 0.03 / 24.0, 1e-10);
        ASSERT_TRUE(fit.rates.has_value());
        // The rates at the mean place, from the motion over one second either
        // side of the mean instant in spherical coordinates (RA cos Dec and
        // Dec): near a pole east and north turn with the place.
        const auto [ra_mean, dec_mean] =
            deprojected(c.ra0_deg, c.dec0_deg, c.east_rate * 0.03 * ARCSEC, c.north_rate * 0.03 * ARCSEC);
        const double step = 1.0 / 3600.0;
        const auto [ra_before, dec_before] = deprojected(c.ra0_deg, c.dec0_deg, c.east_rate * (0.03 - step) * ARCSEC,
                                                         c.north_rate * (0.03 - step) * ARCSEC);
        const auto [ra_after, dec_after] = deprojected(c.ra0_deg, c.dec0_deg, c.east_rate * (0.03 + step) * ARCSEC,
                                                       c.north_rate * (0.03 + step) * ARCSEC);
        const double ra_change = std::remainder(ra_after - ra_before, 360.0);
        const double expected_east = ra_change * std::cos(dec_mean * DEG) * 3600.0 / (2.0 * step);
        const double expected_north = (dec_after - dec_before) * 3600.0 / (2.0 * step);
        EXPECT_NEAR(fit.rates->ra_cos_dec_arcsec_per_hour, expected_east, 0.01) << c.ra0_deg;
        EXPECT_NEAR(fit.rates->dec_arcsec_per_hour, expected_north, 0.01) << c.ra0_deg;
        // The speed does not depend on the frame: it is the line's.
        EXPECT_NEAR(std::hypot(fit.rates->ra_cos_dec_arcsec_per_hour, fit.rates->dec_arcsec_per_hour),
                    std::hypot(c.east_rate, c.north_rate), 1e-3)
            << c.ra0_deg;
        // The separation as the chord between the unit vectors (acos loses
        // its digits near zero).
        auto unit = [](double ra, double dec) {
            return std::array<double, 3>{std::cos(dec * DEG) * std::cos(ra * DEG), std::cos(dec * DEG) * std::sin(ra * DEG),
                                         std::sin(dec * DEG)};
        };
        const std::array<double, 3> expected_place = unit(ra_mean, dec_mean);
        const std::array<double, 3> fitted_place = unit(fit.ra_deg, fit.dec_deg);
        const double separation = std::hypot(expected_place[0] - fitted_place[0], expected_place[1] - fitted_place[1],
                                             expected_place[2] - fitted_place[2]);
        EXPECT_LT(separation / ARCSEC, 1e-3) << c.ra0_deg;
        EXPECT_GE(fit.ra_deg, 0.0);
        EXPECT_LT(fit.ra_deg, 360.0);
        EXPECT_LT(fit.rms_residual_arcsec, 1e-3) << c.ra0_deg;
    }
}

// Residuals are observed minus fitted: three instants evenly spaced with
// the middle one 1" north of the line leave -1/3, +2/3, -1/3 arcsecond
// north (the least-squares line rises by a third), nothing east.
TEST(TrackletFit, ResidualsAreObservedMinusFitted)
{
    std::vector<Observation> observations;
    for (int k = -1; k <= 1; ++k) {
        const double north = (k == 0 ? 1.0 : 0.0) * ARCSEC;
        const auto [ra, dec] = deprojected(80.0, 15.0, 20.0 * k * ARCSEC, north);
        observations.push_back(observation("NEO1", "000", MJD + k / 24.0, ra, dec));
    }
    const TrackletFit fit = tracklet_fit(observations, {0, 1, 2});
    ASSERT_EQ(fit.residual_north_arcsec.size(), 3u);
    const double expected_north[] = {-1.0 / 3.0, 2.0 / 3.0, -1.0 / 3.0};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(fit.residual_north_arcsec[k], expected_north[k], 1e-5) << k;
        EXPECT_NEAR(fit.residual_east_arcsec[k], 0.0, 1e-5) << k;
    }
    EXPECT_NEAR(fit.rates->ra_cos_dec_arcsec_per_hour, 20.0, 1e-4);
    EXPECT_NEAR(fit.rates->dec_arcsec_per_hour, 0.0, 1e-4);
    EXPECT_NEAR(fit.rms_residual_arcsec, std::sqrt(2.0 / 9.0), 1e-5);
}

// A tracklet of one observation, or of observations at one instant, has a
// place but no rates.
TEST(TrackletFit, OneInstantGivesNoRates)
{
    const std::vector<Observation> observations = {observation("NEO1", "000", MJD, 123.456, -33.3),
                                                   observation("NEO1", "000", MJD, 123.458, -33.3)};
    const TrackletFit one = tracklet_fit(observations, {0});
    EXPECT_FALSE(one.rates.has_value());
    EXPECT_NEAR(one.ra_deg, 123.456, 1e-12);
    EXPECT_NEAR(one.dec_deg, -33.3, 1e-12);
    EXPECT_NEAR(one.rms_residual_arcsec, 0.0, 1e-9);
    const TrackletFit two = tracklet_fit(observations, {0, 1});
    EXPECT_FALSE(two.rates.has_value());
    EXPECT_NEAR(two.ra_deg, 123.457, 1e-9);
}

}  // namespace
