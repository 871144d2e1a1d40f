// Image frames, exposures and overlays as an observer runs them: both
// programs against the square search, against the plain gnomonic formulas
// and against runs at single instants.
#include <erfa.h>
#include <fitsio.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

constexpr double DEG = 0.017453292519943295;
const char* const ASTFIELD = ASTFIELD_PROGRAM_PATH;
const char* const SATFIELD = SATFIELD_PROGRAM_PATH;
const std::string OBSERVER = "--observer 3395.0303,3128.7911,4388.8511";

ProgramRun run(const ScratchDirectory& scratch, const char* program, const std::string& arguments)
{
    return run_program(scratch.path().string() + "/", SAMPLE_DATA_DIR, program, arguments);
}

// One CSV row by column name.
using Row = std::map<std::string, std::string>;

// The rows of a CSV run, which must succeed (the sample designations hold no
// commas or quotes).
std::vector<Row> csv_rows(const ScratchDirectory& scratch, const char* program, const std::string& arguments)
{
    const ProgramRun r = run(scratch, program, arguments + " --format csv");
    EXPECT_EQ(r.status, 0) << arguments << "\n" << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> names;
    std::vector<Row> rows;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line + ",");
        for (std::string field; std::getline(parts, field, ',');) {
            fields.push_back(field);
        }
        if (names.empty()) {
            names = fields;
            continue;
        }
        EXPECT_EQ(fields.size(), names.size()) << line;
        rows.emplace_back();
        for (std::size_t i = 0; i < names.size() && i < fields.size(); ++i) {
            rows.back()[names[i]] = fields[i];
        }
    }
    return rows;
}

// The object a row stands for: the NORAD number, or the number and name.
std::string key(const Row& row)
{
    return row.count("norad_id") != 0 ? row.at("norad_id") : row.at("number") + "|" + row.at("name");
}

std::map<std::string, Row> by_key(const std::vector<Row>& rows)
{
    std::map<std::string, Row> keyed;
    for (const Row& row : rows) {
        keyed.emplace(key(row), row);
    }
    EXPECT_EQ(keyed.size(), rows.size()) << "an object listed twice";
    return keyed;
}

double number(const Row& row, const std::string& column) { return std::stod(row.at(column)); }

// Angular distance between the places of two rows, arcseconds (small
// distances: the tangent-plane offset).
double separation_arcsec(const Row& a, const Row& b)
{
    const double dra = std::remainder(number(a, "ra_deg") - number(b, "ra_deg"), 360.0);
    const double ddec = number(a, "dec_deg") - number(b, "dec_deg");
    return std::hypot(dra * std::cos(number(a, "dec_deg") * DEG), ddec) * 3600.0;
}

// A TAN frame: reference pixel, reference point (degrees), CD matrix
// (degrees per pixel) and size.
struct Tan {
    double crpix1, crpix2, crval1, crval2, cd11, cd12, cd21, cd22;
    long naxis1, naxis2;
};

// Pixel position of (ra, dec) on a TAN frame by the plain gnomonic formulas:
// standard coordinates about CRVAL, then p = CRPIX + CD^-1 (xi, eta).
std::array<double, 2> tan_pixel(const Tan& t, double ra, double dec)
{
    const double da = (ra - t.crval1) * DEG;
    const double d = dec * DEG;
    const double d0 = t.crval2 * DEG;
    const double cos_c = std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(da);
    const double xi = std::cos(d) * std::sin(da) / cos_c / DEG;
    const double eta = (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(da)) / cos_c / DEG;
    const double det = t.cd11 * t.cd22 - t.cd12 * t.cd21;
    return {t.crpix1 + (t.cd22 * xi - t.cd12 * eta) / det, t.crpix2 + (-t.cd21 * xi + t.cd11 * eta) / det};
}

constexpr double PI_VALUE = 3.141592653589793;

using Vector3 = std::array<double, 3>;

Vector3 direction(double ra_deg, double dec_deg)
{
    return {std::cos(dec_deg * DEG) * std::cos(ra_deg * DEG), std::cos(dec_deg * DEG) * std::sin(ra_deg * DEG),
            std::sin(dec_deg * DEG)};
}

