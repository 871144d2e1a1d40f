#include "image_frame.hpp"

#include <fitsio.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_directory.hpp"

using namespace fieldsearch;

namespace {

constexpr double DEG = 0.017453292519943295;

// One header card: KEY = value, value as written (quotes included for text).
std::string card(const std::string& key, const std::string& value)
{
    char text[81];
    std::snprintf(text, sizeof text, "%-8s= %20s", key.c_str(), value.c_str());
    return text;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15G", value);
    return text;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Cards of a TAN frame: reference pixel, reference sky point and CD matrix.
struct Tan {
    double crpix1, crpix2, crval1, crval2, cd11, cd12, cd21, cd22;
};

std::vector<std::string> tan_cards(const Tan& t, const std::string& suffix = "")
{
    return {card("CTYPE1", quoted("RA---TAN" + suffix)), card("CTYPE2", quoted("DEC--TAN" + suffix)),
            card("CRPIX1", number(t.crpix1)), card("CRPIX2", number(t.crpix2)),
            card("CRVAL1", number(t.crval1)), card("CRVAL2", number(t.crval2)),
            card("CD1_1", number(t.cd11)),    card("CD1_2", number(t.cd12)),
            card("CD2_1", number(t.cd21)),    card("CD2_2", number(t.cd22))};
}

const Tan PLAIN{50.5, 25.5, 150.0, 20.0, -0.01, 0.0, 0.0, 0.01};

// Writes an image of naxis1 x naxis2 bytes whose header holds `cards`
// (an empty image HDU first when `in_extension`); returns its path.
std::string write_frame(const ScratchDirectory& dir, const std::string& name, const std::vector<std::string>& cards,
                        long naxis1 = 100, long naxis2 = 50, bool in_extension = false)
{
    const std::string path = dir.file(name);
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    if (in_extension) {
        fits_create_img(f, BYTE_IMG, 0, nullptr, &status);
    }
    std::array<long, 2> size{naxis1, naxis2};
    fits_create_img(f, BYTE_IMG, 2, size.data(), &status);
    for (const std::string& c : cards) {
        fits_write_record(f, c.c_str(), &status);
    }
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0) << name;
    return path;
}

// Standard coordinates (degrees) of (ra, dec) about (ra0, dec0): the plain
// gnomonic formulas, with x towards increasing right ascension.
std::array<double, 2> gnomonic(double ra, double dec, double ra0, double dec0)
{
    const double da = (ra - ra0) * DEG;
    const double d = dec * DEG;
    const double d0 = dec0 * DEG;
    const double cos_c = std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(da);
    return {std::cos(d) * std::sin(da) / cos_c / DEG,
            (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(da)) / cos_c / DEG};
}

// The inverse: (ra, dec) in degrees of standard coordinates (degrees).
std::array<double, 2> inverse_gnomonic(double xi, double eta, double ra0, double dec0)
{
    const double x = xi * DEG;
    const double y = eta * DEG;
    const double d0 = dec0 * DEG;
    const double denominator = std::cos(d0) - y * std::sin(d0);
    const double ra = ra0 + std::atan2(x, denominator) / DEG;
    const double dec = std::atan2(std::sin(d0) + y * std::cos(d0), std::hypot(x, denominator)) / DEG;
    return {std::fmod(ra + 360.0, 360.0), dec};
}

// Pixel of (ra, dec) on a TAN frame: p = CRPIX + CD^-1 (xi, eta).
std::array<double, 2> tan_pixel(const Tan& t, double ra, double dec)
{
    const auto s = gnomonic(ra, dec, t.crval1, t.crval2);
    const double det = t.cd11 * t.cd22 - t.cd12 * t.cd21;
    return {t.crpix1 + (t.cd22 * s[0] - t.cd12 * s[1]) / det, t.crpix2 + (-t.cd21 * s[0] + t.cd11 * s[1]) / det};
}

}  // namespace

