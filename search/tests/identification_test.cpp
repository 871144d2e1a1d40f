#include "identification.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tracklets.hpp"

using namespace fieldsearch;

namespace {

constexpr double ARCSEC = 1.0 / 3600.0;

Observation observation(double utc_mjd, double ra_deg, double dec_deg)
{
    Observation o{};
    o.format = ObservationFormat::mpc80;
    o.provisional = "Tr00001";
    o.note2 = 'C';
    o.station = "500";
    o.utc_mjd = utc_mjd;
    o.ra_deg = ra_deg;
    o.dec_deg = dec_deg;
    o.place = ObserverPlace::station;
    return o;
}

}  // namespace

// Offsets on the sky: the RA difference shrinks with cos Dec, and is taken
// the short way through 0 h.
TEST(PlaceOffset, IsObservedLessPredictedOnTheSky)
{
    struct Case {
        const char* what;
        double ra, dec, pred_ra, pred_dec;
        double east, north, total;
    };
    const Case cases[] = {
        {"10 arcsec north on the equator", 10.0, 10.0 * ARCSEC, 10.0, 0.0, 0.0, 10.0, 10.0},
        {"20 arcsec of RA at Dec 60 is 10 on the sky", 50.0 + 20.0 * ARCSEC, 60.0, 50.0, 60.0, 10.0, 0.0, 10.0},
        {"across 0 h", 0.001, 0.0, 359.999, 0.0, 7.2, 0.0, 7.2},
        {"west and south", 200.0, -30.0, 200.0 + 4.0 * ARCSEC / std::cos(30.0 * M_PI / 180.0), -30.0 + 3.0 * ARCSEC,
         -4.0, -3.0, 5.0},
    };
    for (const Case& c : cases) {
        const PlaceOffset o = place_offset(c.ra, c.dec, c.pred_ra, c.pred_dec);
        EXPECT_NEAR(o.ra_arcsec, c.east, 1e-6) << c.what;
        EXPECT_NEAR(o.dec_arcsec, c.north, 1e-6) << c.what;
        EXPECT_NEAR(o.total_arcsec, c.total, 1e-4) << c.what;
    }
}

// A tracklet of three observations over an hour moving 30"/h north; the
// predicted places keep a fixed offset and move at their own rate.
TEST(TrackletMatch, NeedsEveryPlaceWithinTheRadiusAndTheMotionWithinTheTolerance)
{
    struct Case {
        const char* what;
        double offset_north_arcsec;   // of every predicted place
        double predicted_rate;        // "/h north
        double outlier_arcsec;        // added to the last predicted place, north
        double tolerance;             // "/h
        std::optional<double> rms;    // none: not a candidate
        std::optional<double> residual;
    };
    const Case cases[] = {
        {"on the places", 0.0, 30.0, 0.0, 10.0, 0.0, 0.0},
        {"5 arcsec off, same motion", 5.0, 30.0, 0.0, 10.0, 5.0, 0.0},
        {"one place beyond the radius", 0.0, 30.0, 31.0, 100.0, std::nullopt, std::nullopt},
        {"15 arcsec/h faster, tolerance 10", 0.0, 45.0, 0.0, 10.0, std::nullopt, std::nullopt},
        {"15 arcsec/h faster, tolerance 20", 0.0, 45.0, 0.0, 20.0, std::sqrt((7.5 * 7.5 + 0.0 + 7.5 * 7.5) / 3.0),
         15.0},
    };
    std::vector<Observation> observations;
    for (int k = 0; k < 3; ++k) {
        observations.push_back(observation(54606.2 + k / 48.0, 150.0, 10.0 + 30.0 * ARCSEC * k / 2.0));
    }
    const std::vector<Tracklet> tracklets = tracklets_from_observations(observations, {});
    ASSERT_EQ(tracklets.size(), 1U);
    for (const Case& c : cases) {
        std::vector<PredictedPlace> predicted;
        for (int k = 0; k < 3; ++k) {
            // Centred on the middle observation, so a different rate moves
            // the first and the last places by 7.5" each way.
            double dec = 10.0 + 15.0 * ARCSEC + c.predicted_rate * ARCSEC * (k - 1) / 2.0 + c.offset_north_arcsec * ARCSEC;
            if (k == 2) {
                dec += c.outlier_arcsec * ARCSEC;
            }
            predicted.push_back({150.0, dec});
        }
        const IdentificationSettings settings{30.0, c.tolerance, 5, 1.0};
        const std::optional<TrackletMatch> match = tracklet_match(observations, tracklets[0], predicted, settings);
        ASSERT_EQ(match.has_value(), c.rms.has_value()) << c.what;
        if (match) {
            EXPECT_NEAR(match->rms_arcsec, *c.rms, 1e-6) << c.what;
            ASSERT_TRUE(match->motion_residual.has_value()) << c.what;
            EXPECT_NEAR(*match->motion_residual, *c.residual, 1e-6) << c.what;
        }
    }
}

// One observation: no motion to compare; satellites' rates in "/s.
TEST(TrackletMatch, OneObservationHasNoMotionAndRatesTakeTheirUnit)
{
    const std::vector<Observation> one{observation(54606.2, 10.0, 0.0)};
    const std::vector<Tracklet> single = tracklets_from_observations(one, {});
    const std::optional<TrackletMatch> m =
        tracklet_match(one, single[0], {{10.0, 2.0 * ARCSEC}}, IdentificationSettings{30.0, 1.0, 5, 1.0});
    ASSERT_TRUE(m.has_value());
    EXPECT_FALSE(m->motion_residual.has_value());
    EXPECT_NEAR(m->rms_arcsec, 2.0, 1e-6);

    // 3600"/h apart is 1"/s: within 1.5"/s, not within 0.5"/s.
    std::vector<Observation> two{observation(54606.2, 10.0, 0.0), observation(54606.2 + 1.0 / 86400.0, 10.0, 0.0)};
    const std::vector<Tracklet> pair = tracklets_from_observations(two, {});
    const std::vector<PredictedPlace> moving{{10.0, -0.5 * ARCSEC}, {10.0, 0.5 * ARCSEC}};
    const std::optional<TrackletMatch> wide =
        tracklet_match(two, pair[0], moving, IdentificationSettings{30.0, 1.5, 5, 1.0 / 3600.0});
    ASSERT_TRUE(wide.has_value());
    EXPECT_NEAR(*wide->motion_residual, 1.0, 1e-6);
    EXPECT_FALSE(tracklet_match(two, pair[0], moving, IdentificationSettings{30.0, 0.5, 5, 1.0 / 3600.0}));
}

TEST(RanksBefore, SmallerOffsetThenSmallerMotion)
{
    const TrackletMatch near{{}, 1.0, 5.0};
    const TrackletMatch far{{}, 2.0, 0.0};
    const TrackletMatch near_still{{}, 1.0, 1.0};
    EXPECT_TRUE(ranks_before(near, far));
    EXPECT_FALSE(ranks_before(far, near));
    EXPECT_TRUE(ranks_before(near_still, near));
    EXPECT_FALSE(ranks_before(near, near_still));
}