double dot(const Vector3& a, const Vector3& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vector3 cross(const Vector3& a, const Vector3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double norm(const Vector3& a)
{
    return std::sqrt(dot(a, a));
}

// How far a pixel position lies outside the footprint of an n1 x n2 image
// widened by 5 % on each side (negative inside), pixels.
double beyond_footprint(long n1, long n2, double x, double y)
{
    return std::max(std::abs(x - 0.5 * static_cast<double>(n1 + 1)) - 0.55 * static_cast<double>(n1),
                    std::abs(y - 0.5 * static_cast<double>(n2 + 1)) - 0.55 * static_cast<double>(n2));
}

// Writes a byte image of the given axes whose header holds `cards` (each
// "KEY = value" as a header card); returns its path.
std::string write_image(const ScratchDirectory& scratch, const std::string& name, std::vector<long> axes,
                        const std::vector<std::string>& cards)
{
    const std::string path = scratch.file(name);
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    fits_create_img(f, BYTE_IMG, static_cast<int>(axes.size()), axes.data(), &status);
    for (const std::string& c : cards) {
        char card[81];
        std::snprintf(card, sizeof card, "%-80s", c.c_str());
        fits_write_record(f, card, &status);
    }
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0) << name;
    return path;
}

std::vector<std::string> tan_cards(const Tan& t)
{
    std::vector<std::string> cards{"CTYPE1  = 'RA---TAN'", "CTYPE2  = 'DEC--TAN'"};
    const std::pair<const char*, double> values[] = {{"CRPIX1", t.crpix1}, {"CRPIX2", t.crpix2}, {"CRVAL1", t.crval1},
                                                     {"CRVAL2", t.crval2}, {"CD1_1", t.cd11},    {"CD1_2", t.cd12},
                                                     {"CD2_1", t.cd21},    {"CD2_2", t.cd22}};
    for (const auto& [name, value] : values) {
        char card[81];
        std::snprintf(card, sizeof card, "%-8s= %.17G", name, value);
        cards.push_back(card);
    }
    return cards;
}

// The place on the mean equator and equinox of J2000.0 (degrees) of a place
// given in the region file's system: from the ICRS through ERFA's frame
// bias matrix, from FK4 B1950 by ERFA's fk45z at the epoch B1950.0.
std::array<double, 2> j2000_of(const std::string& system, double ra, double dec)
{
    if (system == "icrs") {
        double rb[3][3];
        double rp[3][3];
        double rbp[3][3];
        eraBp00(2451545.0, 0.0, rb, rp, rbp);
        double p[3];
        double q[3];
        eraS2c(ra * DEG, dec * DEG, p);
        eraRxp(rb, p, q);
        double a = 0.0;
        double d = 0.0;
        eraC2s(q, &a, &d);
        return {eraAnp(a) / DEG, d / DEG};
    }
    if (system == "fk4") {
        double a = 0.0;
        double d = 0.0;
        eraFk45z(ra * DEG, dec * DEG, 1950.0, &a, &d);
        return {a / DEG, d / DEG};
    }
    return {ra, dec};
}

// One HDU of a file: its axes, its cards ("KEY = value") and, for a lookup
// table, its values.
struct Hdu {
    std::vector<long> axes;
    std::vector<std::string> cards;
    std::vector<float> values;
};

// Writes the HDUs, the first as the primary one; returns the path.
std::string write_hdus(const ScratchDirectory& scratch, const std::string& name, const std::vector<Hdu>& hdus)
{
    const std::string path = scratch.file(name);
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, ("!" + path).c_str(), &status);
    for (const Hdu& hdu : hdus) {
        std::vector<long> axes = hdu.axes;
        fits_create_img(f, hdu.values.empty() ? BYTE_IMG : FLOAT_IMG, static_cast<int>(axes.size()), axes.data(),
                        &status);
        for (const std::string& c : hdu.cards) {
            char card[81];
            std::snprintf(card, sizeof card, "%-80s", c.c_str());
            fits_write_record(f, card, &status);
        }
        if (!hdu.values.empty()) {
            std::vector<float> values = hdu.values;
            fits_write_img(f, TFLOAT, 1, static_cast<LONGLONG>(values.size()), values.data(), &status);
        }
    }
    fits_close_file(f, &status);
    EXPECT_EQ(status, 0) << name;
    return path;
}

// A lookup table of one value everywhere, in `extname` of version `extver`.
Hdu constant_table(const std::string& extname, int extver, float value)
{
    return {{4, 3},
            {"EXTNAME = '" + extname + "'", "EXTVER  = " + std::to_string(extver), "CRPIX1  = 1", "CRPIX2  = 1",
             "CRVAL1  = 1", "CRVAL2  = 1", "CDELT1  = 50", "CDELT2  = 50"},
            std::vector<float>(12, value)};
}

// Runs of blanks as one blank, none at either end: labels pad designations.
std::string collapsed(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c != ' ' || (!out.empty() && out.back() != ' ')) {
            out += c;
        }
    }
    return out.empty() || out.back() != ' ' ? out : out.substr(0, out.size() - 1);
}

}  // namespace

// The sample frames lie over the compiled-in squares (200 x 200 pixels of 36"
// over the 2-degree asteroid field, of 90" over the 5-degree satellite field;
// both widened alike, by 10 % in all), so at the same instant from the same
// site they list the same objects at the same places. The footprint follows
// the projection (and the satellite frame's small SIP terms) where the square
// follows the tangent plane, so only objects whose standard coordinates stay
// within the unwidened half side, well inside both, are compared.
TEST(FramesRuns, SampleFramesListWhatTheirSquaresList)
{
    struct Case {
        const char* program;
        std::string image_options;
        double ra0, dec0, half_side_deg;
    };
    const Case cases[] = {
        {ASTFIELD, "--image astfield-frame.fits --exposure 0 --time 2008-05-20T05:14:00", 10.0 / 240.0, 0.5, 1.0},
        {SATFIELD, "--image satfield-frame.fits --exposure 0 --time 2008-05-20T20:54:00", 172.0, 1.0 + 16.0 / 60.0,
         2.5},
    };
    const ScratchDirectory scratch;
    for (const Case& c : cases) {
        // Standard coordinates in degrees: a TAN "frame" of one degree per pixel.
        const Tan plane{0.0, 0.0, c.ra0, c.dec0, 1.0, 0.0, 0.0, 1.0, 0, 0};
        const auto square = by_key(csv_rows(scratch, c.program, ""));
        const auto frame = by_key(csv_rows(scratch, c.program, c.image_options));
        std::size_t compared = 0;
        for (const auto& [one, other] : {std::pair{&square, &frame}, std::pair{&frame, &square}}) {
            for (const auto& [k, row] : *one) {
                const auto s = tan_pixel(plane, number(row, "ra_deg"), number(row, "dec_deg"));
                if (std::max(std::abs(s[0]), std::abs(s[1])) < c.half_side_deg) {
                    ASSERT_EQ(other->count(k), 1u) << c.program << ": one run misses " << k;
                    EXPECT_LT(separation_arcsec(row, other->at(k)), 1e-3) << c.program << " " << k;
                    ++compared;
                }
            }
        }
        EXPECT_GE(compared, 6u) << c.program;
    }
}

