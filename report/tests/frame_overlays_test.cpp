#include "frame_overlays.hpp"

#include <cmath>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "square_field.hpp"

using namespace fieldsearch;

namespace {

constexpr double DEG = 0.017453292519943295;

// The sky place at tangent-plane coordinates (X, Y) (radians of the plane,
// X east, Y north) about (ra0, dec0): the direction of the centre plus X
// times the local east vector plus Y times the local north vector. A vector
// construction, independent of the spherical formulas of the code.
SkyPoint place_on_tangent_plane(double ra0, double dec0, double x, double y)
{
    const double a = ra0 * DEG;
    const double d = dec0 * DEG;
    const double centre[3] = {std::cos(d) * std::cos(a), std::cos(d) * std::sin(a), std::sin(d)};
    const double east[3] = {-std::sin(a), std::cos(a), 0.0};
    const double north[3] = {-std::sin(d) * std::cos(a), -std::sin(d) * std::sin(a), std::cos(d)};
    double v[3];
    for (int i = 0; i < 3; ++i) {
        v[i] = centre[i] + x * east[i] + y * north[i];
    }
    double ra = std::atan2(v[1], v[0]) / DEG;
    if (ra < 0.0) {
        ra += 360.0;
    }
    return {ra, std::atan2(v[2], std::hypot(v[0], v[1])) / DEG};
}

// Angular separation of two places, degrees (haversine form).
double separation_deg(const SkyPoint& p, const SkyPoint& q)
{
    const double s = std::sin((q.dec_deg - p.dec_deg) * DEG / 2.0);
    const double t = std::sin((q.ra_deg - p.ra_deg) * DEG / 2.0);
    const double h = s * s + std::cos(p.dec_deg * DEG) * std::cos(q.dec_deg * DEG) * t * t;
    return 2.0 * std::asin(std::sqrt(h)) / DEG;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text of a region's label as the region-file reader takes it: the
// string after "text=", ended by the first closing character of its opening
// one ({ or " or '). Empty when the label does not end the line exactly there.
std::string label_as_read(const std::string& line)
{
    const std::size_t at = line.find(" text=");
    if (at == std::string::npos || at + 7 > line.size()) {
        return {};
    }
    const char open = line[at + 6];
    const char close = open == '{' ? '}' : open;
    const std::size_t end = line.find(close, at + 7);
    if (end == std::string::npos || end + 1 != line.size()) {
        return {};
    }
    return line.substr(at + 7, end - at - 7);
}

}  // namespace

// The corners of the square lie at (+-s, +-s) on the tangent plane and the
// middle of each edge at (+-s, 0) or (0, +-s): a wrong sign of xi, a swapped
// corner order or a projection not about the centre would move them. Fields
// across 0 h, near the pole and in the south, widened and not.
TEST(SquareFieldOutline, CornersAndEdgesLieOnTheSquareAboutTheCentre)
{
    struct Case {
        double ra0, dec0, half_side, widening;
    };
    const Case cases[] = {{10.0, 20.0, 1.0, 1.0}, {359.9, 0.5, 1.0, 1.1}, {40.0, 89.5, 1.0, 1.0}, {200.0, -45.0, 5.0, 1.1}};
    for (const Case& c : cases) {
        const std::vector<SkyPoint> outline = square_field_outline(c.ra0, c.dec0, c.half_side, c.widening);
        ASSERT_EQ(outline.size(), 32u);
        const double s = c.half_side * c.widening;
        const double corner_signs[4][2] = {{1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
        for (int k = 0; k < 4; ++k) {
            const SkyPoint expected =
                place_on_tangent_plane(c.ra0, c.dec0, corner_signs[k][0] * s * DEG, corner_signs[k][1] * s * DEG);
            EXPECT_LT(separation_deg(outline[8 * k], expected), 1e-9) << c.ra0 << " " << c.dec0 << " corner " << k;
            const int next = (k + 1) % 4;
            const TangentPlaneOffsets middle =
                tangent_plane_offsets(outline[8 * k + 4].ra_deg, outline[8 * k + 4].dec_deg, c.ra0, c.dec0);
            EXPECT_NEAR(middle.xi, (corner_signs[k][0] + corner_signs[next][0]) / 2.0 * s, 1e-9);
            EXPECT_NEAR(middle.eta, (corner_signs[k][1] + corner_signs[next][1]) / 2.0 * s, 1e-9);
        }
        for (const SkyPoint& p : outline) {
            EXPECT_GE(p.ra_deg, 0.0);
            EXPECT_LT(p.ra_deg, 360.0);
        }
    }
}

// Each object with a finite place comes back as one circle at its place to
// 1e-8 deg (RA folded into [0, 360)), each track as one line from its start
// to its end; a NaN place leaves its object out instead of printing "nan".
TEST(Ds9RegionText, RegionsParseBackToTheObjectsPlaces)
{
    OverlayField field{"test field", 0.05, 0.5, square_field_outline(0.05, 0.5, 1.0, 1.0), {}, OverlayObjectKind::asteroid};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<OverlayObject> objects = {
        {"A", 0.2, 0.7, 17.1, SkyPoint{0.2, 0.7}, SkyPoint{0.21, 0.69}},
        {"B", -0.5, -0.25, std::nullopt, std::nullopt, std::nullopt},
        {"C", 360.25, 1.123456789, 19.0, SkyPoint{359.99, 1.0}, SkyPoint{0.01, 1.1}},
        {"D", nan, 0.5, 18.0, std::nullopt, std::nullopt},
    };
    const double expected[][2] = {{0.2, 0.7}, {359.5, -0.25}, {0.25, 1.123456789}};
    const double expected_tracks[][4] = {{0.2, 0.7, 0.21, 0.69}, {359.99, 1.0, 0.01, 1.1}};

    const std::vector<std::string> lines = lines_of(ds9_region_text(field, objects));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "# Region file format: DS9 version 4.1");
    const std::regex circle(R"re(^circle\((\d+\.\d{8}),(-?\d+\.\d{8}),(\d+\.\d+)"\) # .*$)re");
    const std::regex line_region(R"(^line\(([-\d.]+),([-\d.]+),([-\d.]+),([-\d.]+)\) # line=0 1.*$)");
    std::size_t circles = 0, tracks = 0, polygons = 0;
    bool frame_declared = false;
    for (const std::string& line : lines) {
        std::smatch m;
        if (line == "fk5") {
            frame_declared = true;
        } else if (std::regex_match(line, m, circle)) {
            ASSERT_TRUE(frame_declared);
            ASSERT_LT(circles, 3u);
            EXPECT_NEAR(std::stod(m[1]), expected[circles][0], 1e-8) << line;
            EXPECT_NEAR(std::stod(m[2]), expected[circles][1], 1e-8) << line;
            ++circles;
        } else if (std::regex_match(line, m, line_region)) {
            ASSERT_LT(tracks, 2u);
            for (int i = 0; i < 4; ++i) {
                EXPECT_NEAR(std::stod(m[i + 1]), expected_tracks[tracks][i], 1e-8) << line;
            }
            ++tracks;
        } else if (line.rfind("polygon(", 0) == 0) {
            EXPECT_EQ(std::count(line.begin(), line.end(), ','), 2 * 32 - 1);
            ++polygons;
        } else {
            EXPECT_TRUE(line.rfind("#", 0) == 0 || line.rfind("global ", 0) == 0) << line;
        }
        EXPECT_EQ(line.find("nan"), std::string::npos);
    }
    EXPECT_EQ(circles, 3u);
    EXPECT_EQ(tracks, 2u);
    EXPECT_EQ(polygons, 1u);
}

// A designation may hold braces, quotes, control bytes or padding: each label
// stays one string to the end of its line, read back as the designation
// (braces become parentheses only when both quotes are taken as well).
TEST(Ds9RegionText, LabelsWithQuotesAndBracesStayOneSafeString)
{
    struct Case {
        std::string label, read_back;
    };
    const Case cases[] = {
        {"2008 AB12", "2008 AB12"},
        {"  (433) Eros  ", "(433) Eros"},
        {"odd}name", "odd}name"},
        {"{brace\"quote", "{brace\"quote"},
        {"a{b}\"c\"", "a{b}\"c\""},
        {"all {\"'}", "all (\"')"},
        {"new\nline\ttab#;", "new?line?tab#;"},
    };
    for (const Case& c : cases) {
        OverlayField field{"t", 10.0, 10.0, {}, {}, OverlayObjectKind::satellite};
        const std::vector<std::string> lines = lines_of(ds9_region_text(field, {{c.label, 10.0, 10.0, {}, {}, {}}}));
        ASSERT_EQ(lines.size(), 5u) << c.label;  // header, title, global, fk5, circle
        EXPECT_EQ(label_as_read(lines[4]), c.read_back) << lines[4];
    }
}

// The chart is well-formed XML whatever the labels hold, and every mark lies
// where the gnomonic projection puts it: x = x0 - k xi, y = y0 - k eta with
// one positive k (east left, north up). Standard coordinates from the
// textbook formulas; fields across 0 h, near the north pole and in the south.
TEST(FinderChartSvg, IsWellFormedAndMarksLieWhereTheProjectionPutsThem)
{
    struct Case {
        double ra0, dec0, side;
        OverlayObjectKind kind;
    };
    const Case cases[] = {{0.05, 0.5, 2.0, OverlayObjectKind::asteroid},
                          {40.0, 89.0, 5.0, OverlayObjectKind::satellite},
                          {200.0, -30.0, 1.0, OverlayObjectKind::asteroid}};
    const double offsets[][2] = {{0.0, 0.0}, {0.3, 0.0}, {-0.2, 0.25}, {0.1, -0.4}, {-0.35, -0.3}};
    for (const Case& c : cases) {
        OverlayField field{"<Field> & \"co\"", c.ra0, c.dec0, square_field_outline(c.ra0, c.dec0, c.side / 2, 1.0),
                           {"2008-05-20 05:14:00 UTC", "bad \x01\xff bytes"}, c.kind};
        std::vector<OverlayObject> objects;
        std::vector<SkyPoint> places;
        for (std::size_t i = 0; i < std::size(offsets); ++i) {
            const SkyPoint p =
                place_on_tangent_plane(c.ra0, c.dec0, offsets[i][0] * c.side * DEG, offsets[i][1] * c.side * DEG);
            places.push_back(p);
            objects.push_back({"obj" + std::to_string(i) + (i == 2 ? " <a&b>" : ""), p.ra_deg, p.dec_deg,
                               16.0 + static_cast<double>(i), p, SkyPoint{p.ra_deg, p.dec_deg + 0.01}});
        }
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_string(finder_chart_svg(field, objects).c_str());
        ASSERT_TRUE(parsed) << parsed.description();
        const pugi::xml_node svg = doc.child("svg");
        ASSERT_TRUE(svg);

        // Marks by the label in their tooltip: circle centres or diamond tops.
        std::map<std::string, std::pair<double, double>> marks;
        for (const pugi::xpath_node& n : svg.select_nodes("//circle[title] | //polygon[title]")) {
            const pugi::xml_node mark = n.node();
            const std::string label = mark.child_value("title");
            double x = 0.0, y = 0.0;
            if (std::string(mark.name()) == "circle") {
                x = mark.attribute("cx").as_double();
                y = mark.attribute("cy").as_double();
            } else {
                std::istringstream points(mark.attribute("points").value());
                char comma = 0;
                double top_x = 0.0, top_y = 0.0, right_x = 0.0;
                points >> top_x >> comma >> top_y >> right_x;
                x = top_x;
                y = top_y + (right_x - top_x);  // the top vertex lies one radius above the place
            }
            marks[label.substr(0, label.find(" V="))] = {x, y};
        }
        ASSERT_EQ(marks.size(), objects.size());
        ASSERT_TRUE(marks.count("obj2 <a&b>"));
        const auto [x0, y0] = marks["obj0"];
        double k = 0.0;
        for (std::size_t i = 1; i < objects.size(); ++i) {
            const double a = (places[i].ra_deg - c.ra0) * DEG;
            const double d = places[i].dec_deg * DEG;
            const double d0 = c.dec0 * DEG;
            const double cos_c = std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(a);
            const double xi = std::cos(d) * std::sin(a) / cos_c;
            const double eta = (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(a)) / cos_c;
            const auto [x, y] = marks[objects[i].label];
            if (i == 1) {
                k = (x0 - x) / xi;
                EXPECT_GT(k, 0.0) << "east must lie left";
            }
            EXPECT_NEAR(x, x0 - k * xi, 0.02) << objects[i].label;
            EXPECT_NEAR(y, y0 - k * eta, 0.02) << objects[i].label;
        }
    }
}
