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
// a usage error.
TEST(FramesRuns, BadImagesAndOptionsStopWithAMessage)
{
    const ScratchDirectory scratch;
    const Tan t{50.5, 50.5, 0.1, 0.5, -0.01, 0.0, 0.0, 0.01, 100, 100};
    auto with = [&t](const std::string& card) {
        std::vector<std::string> cards = tan_cards(t);
        cards.push_back(card);
        return cards;
    };
    const std::string good = write_image(scratch, "good.fits", {100, 100}, with(""));
    const std::string cut = scratch.file("cut.fits");
    std::ofstream(cut, std::ios::binary) << file_contents(good).substr(0, 1200);
    const std::string text = scratch.file("text.fits");
    std::ofstream(text, std::ios::binary) << "SIMPLE? no, just a line of text\n";
    struct Case {
        std::string image, options;
        int status;
    };
    const Case cases[] = {
        {scratch.file("missing.fits"), OBSERVER, 1},
        {text, OBSERVER, 2},
        {cut, OBSERVER, 2},
        {write_image(scratch, "nowcs.fits", {100, 100}, {"DATE-OBS= '2008-05-20T05:13:30'"}), OBSERVER, 2},
        {write_image(scratch, "cube.fits", {100, 100, 3}, with("")), OBSERVER, 2},
        {write_image(scratch, "date.fits", {100, 100}, with("DATE-OBS= '2008-05-20T25:61:00'")), OBSERVER, 2},
        {write_image(scratch, "nosite.fits", {100, 100}, with("DATE-OBS= '2008-05-20T05:13:30'")), "", 2},
        {good, OBSERVER + " --centre 0.1 0.5", 2},
        {good, OBSERVER + " --side 60", 2},
    };
    for (const Case& c : cases) {
        const ProgramRun r = run(scratch, ASTFIELD, "--image '" + c.image + "' " + c.options);
        EXPECT_EQ(r.status, c.status) << c.image << " " << c.options << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.image << " " << c.options;
        const std::string first = r.err.substr(0, r.err.find('\n'));
        const bool usage = c.options.find("--centre") != std::string::npos || c.options.find("--side") != std::string::npos;
        EXPECT_EQ(first.find(std::string("astfield: ") + (usage ? "--image" : c.image)), 0u) << r.err;
        // A bad option is followed by the usage hint; a bad image is one line.
        EXPECT_EQ(r.err.substr(first.size()), usage ? "\nTry 'astfield --help' for more information.\n" : "\n");
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