// Frames of our own, rotated by 30 degrees and across 0h, searched from the
// compiled-in site: every row's pixel position follows the plain gnomonic
// formulas from its place, and the objects a wide square search finds well
// inside (outside) the widened footprint by those formulas are (are not)
// listed. A wrong CD matrix order or sign, a lost RA wrap or a footprint
// test in the wrong frame fails here.
TEST(FramesRuns, OwnTanFramesPlaceRowsByTheGnomonicFormulas)
{
    const double c30 = std::cos(30.0 * DEG) * 0.01;
    const double s30 = std::sin(30.0 * DEG) * 0.01;
    struct Case {
        const char* name;
        Tan tan;
        std::string time;
    };
    const Case cases[] = {
        {"rotated.fits", {70.5, 60.5, 0.2, 0.6, -c30, s30, s30, c30, 140, 120}, "2008-05-20T05:14:00"},
        {"across0h.fits", {40.5, 50.5, 359.95, 0.3, -0.012, 0.0, 0.0, 0.012, 160, 100}, "2008-05-20T05:30:00"},
    };
    const ScratchDirectory scratch;
    for (const Case& c : cases) {
        const Tan& t = c.tan;
        const std::string image = write_image(scratch, c.name, {t.naxis1, t.naxis2}, tan_cards(t));
        const auto listed = by_key(csv_rows(scratch, ASTFIELD, "--image '" + image + "' --time " + c.time + " " + OBSERVER));
        const auto wide = by_key(csv_rows(scratch, ASTFIELD,
                                          "--time " + c.time + " --centre " + std::to_string(t.crval1) + " " +
                                              std::to_string(t.crval2) + " --side 240"));
        EXPECT_GE(listed.size(), 3u) << c.name;
        for (const auto& [k, row] : listed) {
            const auto p = tan_pixel(t, number(row, "ra_deg"), number(row, "dec_deg"));
            EXPECT_NEAR(number(row, "x"), p[0], 2e-3) << c.name << " " << k;
            EXPECT_NEAR(number(row, "y"), p[1], 2e-3) << c.name << " " << k;
        }
        for (const auto& [k, row] : wide) {
            const auto p = tan_pixel(t, number(row, "ra_deg"), number(row, "dec_deg"));
            const double d = beyond_footprint(t.naxis1, t.naxis2, p[0], p[1]);
            if (std::abs(d) > 0.5) {
                EXPECT_EQ(listed.count(k), d < 0.0 ? 1u : 0u) << c.name << " " << k << " " << d << " px outside";
            }
        }
    }
}