// Frames rotated, flipped, across 0 h and near the pole: a wrong axis order,
// sign of the CD matrix, wrap of the right ascension or pixel origin moves the
// positions away from the plain gnomonic formulas.
TEST(ImageFrame, PixelPositionsOfTanFramesFollowTheGnomonicFormulas)
{
    const double c = std::cos(30.0 * DEG);
    const double s = std::sin(30.0 * DEG);
    const std::vector<Tan> frames{
        PLAIN,
        {50.5, 25.5, 150.0, 20.0, -0.01 * c, 0.01 * s, 0.01 * s, 0.01 * c},  // rotated 30 deg
        {50.5, 25.5, 150.0, -20.0, 0.01, 0.0, 0.0, 0.01},                     // east to the right
        {30.0, 10.0, 359.8, 5.0, -0.01, 0.0, 0.0, -0.01},                     // across 0 h, south up
        {50.5, 25.5, 75.0, 89.7, -0.01, 0.0, 0.0, 0.01},                      // near the pole
    };
    const ScratchDirectory dir;
    for (const Tan& t : frames) {
        const ImageFrameResult result = image_frame_from_file(write_frame(dir, "tan.fits", tan_cards(t)));
        ASSERT_TRUE(result.frame) << result.error;
        for (const auto& offset : {std::array<double, 2>{0.0, 0.0}, {0.3, 0.2}, {-0.4, -0.25}, {0.45, -0.1}}) {
            const auto sky = inverse_gnomonic(offset[0], offset[1], t.crval1, t.crval2);
            const auto expected = tan_pixel(t, sky[0], sky[1]);
            const auto p = pixel_position(*result.frame, sky[0], sky[1]);
            ASSERT_TRUE(p) << t.crval1 << " " << t.crval2;
            EXPECT_NEAR(p->x, expected[0], 1e-7) << t.crval1 << " " << t.crval2;
            EXPECT_NEAR(p->y, expected[1], 1e-7) << t.crval1 << " " << t.crval2;
            const auto back = sky_position(*result.frame, p->x, p->y);
            ASSERT_TRUE(back);
            EXPECT_NEAR(std::remainder(back->ra_deg - sky[0], 360.0) * std::cos(sky[1] * DEG), 0.0, 1e-9);
            EXPECT_NEAR(back->dec_deg, sky[1], 1e-9);
        }
        // The point opposite the centre is behind the projection.
        EXPECT_FALSE(pixel_position(*result.frame, t.crval1 + 180.0, -t.crval2));
    }
}

// The SIP polynomial applies to pixel offsets before the CD matrix; with no
// inverse coefficients the WCS library inverts it, and concurrent callers
// must each get the single-threaded answer.
TEST(ImageFrame, SipFramesFollowTheirPolynomialAlsoFromSeveralThreads)
{
    const ScratchDirectory dir;
    std::vector<std::string> cards = tan_cards(PLAIN, "-SIP");
    for (const auto& c : {card("A_ORDER", "2"), card("B_ORDER", "2"), card("A_2_0", "1E-4"), card("B_1_1", "-2E-4")}) {
        cards.push_back(c);
    }
    const ImageFrameResult result = image_frame_from_file(write_frame(dir, "sip.fits", cards));
    ASSERT_TRUE(result.frame) << result.error;
    const ImageFrame& frame = *result.frame;
    const std::vector<std::array<double, 2>> pixels{{1.0, 1.0}, {100.0, 50.0}, {20.0, 40.0}, {77.7, 3.3}};
    std::vector<std::array<double, 2>> skies;
    for (const auto& px : pixels) {
        const double u = px[0] - PLAIN.crpix1;
        const double v = px[1] - PLAIN.crpix2;
        const double up = u + 1e-4 * u * u;
        const double vp = v - 2e-4 * u * v;
        skies.push_back(inverse_gnomonic(PLAIN.cd11 * up, PLAIN.cd22 * vp, PLAIN.crval1, PLAIN.crval2));
        const auto sky = sky_position(frame, px[0], px[1]);
        ASSERT_TRUE(sky);
        EXPECT_NEAR(sky->ra_deg, skies.back()[0], 1e-9);
        EXPECT_NEAR(sky->dec_deg, skies.back()[1], 1e-9);
    }
    std::vector<std::thread> threads;
    std::array<int, 4> failures{};
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 300; ++round) {
                const std::size_t i = (t + static_cast<std::size_t>(round)) % pixels.size();
                const auto p = pixel_position(frame, skies[i][0], skies[i][1]);
                if (!p || std::fabs(p->x - pixels[i][0]) > 1e-6 || std::fabs(p->y - pixels[i][1]) > 1e-6) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, (std::array<int, 4>{}));
}

