#include "json_document.hpp"

#include <cmath>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "angles.hpp"
#include "horizontal_coordinates.hpp"
#include "sidereal_time.hpp"

using namespace fieldsearch;

namespace {

// A site, and the field's start the tests' Sun is placed for.
const Vector3 SITE{{3395.0303, 3128.7911, 4388.8511}};
constexpr double START = 54606.870833333334;

// The J2000 direction of the site's zenith at UTC MJD `utc`.
Vector3 zenith_at(double utc)
{
    const Matrix3 c2t = celestial_to_terrestrial_matrix(utc, 0.0, compiled_leap_second_table()).matrix;
    return matrix_vector_product(transpose_matrix(c2t), local_horizon(SITE)->up);
}

// A Sun 1 AU straight above the site at START, seen from the Earth's centre.
Vector3 sun_over_the_site(double)
{
    const Matrix3 c2t = celestial_to_terrestrial_matrix(START, 0.0, compiled_leap_second_table()).matrix;
    const Vector3 site = matrix_vector_product(transpose_matrix(c2t), SITE);
    const Vector3 up = zenith_at(START);
    return Vector3{{site(1) + 1.5e8 * up(1), site(2) + 1.5e8 * up(2), site(3) + 1.5e8 * up(3)}};
}

FieldSearch field_centred_on(const Vector3& direction, const Vector3& site, double exposure_s)
{
    const SphericalCoordinates place = spherical_from_vector(direction);
    Scenario scenario{};
    scenario.instant = calendar_instant_from_mjd(START);
    scenario.observer_earth_fixed = site;
    scenario.centre = field_centre_from_degrees(place.ra_deg, place.dec_deg);
    scenario.half_side_arcmin = 30.0;
    FieldSearch field = field_search(scenario, exposure_s);
    field.start_utc_mjd = START;
    return field;
}

}  // namespace

// A field centred on the site's zenith at its start, with the Sun 1 AU
// straight above the site, has both at 90 deg, also when its rows stand at
// mid-exposure ten minutes later (the sky is taken at the start); the Sun
// seen from the Earth's centre, not from the site, would be 8e-6 deg off
// (the 21 km between the site's radius and its normal, from 1 AU), the rows'
// instant 2.5 deg. Without an ephemeris the Sun's altitude is null, and
// for a geocentric observer both are; the scenario writes them to 1e-6 deg.
TEST(FieldSky, AltitudesOfTheCentreAndTheSunAtTheFieldsStart)
{
    const FieldSearch field = field_centred_on(zenith_at(START), SITE, 1200.0);
    const FieldSky sky = field_sky(field, sun_over_the_site);
    ASSERT_TRUE(sky.centre_altitude_deg && sky.sun_altitude_deg);
    EXPECT_NEAR(*sky.centre_altitude_deg, 90.0, 1e-7);
    EXPECT_NEAR(*sky.sun_altitude_deg, 90.0, 1e-9);
    EXPECT_FALSE(field_sky(field, nullptr).sun_altitude_deg);
    EXPECT_TRUE(field_sky(field, nullptr).centre_altitude_deg);
    const FieldSky geocentric = field_sky(field_centred_on(zenith_at(START), Vector3{}, 0.0), sun_over_the_site);
    EXPECT_FALSE(geocentric.centre_altitude_deg || geocentric.sun_altitude_deg);

    const nlohmann::json written = nlohmann::json::parse(json_field_text(field, FieldSky{45.12345678, std::nullopt}));
    EXPECT_EQ(written["centre_altitude_deg"].get<double>(), 45.123457);
    EXPECT_TRUE(written["sun_altitude_deg"].is_null());
    EXPECT_TRUE(nlohmann::json::parse(json_field_text(field))["centre_altitude_deg"].is_null());
}