// The same frame and exposure written the ways real files write them gives
// the same rows: an extension that inherits its dates (DATE-OBS holding the
// date, TIME-OBS the time), its site and its reference system from the
// primary header; DATE-BEG and DATE-END for the exposure; and a frame with
// lookup tables of constant shifts (D2IM1 0.125, CPDIS1 0.25, CPDIS2 -0.5
// pixel), which by the distortion convention is the plain frame with CRPIX
// moved by (-0.375, +0.5). A reader that lost the primary's keywords, took a
// date alone for 0 h, or applied a table the wrong way or not at all, lists
// other objects or other pixels here.
TEST(FramesRuns, HeaderConventionsGiveTheRowsOfTheirPlainFrame)
{
    const ScratchDirectory scratch;
    const Tan t{70.5, 60.5, 0.2, 0.6, -0.012, 0.0, 0.0, 0.012, 140, 120};
    const std::vector<std::string> site{"OBSGEO-X=            3395030.3", "OBSGEO-Y=            3128791.1",
                                        "OBSGEO-Z=            4388851.1"};
    auto plus = [](std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::string> fk5{"RADESYS = 'FK5'", "EQUINOX =                 2000"};
    const std::vector<std::string> exposure{"DATE-OBS= '2008-05-20T05:13:30'", "EXPTIME =                  600"};
    const std::string plain =
        write_image(scratch, "plain.fits", {t.naxis1, t.naxis2}, plus(plus(plus(tan_cards(t), fk5), exposure), site));
    const std::string inherited = write_hdus(
        scratch, "inherited.fits",
        {{{}, plus(plus({"DATE-OBS= '2008-05-20'", "TIME-OBS= '05:13:30'", "EXPTIME =                  600"}, fk5), site),
          {}},
         {{t.naxis1, t.naxis2}, plus({"INHERIT =                    T"}, tan_cards(t)), {}}});
    const std::string begin_end = write_image(
        scratch, "begin_end.fits", {t.naxis1, t.naxis2},
        plus(plus(plus(tan_cards(t), fk5), {"DATE-BEG= '2008-05-20T05:13:30'", "DATE-END= '2008-05-20T05:23:30'"}),
             site));
    Tan moved = t;
    moved.crpix1 -= 0.375;
    moved.crpix2 += 0.5;
    const std::string equivalent = write_image(scratch, "equivalent.fits", {t.naxis1, t.naxis2},
                                               plus(plus(plus(tan_cards(moved), fk5), exposure), site));
    const std::vector<std::string> lookup{"CPDIS1  = 'Lookup'",    "DP1     = 'EXTVER: 1'", "DP1     = 'NAXES: 2'",
                                          "CPDIS2  = 'Lookup'",    "DP2     = 'EXTVER: 2'", "DP2     = 'NAXES: 2'",
                                          "D2IMDIS1= 'Lookup'",    "D2IM1   = 'EXTVER: 1'", "D2IM1   = 'NAXES: 2'"};
    const std::string tables = write_hdus(
        scratch, "tables.fits",
        {{{t.naxis1, t.naxis2}, plus(plus(plus(plus(tan_cards(t), fk5), exposure), site), lookup), {}},
         constant_table("WCSDVARR", 1, 0.25f), constant_table("WCSDVARR", 2, -0.5f),
         constant_table("D2IMARR", 1, 0.125f)});
    const auto reference = by_key(csv_rows(scratch, ASTFIELD, "--image '" + plain + "'"));
    const auto shifted = by_key(csv_rows(scratch, ASTFIELD, "--image '" + equivalent + "'"));
    EXPECT_GE(reference.size(), 3u);
    EXPECT_GE(shifted.size(), 3u);
    struct Case {
        std::string image;
        const std::map<std::string, Row>* expected;
    };
    const Case cases[] = {{inherited, &reference}, {begin_end, &reference}, {tables, &shifted}};
    for (const Case& c : cases) {
        const auto rows = by_key(csv_rows(scratch, ASTFIELD, "--image '" + c.image + "'"));
        ASSERT_EQ(rows.size(), c.expected->size()) << c.image;
        for (const auto& [k, row] : rows) {
            ASSERT_EQ(c.expected->count(k), 1u) << c.image << " lists " << k;
            const Row& other = c.expected->at(k);
            for (const char* column : {"ra_deg", "dec_deg", "ra_start_deg", "dec_end_deg", "t_in_s", "t_out_s"}) {
                EXPECT_EQ(row.at(column), other.at(column)) << c.image << " " << k << " " << column;
            }
            for (const char* column : {"x", "y", "x_start", "y_start", "x_end", "y_end"}) {
                EXPECT_NEAR(number(row, column), number(other, column), 1.5e-3) << c.image << " " << k << " " << column;
            }
        }
    }
}

// Frames only partly on the sky are searched where they lie on it: an
// all-sky ZEA camera (the whole sky, 114.6 degrees of radius, inside its
// 200 pixels of 1.3 degrees; its corners beyond the sky's edge) lists every
// object a square search lists, a SIN frame of 0.8-degree pixels whose
// horizon lies inside it lists those of them within its footprint on the
// near side of the sky and none beyond, and every row's pixel follows the
// zenithal formulas (R = (360/pi) sin(c/2) for ZEA, (180/pi) sin c for SIN,
// c the distance from the centre). Over a 300 s exposure the satellites a
// square at the start puts well inside the SIN frame are all listed.
TEST(FramesRuns, FramesPartlyOffTheSkyListWhatLiesOnIt)
{
    const ScratchDirectory scratch;
    struct Case {
        const char* program;
        std::string code;
        double scale;
        long n;
        double ra0, dec0;
        std::string time;
    };
    const Case cases[] = {
        {ASTFIELD, "ZEA", 1.3, 200, 10.0, 5.0, "2008-05-20T05:13:30"},
        {ASTFIELD, "SIN", 0.8, 180, 10.0, 5.0, "2008-05-20T05:13:30"},
        {SATFIELD, "SIN", 0.8, 180, 172.0, 1.2667, "2008-05-20T20:53:30"},
    };
    for (const Case& c : cases) {
        const double crpix = 0.5 * (c.n + 1);
        char cards[6][81];
        std::snprintf(cards[0], 81, "CRPIX1  = %.6f", crpix);
        std::snprintf(cards[1], 81, "CRPIX2  = %.6f", crpix);
        std::snprintf(cards[2], 81, "CRVAL1  = %.6f", c.ra0);
        std::snprintf(cards[3], 81, "CRVAL2  = %.6f", c.dec0);
        std::snprintf(cards[4], 81, "CDELT1  = %.6f", -c.scale);
        std::snprintf(cards[5], 81, "CDELT2  = %.6f", c.scale);
        const std::string image = write_image(
            scratch, c.code + ".fits", {c.n, c.n},
            {"CTYPE1  = 'RA---" + c.code + "'", "CTYPE2  = 'DEC--" + c.code + "'", cards[0], cards[1], cards[2],
             cards[3], cards[4], cards[5], "RADESYS = 'FK5'", "DATE-OBS= '" + c.time + "'",
             c.program == SATFIELD ? "EXPTIME =                  300" : "EXPTIME =                    0"});
        const auto listed = by_key(csv_rows(scratch, c.program, "--image '" + image + "' " + OBSERVER));
        EXPECT_GE(listed.size(), 20u) << c.code;
        // Where each place falls by the zenithal formulas.
        const auto pixel_of = [&](double ra, double dec) -> std::optional<std::array<double, 2>> {
            const Vector3 p = direction(ra, dec);
            const Vector3 q = direction(c.ra0, c.dec0);
            const double distance = std::atan2(norm(cross(p, q)), dot(p, q));
            if (c.code == "SIN" && distance > 0.5 * PI_VALUE) {
                return std::nullopt;
            }
            const double r = (c.code == "SIN" ? std::sin(distance) : 2.0 * std::sin(0.5 * distance)) / DEG / c.scale;
            const double da = (ra - c.ra0) * DEG;
            const double east = std::cos(dec * DEG) * std::sin(da);
            const double north = std::cos(c.dec0 * DEG) * std::sin(dec * DEG) -
                                 std::sin(c.dec0 * DEG) * std::cos(dec * DEG) * std::cos(da);
            const double length = std::hypot(east, north);
            return std::array<double, 2>{crpix - r * east / length, crpix + r * north / length};
        };
        for (const auto& [k, row] : listed) {
            // A satellite's row is at mid-exposure, which may lie beyond the
            // horizon: then it has no pixel there.
            const auto p = pixel_of(number(row, "ra_deg"), number(row, "dec_deg"));
            if (c.program == SATFIELD && !p) {
                EXPECT_EQ(row.at("x"), "") << c.code << " " << k;
                continue;
            }
            ASSERT_TRUE(p) << c.code << " lists " << k << " beyond its horizon";
            EXPECT_NEAR(number(row, "x"), (*p)[0], 2e-3) << c.code << " " << k;
            EXPECT_NEAR(number(row, "y"), (*p)[1], 2e-3) << c.code << " " << k;
        }
        // Squares over the frame's sky at its start, away from 0 h.
        std::size_t judged = 0;
        for (const auto& centre : {std::array<double, 2>{c.ra0 + 20.0, c.dec0}, {c.ra0 - 20.0, c.dec0 + 30.0},
                                   {c.ra0 + 50.0, c.dec0 - 30.0}, {c.ra0 + 180.0, -c.dec0}}) {
            char options[160];
            std::snprintf(options, sizeof options, "--time %s --centre %.4f %.4f --side 3000 %s", c.time.c_str(),
                          std::fmod(centre[0] + 360.0, 360.0), centre[1], OBSERVER.c_str());
            for (const auto& [k, row] : by_key(csv_rows(scratch, c.program, options))) {
                const auto p = pixel_of(number(row, "ra_deg"), number(row, "dec_deg"));
                const double beyond = p ? beyond_footprint(c.n, c.n, (*p)[0], (*p)[1]) : 1e9;
                if (c.program == SATFIELD ? beyond > -0.05 * c.n : std::abs(beyond) < 0.5) {
                    continue;  // near the edge, or for a satellite not well inside
                }
                ++judged;
                EXPECT_EQ(listed.count(k), beyond < 0.0 ? 1u : 0u)
                    << c.code << " " << k << " lies " << beyond << " pixels outside";
            }
        }
        EXPECT_GE(judged, 10u) << c.code;
    }
}

// An exposure on a square without an image: what is in the square at the
// start is listed, and the rows (at mid-exposure) are what a run at
// mid-exposure lists for the same objects, at the same places. A search that
// looked at one instant only, or showed the start in place of the middle,
// fails here.
TEST(FramesRuns, ExposureOnASquareHoldsTheStartAndShowsTheMiddle)
{
    struct Case {
        const char* program;
        std::string start, middle;
    };
    const Case cases[] = {
        {ASTFIELD, "2008-05-20T05:14:00", "2008-05-20T05:15:00"},
        {SATFIELD, "2008-05-20T20:54:00", "2008-05-20T20:55:00"},
    };
    const ScratchDirectory scratch;
    for (const Case& c : cases) {
        const auto exposed = by_key(csv_rows(scratch, c.program, "--time " + c.start + " --exposure 120"));
        const auto at_start = by_key(csv_rows(scratch, c.program, "--time " + c.start));
        const auto at_middle = by_key(csv_rows(scratch, c.program, "--time " + c.middle));
        EXPECT_GE(at_start.size(), 3u) << c.program;
        for (const auto& [k, row] : at_start) {
            EXPECT_EQ(exposed.count(k), 1u) << c.program << " misses " << k << ", in the square at the start";
        }
        for (const auto& [k, row] : at_middle) {
            ASSERT_EQ(exposed.count(k), 1u) << c.program << " misses " << k << ", in the square at mid-exposure";
            EXPECT_LT(separation_arcsec(row, exposed.at(k)), 1e-3) << c.program << " " << k;
        }
    }
}

// A bad image stops the run before any search: one line on standard error
// naming the file (then, for a header that describes no frame, the usage
// hint), nothing on standard output; status 1 when the file cannot be read,
// 2 when its header describes no frame. An image with --centre or --side is
// a usage error. The line names the keyword and its value where one is at
// fault: an exposure beyond --exposure's 86400 s (1e9 s kept satfield busy
// for more than ten minutes), a site far beyond the Earth, a CD matrix that
// is singular or makes pixels wider than the sky, a date that gives no time.
TEST(FramesRuns, BadImagesAndOptionsStopWithAMessage)
{
    const ScratchDirectory scratch;
    const Tan t{50.5, 50.5, 0.1, 0.5, -0.01, 0.0, 0.0, 0.01, 100, 100};
    auto with = [&t](const std::string& card) {
        std::vector<std::string> cards = tan_cards(t);
        cards.push_back(card);
        return cards;
    };
    auto with_cards = [&t](std::vector<std::string> extra, std::vector<std::string> replacing = {}) {
        std::vector<std::string> cards = extra;
        for (const std::string& c : tan_cards(t)) {
            bool replaced = false;
            for (const std::string& r : replacing) {
                replaced = replaced || c.rfind(r, 0) == 0;
            }
            if (!replaced) {
                cards.push_back(c);
            }
        }
        return cards;
    };
    const std::string good = write_image(scratch, "good.fits", {100, 100}, with(""));
    const std::string cut = scratch.file("cut.fits");
    std::ofstream(cut, std::ios::binary) << file_contents(good).substr(0, 1200);
    const std::string text = scratch.file("text.fits");
    std::ofstream(text, std::ios::binary) << "SIMPLE? no, just a line of text\n";
    const std::string start = "DATE-OBS= '2008-05-20T20:53:30'";
    struct Case {
        const char* program;
        std::string image, options;
        int status;
        std::string says;  // in the message after the file's name
    };
    const Case cases[] = {
        {ASTFIELD, scratch.file("missing.fits"), OBSERVER, 1, "cannot open"},
        {ASTFIELD, text, OBSERVER, 2, "not a FITS file"},
        {ASTFIELD, cut, OBSERVER, 2, ""},
        {ASTFIELD, write_image(scratch, "nowcs.fits", {100, 100}, {"DATE-OBS= '2008-05-20T05:13:30'"}), OBSERVER, 2,
         "no celestial world coordinate system"},
        {ASTFIELD, write_image(scratch, "cube.fits", {100, 100, 3}, with("")), OBSERVER, 2, "NAXIS is 3"},
        {ASTFIELD, write_image(scratch, "date.fits", {100, 100}, with("DATE-OBS= '2008-05-20T25:61:00'")), OBSERVER, 2,
         "DATE-OBS = '2008-05-20T25:61:00' is not a date"},
        {ASTFIELD, write_image(scratch, "nosite.fits", {100, 100}, with("DATE-OBS= '2008-05-20T05:13:30'")), "", 2,
         "the header gives no site"},
        {ASTFIELD, good, OBSERVER + " --centre 0.1 0.5", 2, ""},
        {ASTFIELD, good, OBSERVER + " --side 60", 2, ""},
        {SATFIELD, write_image(scratch, "long.fits", {100, 100}, with_cards({start, "EXPTIME =                  1E9"})),
         OBSERVER, 2, "EXPTIME = 1E9 is not an exposure of 0 to 86400 seconds"},
        {ASTFIELD, write_image(scratch, "huge.fits", {100, 100}, with_cards({start, "EXPTIME =                1E300"})),
         OBSERVER, 2, "EXPTIME = 1E300 is not an exposure of 0 to 86400 seconds"},
        {SATFIELD,
         write_image(scratch, "far.fits", {100, 100},
                     with_cards({start, "OBSGEO-X=                1E300", "OBSGEO-Y=                    0",
                                 "OBSGEO-Z=                    0"})),
         "", 2, "OBSGEO-X = 1E300, OBSGEO-Y = 0, OBSGEO-Z = 0: the site lies farther than 1000000 km"},
        {ASTFIELD,
         write_image(scratch, "singular.fits", {100, 100},
                     with_cards({start, "CD1_1   =                 0.01", "CD1_2   =                 0.01",
                                 "CD2_1   =                 0.01", "CD2_2   =                 0.01"},
                                {"CD"})),
         OBSERVER, 2, "CD1_1, CD1_2, CD2_1 and CD2_2 give a matrix without a finite inverse"},
        {ASTFIELD,
         write_image(scratch, "vast.fits", {100, 100},
                     with_cards({start, "CD1_1   =               -1E300", "CD1_2   =                1E300",
                                 "CD2_1   =                1E300", "CD2_2   =                1E300"},
                                {"CD"})),
         OBSERVER, 2, "CD1_1, CD1_2, CD2_1 and CD2_2"},
        {ASTFIELD, write_image(scratch, "dateonly.fits", {100, 100}, with("DATE-OBS= '2008-05-20'")), OBSERVER, 2,
         "DATE-OBS = '2008-05-20' holds a date alone, and no TIME-OBS, UTSTART or UT gives the time of day: give "
         "--time"},
        {ASTFIELD,
         write_image(scratch, "notable.fits", {100, 100},
                     with_cards({start, "CPDIS1  = 'Lookup'", "DP1     = 'EXTVER: 1'", "DP1     = 'NAXES: 2'"})),
         OBSERVER, 2, "CPDIS1 = 'Lookup' needs the table WCSDVARR (EXTVER = 1), which the file does not hold"},
    };
    for (const Case& c : cases) {
        const std::string name = c.program == ASTFIELD ? "astfield" : "satfield";
        const ProgramRun r = run(scratch, c.program, "--image '" + c.image + "' " + c.options);
        EXPECT_EQ(r.status, c.status) << c.image << " " << c.options << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.image << " " << c.options;
        const std::string first = r.err.substr(0, r.err.find('\n'));
        const bool usage = c.options.find("--centre") != std::string::npos || c.options.find("--side") != std::string::npos;
        EXPECT_EQ(first.find(name + ": " + (usage ? "--image" : c.image)), 0u) << r.err;
        EXPECT_NE(first.find(c.says), std::string::npos) << first;
        // A bad option is followed by the usage hint; a bad image is one line.
        EXPECT_EQ(r.err.substr(first.size()), usage ? "\nTry '" + name + " --help' for more information.\n" : "\n");
    }
}

// A satellite that streaks through the frame is listed although its place at
// mid-exposure (the row's) lies far outside: over the sample frame's 60 s,
// and over 300 s from 20:53:45 UTC, when fast satellites cross in the first
// half minute. Each such crossing is confirmed by a run at the single instant
// halfway between t_in_s and t_out_s (the track is nearly straight over a
// convex footprint, so it is inside there) that lists the satellite.
TEST(FramesRuns, SatellitesStreakingThroughAreListedWithTheirCrossing)
{
    struct Case {
        std::string options;
        int start_s;  // after 20:53:00 UTC
        double length_s;
        std::size_t outside_at_middle;
    };
    const Case cases[] = {
        {"", 30, 60.0, 0},
        {"--exposure 300 --time 2008-05-20T20:53:45", 45, 300.0, 3},
    };
    const ScratchDirectory scratch;
    for (const Case& c : cases) {
        const auto rows = by_key(csv_rows(scratch, SATFIELD, "--image satfield-frame.fits " + c.options));
        EXPECT_GE(rows.size(), 5u) << c.options;
        std::size_t outside = 0;
        for (const auto& [k, row] : rows) {
            const double t_in = number(row, "t_in_s");
            const double t_out = number(row, "t_out_s");
            EXPECT_TRUE(0.0 <= t_in && t_in <= t_out && t_out <= c.length_s) << k << " " << t_in << " " << t_out;
            if (beyond_footprint(200, 200, number(row, "x"), number(row, "y")) <= 0.0) {
                continue;
            }
            ++outside;
            const double at = c.start_s + 0.5 * (t_in + t_out);
            char time[64];
            std::snprintf(time, sizeof time, "2008-05-20T20:%02d:%06.3f", 53 + static_cast<int>(at / 60.0),
                          std::fmod(at, 60.0));
            const auto single =
                by_key(csv_rows(scratch, SATFIELD, std::string("--image satfield-frame.fits --exposure 0 --time ") + time));
            ASSERT_EQ(single.count(k), 1u) << k << " is not in the frame at " << time;
            EXPECT_LE(beyond_footprint(200, 200, number(single.at(k), "x"), number(single.at(k), "y")), 0.0) << k;
        }
        EXPECT_GE(outside, c.outside_at_middle) << c.options;
    }
}

// The overlays of a run mark what its CSV lists: one region circle at each
// row's place (to the file's 8 decimals) labelled with its designation, in
// the reference system of the image (icrs for the ICRS sample frame, fk4
// B1950 for a plate, fk5 for an FK5 frame and for a square), and a
// well-formed SVG chart holding each row's label once (truncated satellite
// names may repeat: then as often as rows show it). The region places are
// brought back to J2000 with ERFA (the frame bias matrix, fk45z at B1950.0)
// and must be the rows' places: a file that wrote J2000 numbers under icrs
// or fk4, or that said fk5 over any frame, fails here.
TEST(FramesRuns, OverlaysMarkEveryRowOnceInTheFramesSystem)
{
    const ScratchDirectory scratch;
    const Tan frame{100.5, 100.5, 0.0416667, 0.5, -0.01, 0.0, 0.0, 0.01, 200, 200};
    auto with = [&frame](std::vector<std::string> system) {
        std::vector<std::string> cards = tan_cards(frame);
        cards.insert(cards.end(), system.begin(), system.end());
        cards.push_back("DATE-OBS= '2008-05-20T05:13:30'");
        cards.push_back("EXPTIME =                   60");
        return cards;
    };
    const std::string fk4 = write_image(scratch, "fk4.fits", {200, 200}, with({"RADESYS = 'FK4'", "EQUINOX =   1950"}));
    const std::string fk5 = write_image(scratch, "fk5.fits", {200, 200}, with({"RADESYS = 'FK5'", "EQUINOX =   2000"}));
    struct Case {
        const char* program;
        std::string options;
        std::string system;
    };
    const Case cases[] = {
        {ASTFIELD, "", "fk5"},
        {SATFIELD, "--image satfield-frame.fits", "icrs"},
        {ASTFIELD, "--image '" + fk4 + "' " + OBSERVER, "fk4"},
        {ASTFIELD, "--image '" + fk5 + "' " + OBSERVER, "fk5"},
    };
    for (const Case& c : cases) {
        const std::string regions = scratch.file("field.reg");
        const std::string chart = scratch.file("field.svg");
        const auto rows =
            csv_rows(scratch, c.program, c.options + " --regions '" + regions + "' --chart '" + chart + "'");
        EXPECT_GE(rows.size(), 3u) << c.program << " " << c.options;
        std::map<std::string, std::vector<const Row*>> by_label;
        for (const Row& row : rows) {
            by_label[collapsed(row.count("norad_id") != 0 ? row.at("name") : row.at("number") + " " + row.at("name"))]
                .push_back(&row);
        }
        std::istringstream lines(file_contents(regions));
        std::size_t circles = 0;
        std::vector<std::string> systems;
        for (std::string line; std::getline(lines, line);) {
            if (line == "icrs" || line == "fk5" || line == "fk4") {
                systems.push_back(line);
            }
            if (line.rfind("circle(", 0) != 0) {
                continue;
            }
            ++circles;
            double ra = 0.0;
            double dec = 0.0;
            ASSERT_EQ(std::sscanf(line.c_str(), "circle(%lf,%lf,", &ra, &dec), 2) << line;
            const auto j2000 = j2000_of(c.system, ra, dec);
            const std::size_t open = line.find("text={");
            ASSERT_NE(open, std::string::npos) << line;
            const std::string label = collapsed(line.substr(open + 6, line.find('}', open) - open - 6));
            std::size_t at_row = 0;
            for (const Row* row : by_label[label]) {
                at_row += std::abs(std::remainder(j2000[0] - number(*row, "ra_deg"), 360.0)) < 6e-9 &&
                          std::abs(j2000[1] - number(*row, "dec_deg")) < 6e-9;
            }
            EXPECT_EQ(at_row, 1u) << c.system << ": " << line;
        }
        EXPECT_EQ(systems, std::vector<std::string>{c.system}) << c.options;
        EXPECT_EQ(circles, rows.size()) << c.program;

        pugi::xml_document svg;
        const pugi::xml_parse_result parsed = svg.load_file(chart.c_str());
        ASSERT_TRUE(parsed) << c.program << ": " << parsed.description();
        EXPECT_STREQ(svg.document_element().name(), "svg");
        std::map<std::string, int> shown;
        for (const pugi::xpath_node& text : svg.select_nodes("//*[local-name()='text']")) {
            ++shown[collapsed(text.node().text().get())];
        }
        for (const auto& [label, row] : by_label) {
            EXPECT_EQ(shown[label], static_cast<int>(row.size())) << c.program << " chart shows '" << label << "' "
                                                                  << shown[label] << " times";
        }
    }
}

// A list mixing a square, a square with its own exposure and an image (its
// instant, exposure and site from its header) gives per field the rows a
// single run on that field gives; the columns that do not apply to a field
// are empty.
TEST(FramesRuns, MixedFieldListsGiveWhatSingleRunsGive)
{
    struct Field {
        std::string id, time, ra_deg, dec_deg, side_arcmin, exposure_s, image;
    };
    struct Case {
        const char* program;
        std::vector<Field> fields;
    };
    const Case cases[] = {
        {ASTFIELD,
         {{"square", "2008-05-20T05:14:00", "0.0416666666666667", "0.5", "120", "", ""},
          {"exposed", "2008-05-20T06:00:00", "0.1", "0.4", "90", "1800", ""},
          {"frame", "", "", "", "", "", "astfield-frame.fits"}}},
        {SATFIELD,
         {{"square", "2008-05-20T20:54:00", "172.0", "1.2666666666666666", "300", "", ""},
          {"exposed", "2008-05-20T20:55:00", "171.5", "1.0", "600", "60", ""},
          {"frame", "", "", "", "", "", "satfield-frame.fits"}}},
    };
    const ScratchDirectory scratch;
    for (const Case& c : cases) {
        std::string list = "id,time,ra_deg,dec_deg,side_arcmin,exposure_s,image\n";
        for (const Field& f : c.fields) {
            list += f.id + "," + f.time + "," + f.ra_deg + "," + f.dec_deg + "," + f.side_arcmin + "," + f.exposure_s +
                    "," + f.image + "\n";
        }
        std::ofstream(scratch.file("fields.csv"), std::ios::binary) << list;
        const std::vector<Row> batch = csv_rows(scratch, c.program, "--fields '" + scratch.file("fields.csv") + "'");
        std::size_t compared = 0;
        for (const Field& f : c.fields) {
            const std::string options =
                f.image.empty() ? "--time " + f.time + " --centre " + f.ra_deg + " " + f.dec_deg + " --side " +
                                      f.side_arcmin + (f.exposure_s.empty() ? "" : " --exposure " + f.exposure_s)
                                : "--image " + f.image;
            const std::vector<Row> single = csv_rows(scratch, c.program, options);
            std::vector<Row> listed;
            for (const Row& row : batch) {
                if (row.at("field") == f.id) {
                    listed.push_back(row);
                }
            }
            ASSERT_EQ(listed.size(), single.size()) << c.program << " field " << f.id;
            EXPECT_FALSE(single.empty()) << c.program << " field " << f.id;
            for (std::size_t i = 0; i < single.size(); ++i, ++compared) {
                for (const auto& [column, value] : listed[i]) {
                    const auto same = single[i].find(column);
                    if (column != "field") {
                        EXPECT_EQ(value, same == single[i].end() ? "" : same->second)
                            << c.program << " field " << f.id << " column " << column;
                    }
                }
            }
        }
        EXPECT_EQ(compared, batch.size()) << c.program;
    }
}