// The exposure rules: start from DATE-OBS or MJD-OBS, mid-exposure from
// DATE-AVG / MJD-AVG or the middle of the interval, TT and TAI brought to
// UTC. 2008 May 20 is MJD 54606 (JD 2454606.5); TT - UTC was 65.184 s,
// TAI - UTC 33 s.
TEST(ImageFrame, ExposureFollowsTheDateKeywordsAndTimeScale)
{
    const double day = 54606.0;
    const double s = 1.0 / 86400.0;
    const double t0 = day + (20 * 3600 + 53 * 60 + 30) * s;
    struct Case {
        std::vector<std::string> cards;
        bool has_exposure;
        double start, mid, length;
    };
    const std::vector<Case> cases{
        {{card("DATE-OBS", quoted("2008-05-20T20:53:30")), card("EXPTIME", "60")}, true, t0, t0 + 30 * s, 60},
        {{card("MJD-OBS", number(t0)), card("EXPOSURE", "10")}, true, t0, t0 + 5 * s, 10},
        {{card("DATE-OBS", quoted("2008-05-20T20:53:30")), card("DATE-AVG", quoted("2008-05-20T20:53:40")),
          card("EXPTIME", "60")},
         true, t0, t0 + 10 * s, 60},
        {{card("DATE-OBS", quoted("2008-05-20T20:54:35.184")), card("TIMESYS", quoted("TT"))}, true, t0, t0, 0},
        {{card("MJD-OBS", number(t0 + 33 * s)), card("MJD-AVG", number(t0 + 63 * s)), card("TIMESYS", quoted("TAI")),
          card("EXPTIME", "60")},
         true, t0, t0 + 30 * s, 60},
        {{card("DATE-OBS", quoted("2008-05-20"))}, true, day, day, 0},
        {{card("EXPTIME", "60")}, false, 0, 0, 0},
    };
    const ScratchDirectory dir;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::vector<std::string> cards = tan_cards(PLAIN);
        cards.insert(cards.end(), cases[i].cards.begin(), cases[i].cards.end());
        const ImageFrameResult result = image_frame_from_file(write_frame(dir, "time.fits", cards));
        ASSERT_TRUE(result.frame) << i << ": " << result.error;
        ASSERT_EQ(result.frame->exposure.has_value(), cases[i].has_exposure) << i;
        if (cases[i].has_exposure) {
            EXPECT_NEAR(result.frame->exposure->start_utc_mjd, cases[i].start, 1e-4 * s) << i;
            EXPECT_NEAR(result.frame->exposure->mid_utc_mjd, cases[i].mid, 1e-4 * s) << i;
            EXPECT_EQ(result.frame->exposure->length_seconds, cases[i].length) << i;
        }
    }
}

