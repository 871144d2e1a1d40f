#include "field_region.hpp"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

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

namespace {

// The header of an n x n image of `code` about (150, 20), `scale` degrees
// per pixel, in FK5: 80-character cards up to END.
std::string wide_frame_header(const std::string& code, double scale, int n)
{
    std::string text;
    const auto add = [&text](const std::string& key, const std::string& value) {
        char card[81];
        std::snprintf(card, sizeof card, "%-8s= %20s", key.c_str(), value.c_str());
        std::string c = card;
        c.resize(80, ' ');
        text += c;
    };
    add("SIMPLE", "T");
    add("BITPIX", "8");
    add("NAXIS", "2");
    add("NAXIS1", std::to_string(n));
    add("NAXIS2", std::to_string(n));
    add("CTYPE1", "'RA---" + code + "'");
    add("CTYPE2", "'DEC--" + code + "'");
    add("CRPIX1", std::to_string(0.5 * (n + 1)));
    add("CRPIX2", std::to_string(0.5 * (n + 1)));
    add("CRVAL1", "150.0");
    add("CRVAL2", "20.0");
    add("CDELT1", std::to_string(-scale));
    add("CDELT2", std::to_string(scale));
    add("RADESYS", "'FK5'");
    text += "END" + std::string(77, ' ');
    return text;
}

// The unit vector at angle `distance` from p towards position angle `angle`.
Vector3 moved(const Vector3& p, double distance, double angle)
{
    const SphericalCoordinates s = spherical_from_vector(p);
    const Vector3 north = unit_vector_from_sky(s.ra_deg, s.dec_deg + 90.0);  // past the pole: the local north
    const Vector3 east{{-std::sin(s.ra_deg * DEG_TO_RAD), std::cos(s.ra_deg * DEG_TO_RAD), 0.0}};
    Vector3 q;
    for (int i = 1; i <= 3; ++i) {
        q(i) = std::cos(distance) * p(i) +
               std::sin(distance) * (std::cos(angle) * north(i) + std::sin(angle) * east(i));
    }
    return q;
}

}  // namespace

// The clearance the exposure search steps by must be a lower bound of the
// distance to the region's boundary: every place nearer than it to a place
// shares that place's inside-or-outside answer. Here for frames partly off
// the sky (a SIN frame beyond its horizon, an all-sky ZEA camera, a quad
// cube with its holes), whose boundary is sampled on the sky, and for a
// TAN frame wholly on it (the pixel distance times half the least scale).
// Each place is tried with 24 neighbours at 0.999 of its clearance. The
// clearances must also be useful: most places a degree or more from the
// boundary, none of them left at zero.
TEST(FieldRegion, ClearancesHoldTheBoundaryOfFramesOnAndOffTheSky)
{
    struct Case {
        std::string code;
        double scale;
        int n;
        bool wholly_on_sky;
    };
    const Case cases[] = {
        {"SIN", 0.8, 180, false}, {"ZEA", 1.3, 200, false}, {"TSC", 2.0, 140, false}, {"TAN", 0.05, 200, true}};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (const Case& c : cases) {
        const ImageFrameResult read = image_frame_from_header(wide_frame_header(c.code, c.scale, c.n), c.code);
        ASSERT_TRUE(read.frame) << read.error;
        EXPECT_EQ(read.frame->wholly_on_sky, c.wholly_on_sky) << c.code;
        FieldSearch field{};
        field.frame = std::make_shared<const ImageFrame>(*read.frame);
        const FieldRegion region = field_region(field);
        int useful = 0;
        int tried = 0;
        for (int k = 0; k < 400; ++k) {
            // Places over the whole sky, and for the small TAN frame near it.
            Vector3 p;
            if (c.wholly_on_sky) {
                p = moved(unit_vector_from_sky(150.0, 20.0), 10.0 * DEG_TO_RAD * (0.5 + 0.5 * uniform(random)),
                          PI * uniform(random));
            } else {
                const double z = uniform(random);
                const double phi = PI * uniform(random);
                p = Vector3{{std::sqrt(1.0 - z * z) * std::cos(phi), std::sqrt(1.0 - z * z) * std::sin(phi), z}};
            }
            const SphericalCoordinates s = spherical_from_vector(p);
            const RegionTest test = field_region_test(region, {true, s.ra_deg, s.dec_deg, p, 1000.0});
            ASSERT_EQ(test.inside, in_field_region(region, s.ra_deg, s.dec_deg)) << c.code;
            ++tried;
            useful += test.clearance_rad > DEG_TO_RAD ? 1 : 0;
            if (!(test.clearance_rad > 0.0)) {
                continue;
            }
            for (int j = 0; j < 24; ++j) {
                const Vector3 q = moved(p, 0.999 * test.clearance_rad, TWO_PI * j / 24.0);
                const SphericalCoordinates t = spherical_from_vector(q);
                EXPECT_EQ(in_field_region(region, t.ra_deg, t.dec_deg), test.inside)
                    << c.code << ": from (" << s.ra_deg << ", " << s.dec_deg << ") with clearance "
                    << test.clearance_rad / DEG_TO_RAD << " deg to (" << t.ra_deg << ", " << t.dec_deg << ")";
            }
        }
        if (!c.wholly_on_sky) {
            EXPECT_GT(useful, tried * 3 / 4) << c.code;
        }
    }
}
