#include "square_field.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using namespace fieldsearch;

// The gnomonic offsets about the centre (150, 0.5): the projection's
// denominator and sign conventions, and the antipode's mirror image.
TEST(SquareField, TangentPlaneOffsetsMatchReferenceValues)
{
    TangentPlaneOffsets o = tangent_plane_offsets(151.0, 0.5, 150.0, 0.5);
    EXPECT_NEAR(o.xi, 1.0000635, 5e-8);
    EXPECT_NEAR(o.eta, 0.0000762, 5e-8);
    o = tangent_plane_offsets(151.2, 0.5, 150.0, 0.5);
    EXPECT_NEAR(o.xi, 1.2001298, 5e-8);
    o = tangent_plane_offsets(330.0, -0.5, 150.0, 0.5);
    EXPECT_NEAR(o.xi, 0.0, 1e-12);
    EXPECT_NEAR(o.eta, 0.0, 1e-12);
    EXPECT_LT(o.cos_distance, 0.0);
    EXPECT_NEAR(tangent_plane_offsets(359.5, 0.0, 0.2, 0.0).xi, -0.70003, 5e-6);
    EXPECT_NEAR(tangent_plane_offsets(151.5, 45.0, 150.0, 45.0).xi, 1.0607208, 5e-8);
    // Towards the north the point (150, 1.5) lies 1 deg up: eta = tan(1 deg).
    EXPECT_NEAR(tangent_plane_offsets(150.0, 1.5, 150.0, 0.5).eta, std::tan(1.0 * 0.017453292519943295) * 57.29577951308232,
                1e-12);
}

// Acceptance: boundaries accepted, strict rejection beyond them, the
// magnitude tested first, the windows that remove mirror images, and the
// fold of right ascension across 0 h.
TEST(SquareField, AcceptsInsideAndRejectsOutsideAndMirrorImages)
{
    struct Case {
        double ra, dec, mag, ra0, dec0, h, mag_limit;
        int expected;
    };
    const Case cases[] = {
        {151.0, 0.5, 10.0, 150.0, 0.5, 1.0, 20.0, 1},
        {151.2, 0.5, 10.0, 150.0, 0.5, 1.0, 20.0, 0},
        {150.0, 0.5, 20.0, 150.0, 0.5, 1.0, 20.0, 1},   // at the limit magnitude
        {150.0, 0.5, 20.01, 150.0, 0.5, 1.0, 20.0, 0},  // fainter than the limit
        {330.0, -0.5, 10.0, 150.0, 0.5, 1.0, 20.0, 0},  // antipode, near the equator
        {359.5, 0.0, 10.0, 0.2, 0.0, 1.0, 20.0, 1},     // across 0 h
        {0.8, 0.0, 10.0, 359.8, 0.0, 1.0, 20.0, 1},     // across 0 h, the other way
        {30.0, -40.0, 10.0, 210.0, 40.0, 1.0, 20.0, 0}, // antipode, away from the equator
        {151.5, 45.0, 10.0, 150.0, 45.0, 1.0, 20.0, 1}, // 1.5 deg of RA at dec 45
        {150.0, 46.2, 10.0, 150.0, 45.0, 1.0, 20.0, 0}, // beyond the declination window
        {150.0, 89.0, 0.0, 150.0, 89.5, 2.5, 99.0, 1},  // close to the pole
    };
    for (const Case& c : cases) {
        EXPECT_EQ(in_square_field(c.ra, c.dec, c.mag, c.ra0, c.dec0, c.h, c.mag_limit), c.expected)
            << c.ra << " " << c.dec << " about " << c.ra0 << " " << c.dec0;
    }
}

// A NaN from a malformed record compares false with every bound and would
// otherwise be listed; a point 90 deg or more from the centre has a
// non-positive projection denominator and no meaningful offsets.
TEST(SquareField, RejectsNonFiniteValuesAndTheFarHemisphere)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(in_square_field(nan, 0.5, 10.0, 150.0, 0.5, 1.0, 20.0), 0);
    EXPECT_EQ(in_square_field(150.0, nan, 10.0, 150.0, 0.5, 1.0, 20.0), 0);
    EXPECT_EQ(in_square_field(150.0, 0.5, nan, 150.0, 0.5, 1.0, 20.0), 0);
    EXPECT_EQ(in_square_field(150.0, 0.5, -inf, 150.0, 0.5, 1.0, 20.0), 0);
    EXPECT_EQ(in_square_field(150.0, 0.5, 10.0, 150.0, 0.5, nan, 20.0), 0);
    EXPECT_EQ(in_square_field(150.0, 0.5, 10.0, 150.0, 0.5, 1.0, inf), 0);
    // Exactly 90 deg away (the denominator is zero) and beyond, with a field
    // so large that only the hemisphere guard can reject.
    EXPECT_EQ(in_square_field(150.0, 90.0, 0.0, 150.0, 0.0, 100.0, 99.0), 0);
    EXPECT_EQ(in_square_field(240.0, 0.0, 0.0, 150.0, 0.0, 100.0, 99.0), 0);
    EXPECT_EQ(in_square_field(150.0, -60.0, 0.0, 150.0, 50.0, 100.0, 99.0), 0);
    EXPECT_EQ(in_square_field(150.0, 20.0, 0.0, 150.0, 50.0, 100.0, 99.0), 1);
}