// The site from OBSGEO-X/Y/Z in metres, from OBSGEO-B/L/H, or from SITELAT,
// SITELONG (decimal or sexagesimal) and SITEELEV: the README gives the
// compiled-in site (3395.0303, 3128.7911, 4388.8511) km as 43.7417 N,
// 42.6630 E, 2094 m, to the rounding of those figures (a few metres).
TEST(ImageFrame, SiteComesFromTheObservatoryKeywords)
{
    struct Case {
        std::vector<std::string> cards;
        double tolerance_km;
    };
    const std::vector<Case> cases{
        {{card("OBSGEO-X", "3395030.3"), card("OBSGEO-Y", "3128791.1"), card("OBSGEO-Z", "4388851.1")}, 1e-9},
        {{card("OBSGEO-B", "43.7417"), card("OBSGEO-L", "42.6630"), card("OBSGEO-H", "2094")}, 0.005},
        {{card("SITELAT", quoted("+43:44:30.12")), card("SITELONG", quoted("42 39 46.8")), card("SITEELEV", "2094")},
         0.005},
        {{card("SITELAT", "43.7417"), card("SITELONG", "42.6630"), card("SITEELEV", "2094")}, 0.005},
    };
    const ScratchDirectory dir;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::vector<std::string> cards = tan_cards(PLAIN);
        cards.insert(cards.end(), cases[i].cards.begin(), cases[i].cards.end());
        const ImageFrameResult result = image_frame_from_file(write_frame(dir, "site.fits", cards));
        ASSERT_TRUE(result.frame) << i << ": " << result.error;
        ASSERT_TRUE(result.frame->site_earth_fixed_km) << i;
        const Vector3& site = *result.frame->site_earth_fixed_km;
        EXPECT_NEAR(site(1), 3395.0303, cases[i].tolerance_km) << i;
        EXPECT_NEAR(site(2), 3128.7911, cases[i].tolerance_km) << i;
        EXPECT_NEAR(site(3), 4388.8511, cases[i].tolerance_km) << i;
    }
    const ImageFrameResult none = image_frame_from_file(write_frame(dir, "nosite.fits", tan_cards(PLAIN)));
    ASSERT_TRUE(none.frame);
    EXPECT_FALSE(none.frame->site_earth_fixed_km);
}

