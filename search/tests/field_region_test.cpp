#include "field_region.hpp"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "square_field.hpp"

using namespace fieldsearch;

namespace {

// A point `angle_rad` from `centre` towards position angle `pa_rad`.
SkyPlace place_near(const Vector3& centre, double angle_rad, double pa_rad)
{
    // Two unit vectors across the centre.
    Vector3 east{{-centre(2), centre(1), 0.0}};
    double n = std::sqrt(dot_product(east, east));
    if (n < 1e-12) {
        east = Vector3{{0.0, 1.0, 0.0}};
        n = 1.0;
    }
    for (int i = 1; i <= 3; ++i) {
        east(i) /= n;
    }
    const Vector3 north{{centre(2) * east(3) - centre(3) * east(2), centre(3) * east(1) - centre(1) * east(3),
                         centre(1) * east(2) - centre(2) * east(1)}};
    Vector3 v;
    for (int i = 1; i <= 3; ++i) {
        v(i) = std::cos(angle_rad) * centre(i) +
               std::sin(angle_rad) * (std::cos(pa_rad) * north(i) + std::sin(pa_rad) * east(i));
    }
    const SphericalCoordinates s = spherical_from_vector(v);
    return {true, s.ra_deg, s.dec_deg, unit_vector_from_sky(s.ra_deg, s.dec_deg), 1.0e6};
}

std::string card(const char* key, const std::string& value)
{
    char text[81];
    std::snprintf(text, sizeof text, "%-8s= %20s", key, value.c_str());
    return std::string(text) + std::string(80 - std::string(text).size(), ' ');
}

// A TAN frame of 300 x 200 pixels of 1" rotated by 30 deg at (ra, dec).
std::shared_ptr<const ImageFrame> rotated_frame(double ra, double dec)
{
    const double s = 1.0 / 3600.0;
    const double c = std::cos(30.0 * DEG_TO_RAD);
    const double n = std::sin(30.0 * DEG_TO_RAD);
    auto num = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.15G", v);
        return std::string(text);
    };
    std::string header = card("SIMPLE", "T") + card("BITPIX", "8") + card("NAXIS", "2") + card("NAXIS1", "300") +
                         card("NAXIS2", "200") + card("CTYPE1", "'RA---TAN'") + card("CTYPE2", "'DEC--TAN'") +
                         card("CRPIX1", "150.5") + card("CRPIX2", "100.5") + card("CRVAL1", num(ra)) +
                         card("CRVAL2", num(dec)) + card("CD1_1", num(-s * c)) + card("CD1_2", num(s * n)) +
                         card("CD2_1", num(s * n)) + card("CD2_2", num(s * c)) + card("RADESYS", "'FK5'") +
                         card("EQUINOX", "2000.0");
    header += "END" + std::string(77, ' ');
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    const ImageFrameResult read = image_frame_from_header(header, "rotated.fits");
    EXPECT_TRUE(read.frame.has_value()) << read.error;
    return read.frame ? std::make_shared<const ImageFrame>(*read.frame) : nullptr;
}

}  // namespace

// The clearance is a lower bound of the distance to the region's edge, for
// squares (across 0 h, near the pole) and for a rotated image: a place moved
// by less than its clearance, in any direction, keeps its inside-or-outside
// answer, and the bounding circle holds every place that is inside. A
// clearance too large lets the exposure search step over an entry.
TEST(FieldRegion, ClearanceNeverExceedsTheDistanceToTheEdge)
{
    struct Case {
        double ra, dec, half_side_deg;
        bool image;
    };
    const Case cases[] = {{0.05, 0.5, 1.0, false}, {359.9, -20.0, 0.1, false}, {120.0, 88.5, 2.0, false},
                          {200.0, 30.0, 0.05, true}, {0.01, -60.0, 0.05, true}};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    auto unit = [&] { return uniform(random); };
    for (const Case& c : cases) {
        FieldSearch field;
        field.centre = field_centre_from_degrees(c.ra, c.dec);
        field.half_side_arcmin = 60.0 * c.half_side_deg;
        if (c.image) {
            field.frame = rotated_frame(c.ra, c.dec);
            ASSERT_NE(field.frame, nullptr);
        }
        const FieldRegion region = field_region(field);
        const Vector3 centre = unit_vector_from_sky(c.ra, c.dec);
        int inside = 0;
        for (int k = 0; k < 4000; ++k) {
            const double angle = 3.0 * c.half_side_deg * DEG_TO_RAD * unit();
            const SkyPlace p = place_near(centre, angle, 2.0 * PI * unit());
            const RegionTest test = field_region_test(region, p);
            EXPECT_EQ(test.inside, in_field_region(region, p.ra_deg, p.dec_deg));
            if (test.inside) {
                ++inside;
                EXPECT_LE(angle_between(p.direction, region.cap.centre), region.cap.radius_rad);
            }
            ASSERT_GE(test.clearance_rad, 0.0);
            for (int m = 0; m < 4; ++m) {
                const SkyPlace q = place_near(p.direction, 0.999 * test.clearance_rad * unit(), 2.0 * PI * unit());
                ASSERT_EQ(in_field_region(region, q.ra_deg, q.dec_deg), test.inside)
                    << c.ra << " " << c.dec << " clearance " << test.clearance_rad;
            }
        }
        EXPECT_GT(inside, 200) << c.ra << " " << c.dec;
    }
}

// Without a frame the region is the square field test itself; with one, a
// place's pixel follows the frame (the centre at its reference pixel) and
// the widened footprint decides.
TEST(FieldRegion, SquareAndFrameAnswerAsTheirOwnTests)
{
    FieldSearch square;
    square.centre = field_centre_from_degrees(10.0, 20.0);
    square.half_side_arcmin = 30.0;
    const FieldRegion region = field_region(square);
    for (double ra : {9.4, 9.5, 10.0, 10.55, 10.6}) {
        for (double dec : {19.4, 19.5, 20.0, 20.54, 20.6}) {
            EXPECT_EQ(in_field_region(region, ra, dec), in_square_field(ra, dec, 0.0, 10.0, 20.0, 0.5, 1.0) != 0)
                << ra << " " << dec;
        }
    }
    EXPECT_FALSE(field_pixel(region, 10.0, 20.0).has_value());

    FieldSearch image;
    image.frame = rotated_frame(200.0, 30.0);
    const FieldRegion framed = field_region(image);
    const std::optional<PixelPosition> centre = field_pixel(framed, 200.0, 30.0);
    ASSERT_TRUE(centre.has_value());
    EXPECT_NEAR(centre->x, 150.5, 1e-6);
    EXPECT_NEAR(centre->y, 100.5, 1e-6);
    EXPECT_TRUE(in_field_region(framed, 200.0, 30.0));
    EXPECT_FALSE(in_field_region(framed, 200.0, 30.2));
}
