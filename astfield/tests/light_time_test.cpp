#include <gtest/gtest.h>

#include <cmath>

#include "angles.hpp"
#include "light_time.hpp"
#include "sidereal_time.hpp"
#include "solar_ephemeris.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

constexpr double SCENARIO_UTC = 54606.21805555555;
const Vector3 SCENARIO_OBSERVER{{3395.0303, 3128.7911, 4388.8511}};

double length(const Vector3& v)
{
    return std::sqrt(square(v(1)) + square(v(2)) + square(v(3)));
}

}  // namespace

// Catches a wrong speed of light or time unit: light crosses 1 AU in
// 499.0047838 s (149597870.691 km / 299792.458 km/s).
TEST(LightTime, OneAstronomicalUnit)
{
    EXPECT_NEAR(light_time_days(KM_PER_AU), 0.005775518331, 1e-12);
    EXPECT_NEAR(light_time_days(KM_PER_AU) * 86400.0, 499.0047838, 1e-7);
}

// Catches an observer position that takes the Earth at UTC instead of TDB,
// adds a different rotation, or differs in any bit from the core's
// geocentric observer plus the Earth vector; a zero observer is the Earth's
// centre.
TEST(LightTime, ObserverIsGeocentricPositionPlusEarth)
{
    const double tdb = celestial_to_terrestrial_matrix(SCENARIO_UTC, 0.0, compiled_leap_second_table()).tdb;
    EXPECT_NEAR(tdb, 54606.21881001337, 1e-10);
    const Vector3 earth = earth_heliocentric_vector(tdb);
    const Vector3 geocentric = observer_geocentric_position(SCENARIO_UTC, 0.0, compiled_leap_second_table(),
        SCENARIO_OBSERVER);
    const Vector3 observer = observer_heliocentric_position(SCENARIO_UTC, 0.0, compiled_leap_second_table(),
        SCENARIO_OBSERVER);
    const Vector3 centre = observer_heliocentric_position(SCENARIO_UTC, 0.0, compiled_leap_second_table(), Vector3{});
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(observer(i), earth(i) + geocentric(i));
        EXPECT_EQ(centre(i), earth(i));
    }
    EXPECT_NEAR(length(geocentric), length(SCENARIO_OBSERVER), 1e-8);
}

// Catches a light-time iteration that sums the corrections, forms a third
// light time or keeps the geometric position: the asteroid returned is where
// it was one light time (over the returned distance) earlier, to what two
// passes reach, and the vector runs from the observer to it.
TEST(LightTime, CorrectedVectorIsSelfConsistent)
{
    struct Case {
        Vector3 aei;
        Vector3 angles;
    };
    const Case cases[] = {
        {Vector3{{1.45, 0.42, 4.0}}, Vector3{{62.176545, 119.000084, 21.629578}}},  // 0.045 AU away
        {Vector3{{2.75, 0.08, 6.0}}, Vector3{{327.929242, 81.329088, 299.77838}}},  // 3 AU away
        {Vector3{{5.21, 0.07, 12.0}}, Vector3{{20.0, 30.0, 40.0}}},                 // beyond the Sun
    };
    const Vector3 observer = observer_heliocentric_position(SCENARIO_UTC, 0.0, compiled_leap_second_table(),
        SCENARIO_OBSERVER);
    const double epoch = 54600.0;
    for (const Case& c : cases) {
        const LightTimeCorrected seen = light_time_corrected_vector(epoch, c.aei, c.angles, SCENARIO_UTC, observer);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(seen.topocentric(i), seen.asteroid_position(i) - observer(i));
        }
        const double tau = light_time_days(length(seen.topocentric));
        const Vector3 retarded = asteroid_position_km(epoch, c.aei, c.angles, SCENARIO_UTC - tau);
        const Vector3 geometric = asteroid_position_km(epoch, c.aei, c.angles, SCENARIO_UTC);
        const Vector3 error{{retarded(1) - seen.asteroid_position(1), retarded(2) - seen.asteroid_position(2),
                             retarded(3) - seen.asteroid_position(3)}};
        const Vector3 shift{{geometric(1) - seen.asteroid_position(1), geometric(2) - seen.asteroid_position(2),
                             geometric(3) - seen.asteroid_position(3)}};
        EXPECT_LT(length(error), 1e-3);   // km
        EXPECT_GT(length(shift), 100.0);  // the correction is applied at all
    }
}