// Headers that cannot describe a frame, and files that cannot be read: the
// exit status and a message naming the file and the problem, on one line.
TEST(ImageFrame, RefusesBadInputsWithStatusAndMessage)
{
    const ScratchDirectory dir;
    auto with = [](std::vector<std::string> extra) {
        std::vector<std::string> cards = tan_cards(PLAIN);
        cards.insert(cards.end(), extra.begin(), extra.end());
        return cards;
    };
    struct Case {
        std::string path;
        int status;
        std::string message;
    };
    std::ofstream(dir.file("text.fits")) << "not a FITS file\n";
    const std::vector<Case> cases{
        {dir.file("missing.fits"), 1, "cannot open"},
        {dir.file("text.fits"), 2, "not a FITS file"},
        {write_frame(dir, "nowcs.fits", {}), 2, "no celestial world coordinate system"},
        {write_frame(dir, "date.fits", with({card("DATE-OBS", quoted("2008-13-45T99:00"))})), 2, "DATE-OBS"},
        {write_frame(dir, "scale.fits", with({card("DATE-OBS", quoted("2008-05-20")), card("TIMESYS", quoted("GMST"))})),
         2, "TIMESYS"},
        {write_frame(dir, "fk4.fits", with({card("RADESYS", quoted("FK4"))})), 2, "RADESYS FK4"},
        {write_frame(dir, "b1950.fits", with({card("EQUINOX", "1950")})), 2, "FK4"},
        {write_frame(dir, "fk5.fits", with({card("RADESYS", quoted("FK5")), card("EQUINOX", "1975")})), 2, "EQUINOX"},
        {write_frame(dir, "singular.fits",
                     {card("CTYPE1", quoted("RA---TAN")), card("CTYPE2", quoted("DEC--TAN")), card("PC1_1", "0"),
                      card("PC2_1", "0")}),
         2, "WCS library"},
        {write_frame(dir, "site.fits", with({card("OBSGEO-X", "1"), card("OBSGEO-Y", "2")})), 2, "OBSGEO"},
        {write_frame(dir, "mixed.fits", {card("CTYPE1", quoted("RA---TAN")), card("CTYPE2", quoted("DEC--SIN"))}), 2,
         "WCS library"},
        {write_frame(dir, "glon.fits", {card("CTYPE1", quoted("GLON-TAN")), card("CTYPE2", quoted("GLAT-TAN"))}), 2,
         "GLON"},
        {dir.file("nowcs.fits") + "[3]", 2, "no such HDU"},
    };
    for (const Case& c : cases) {
        const ImageFrameResult result = image_frame_from_file(c.path);
        EXPECT_FALSE(result.frame) << c.path;
        EXPECT_EQ(result.exit_status, c.status) << c.path << ": " << result.error;
        EXPECT_EQ(result.error.rfind(c.path + ": ", 0), 0u) << result.error;
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }

    // NAXIS other than 2, a header cut short, a control byte in a card.
    std::string cube;
    for (const std::string& c : {card("SIMPLE", "T"), card("BITPIX", "8"), card("NAXIS", "3"), card("NAXIS1", "4"),
                                 card("NAXIS2", "4"), card("NAXIS3", "4")}) {
        cube += c + std::string(80 - c.size(), ' ');
    }
    for (const std::string& c : tan_cards(PLAIN)) {
        cube += c + std::string(80 - c.size(), ' ');
    }
    const std::string end = "END" + std::string(77, ' ');
    std::string control = cube + end;
    control[85] = '\t';
    std::string open_quote = cube + end;
    open_quote[open_quote.find("DEC--TAN'") + 8] = ' ';  // CTYPE2's text loses its closing quote
    const std::vector<Case> headers{{cube + end, 2, "NAXIS is 3"},
                                    {cube, 2, "no END"},
                                    {control, 2, "printable"},
                                    {open_quote, 2, "closing quote"}};
    for (const Case& c : headers) {
        const ImageFrameResult result = image_frame_from_header(c.path, "header");
        EXPECT_FALSE(result.frame);
        EXPECT_EQ(result.exit_status, c.status) << result.error;
        EXPECT_NE(result.error.find(c.message), std::string::npos) << result.error;
    }
}

// Without an HDU named, a primary HDU with no image leads to the first image
// extension with a celestial WCS.
TEST(ImageFrame, TakesTheFirstImageExtensionWhenThePrimaryHasNone)
{
    const ScratchDirectory dir;
    const std::string path = write_frame(dir, "mef.fits", tan_cards(PLAIN), 100, 50, true);
    for (const std::string& name : {path, path + "[1]"}) {
        const ImageFrameResult result = image_frame_from_file(name);
        ASSERT_TRUE(result.frame) << result.error;
        const auto centre = frame_centre(*result.frame);
        ASSERT_TRUE(centre);
        EXPECT_NEAR(centre->ra_deg, 150.0, 1e-9);
        EXPECT_NEAR(centre->dec_deg, 20.0, 1e-9);
    }
    EXPECT_FALSE(image_frame_from_file(path + "[0]").frame);
}

