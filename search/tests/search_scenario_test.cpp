#include "search_scenario.hpp"

#include <gtest/gtest.h>

using namespace fieldsearch;

// The centre is one value however it is given: sexagesimal parts and
// degrees agree, a negative declination under one degree keeps its sign in
// the parts, and the request carries the scenario's instant (MJD), half side
// (degrees) and observer unchanged.
TEST(SearchScenario, CentreAndRequestAgreeWithTheScenario)
{
    const FieldCentre parts = field_centre_from_sexagesimal(11, 28, 0.0, false, 1, 16, 0.0);
    EXPECT_EQ(parts.ra_deg, 172.0);
    EXPECT_DOUBLE_EQ(parts.dec_deg, 1.0 + 16.0 / 60.0);
    const FieldCentre degrees = field_centre_from_degrees(172.0, -0.5);
    EXPECT_TRUE(degrees.dec_negative);
    EXPECT_EQ(degrees.dec_degrees, 0);
    EXPECT_EQ(degrees.dec_arcminutes, 30);
    EXPECT_EQ(degrees.ra_hours, 11);
    EXPECT_EQ(degrees.ra_minutes, 28);

    Scenario scenario{{2008, 5, 20, 5, 14, 0.0}, Vector3{{1.0, 2.0, 3.0}}, parts, 60.0, 20.0};
    const SearchRequest request = search_request_from_scenario(scenario);
    EXPECT_EQ(request.utc_mjd, mjd_from_calendar(20, 5, 2008, 5, 14, 0.0));
    EXPECT_EQ(request.half_side_deg, 1.0);
    EXPECT_EQ(request.observer_x, 1.0);
    EXPECT_EQ(request.observer_z, 3.0);
    EXPECT_EQ(request.centre_ra_deg, 172.0);
    EXPECT_EQ(request.mag_limit, 20.0);
}