// The footprint 0.5 .. N + 0.5 widened by 5 % of each side about its centre,
// boundary included: for 100 x 50 pixels, x from -4.5 to 105.5, y from -2 to 53.
TEST(ImageFrame, WidenedFootprintAcceptsItsBoundaryOnly)
{
    const ScratchDirectory dir;
    const ImageFrameResult result = image_frame_from_file(write_frame(dir, "f.fits", tan_cards(PLAIN)));
    ASSERT_TRUE(result.frame);
    struct Case {
        double x, y;
        bool inside;
    };
    const std::vector<Case> cases{{50.0, 25.0, true},   {-4.5, -2.0, true},  {105.5, 53.0, true}, {-4.6, 25.0, false},
                                  {105.6, 25.0, false}, {50.0, -2.1, false}, {50.0, 53.1, false}, {NAN, 25.0, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(in_widened_footprint(*result.frame, {c.x, c.y}), c.inside) << c.x << " " << c.y;
    }
}

// The bounding circle holds every point of the widened footprint and is not
// much larger than its farthest corner (from the gnomonic formulas); the
// sizes and the outline follow the pixel scale of 36'' per pixel.
TEST(ImageFrame, BoundingCircleSizeAndOutlineFitTheFootprint)
{
    const ScratchDirectory dir;
    const Tan t{50.5, 25.5, 359.9, -30.0, -0.01, 0.0, 0.0, 0.01};
    const ImageFrameResult result = image_frame_from_file(write_frame(dir, "f.fits", tan_cards(t)));
    ASSERT_TRUE(result.frame);
    const ImageFrame& frame = *result.frame;
    const BoundingCircle circle = widened_bounding_circle(frame);
    double farthest = 0.0;
    for (double x = -4.5; x <= 105.5; x += 5.5) {
        for (double y = -2.0; y <= 53.0; y += 2.75) {
            const auto sky = inverse_gnomonic(-0.01 * (x - 50.5), 0.01 * (y - 25.5), t.crval1, t.crval2);
            const Vector3 u = unit_vector_from_sky(sky[0], sky[1]);
            const double angle = std::acos(std::fmin(1.0, dot_product(u, circle.centre)));
            farthest = std::fmax(farthest, angle);
            EXPECT_LE(angle, circle.radius_rad) << x << " " << y;
        }
    }
    EXPECT_LE(circle.radius_rad, farthest * 1.1);
    const auto size = frame_size(frame);
    ASSERT_TRUE(size);
    EXPECT_NEAR(size->width_arcmin, 60.0, 0.01);
    EXPECT_NEAR(size->height_arcmin, 30.0, 0.01);
    const std::vector<SkyPoint> outline = widened_outline(frame, 3);
    ASSERT_EQ(outline.size(), 12u);
    const auto first = inverse_gnomonic(-0.01 * (-4.5 - 50.5), 0.01 * (-2.0 - 25.5), t.crval1, t.crval2);
    EXPECT_NEAR(outline[0].ra_deg, first[0], 1e-9);
    EXPECT_NEAR(outline[0].dec_deg, first[1], 1e-9);
}

// The sample frames cover the compiled-in fields of the two programs and
// record their exposures and site.
TEST(ImageFrame, SampleFramesDescribeTheCompiledInScenarios)
{
    struct Case {
        std::string file;
        double ra, dec, side_arcmin, mid_mjd;
    };
    const std::vector<Case> cases{
        {"astfield-frame.fits", 10.0 / 240.0, 0.5, 120.0, 54606.0 + (5 * 60 + 14) / 1440.0},
        {"satfield-frame.fits", 172.0, 1.0 + 16.0 / 60.0, 300.0, 54606.0 + (20 * 60 + 54) / 1440.0},
    };
    for (const Case& c : cases) {
        const ImageFrameResult result = image_frame_from_file(std::string(SAMPLE_DATA_DIR) + "/" + c.file);
        ASSERT_TRUE(result.frame) << result.error;
        const auto centre = frame_centre(*result.frame);
        const auto size = frame_size(*result.frame);
        ASSERT_TRUE(centre && size && result.frame->exposure && result.frame->site_earth_fixed_km);
        EXPECT_NEAR(centre->ra_deg, c.ra, 1e-9);
        EXPECT_NEAR(centre->dec_deg, c.dec, 1e-9);
        EXPECT_NEAR(size->width_arcmin, c.side_arcmin, 0.5);
        EXPECT_NEAR(size->height_arcmin, c.side_arcmin, 0.5);
        EXPECT_NEAR(result.frame->exposure->mid_utc_mjd, c.mid_mjd, 1e-8);
        EXPECT_NEAR((*result.frame->site_earth_fixed_km)(1), 3395.0303, 1e-9);
    }
}
