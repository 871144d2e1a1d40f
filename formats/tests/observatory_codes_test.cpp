#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>

#include "observatory_codes.hpp"

using namespace fieldsearch;

namespace {

std::string read_text(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::string text;
    char block[4096];
    for (std::size_t n; f != nullptr && (n = std::fread(block, 1, sizeof block, f)) > 0;) {
        text.append(block, n);
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    return text;
}

const std::string& published_page()
{
    static const std::string text = read_text(std::string(SAMPLE_DATA_DIR) + "/ObsCodes.html");
    return text;
}

// The published page holds 2,712 stations between its heading and the end
// of its <pre> block, 26 of them without coordinates (spacecraft, the
// roving codes 247 and 270); a lost first or last line, or a station
// without coordinates dropped, would change the counts.
TEST(ObservatoryCodes, EveryStationOfThePublishedListIsRead)
{
    const ObservatoryCodesResult result = observatory_codes_from_html(published_page());
    ASSERT_TRUE(result.error.empty()) << result.error;
    ASSERT_EQ(result.stations.size(), 2712u);
    EXPECT_EQ(result.stations.front().code, "000");
    EXPECT_EQ(result.stations.back().code, "Z99");
    long without = 0;
    for (const ObservatoryCode& station : result.stations) {
        without += station.has_coordinates ? 0 : 1;
    }
    EXPECT_EQ(without, 26);
    // Lines of the page, column by column.
    const struct {
        const char* code;
        bool has_coordinates;
        double longitude, rho_cos, rho_sin;
        const char* name;
    } known[] = {
        {"000", true, 0.0, 0.62411, 0.77873, "Greenwich"},
        {"005", true, 2.231, 0.659891, 0.748875, "Meudon"},
        {"568", true, 204.5278, 0.94171, 0.33725, "Maunakea"},
        {"G96", true, 249.21128, 0.845107, 0.533611, "University of Arizona Mt. Lemmon Survey"},
        {"709", true, 254.22882, 0.840250, 0.541096, "W & B Observatory, Cloudcroft"},
        {"500", true, 0.0, 0.0, 0.0, "Geocentric"},
        {"247", false, 0.0, 0.0, 0.0, "Roving Observer"},
        {"250", false, 0.0, 0.0, 0.0, "Hubble Space Telescope"},
        {"Z99", true, 359.97874, 0.595468, 0.800687, "Clixby Observatory, Cleethorpes"},
    };
    for (const auto& k : known) {
        const ObservatoryCode* station = find_observatory_code(result.stations, k.code);
        ASSERT_NE(station, nullptr) << k.code;
        EXPECT_EQ(station->has_coordinates, k.has_coordinates) << k.code;
        EXPECT_DOUBLE_EQ(station->east_longitude_deg, k.longitude) << k.code;
        EXPECT_DOUBLE_EQ(station->rho_cos_phi, k.rho_cos) << k.code;
        EXPECT_DOUBLE_EQ(station->rho_sin_phi, k.rho_sin) << k.code;
        EXPECT_EQ(station->name, k.name) << k.code;
    }
    EXPECT_EQ(find_observatory_code(result.stations, "ZZZ"), nullptr);
    // Southern stations keep the sign of rho sin phi'.
    long southern = 0;
    for (const ObservatoryCode& station : result.stations) {
        southern += station.rho_sin_phi < 0.0 ? 1 : 0;
    }
    EXPECT_GT(southern, 100);
}

// Greenwich from astropy: EarthLocation.from_geodetic(-0.001475 deg,
// 51.477811 deg, 46 m) (its bundled site, from the Ordnance Survey) is
// x, y, z = 3980.6089, -0.1025, 4966.8613 km. The list gives the meridian
// (longitude 0) to five decimals of an Earth radius (32 m), so the two agree
// within 150 m; a swapped sine and cosine or a wrong radius would miss by
// kilometres.
TEST(ObservatoryCodes, StationsConvertToTheirEarthFixedPositions)
{
    const ObservatoryCodesResult result = observatory_codes_from_html(published_page());
    ASSERT_TRUE(result.error.empty());
    const Vector3 greenwich = observatory_earth_fixed_km(*find_observatory_code(result.stations, "000"));
    EXPECT_NEAR(greenwich(1), 3980.6089, 0.15);
    EXPECT_NEAR(greenwich(2), -0.1025, 0.15);
    EXPECT_NEAR(greenwich(3), 4966.8613, 0.15);
    // Every station lies on the WGS84 ellipsoid within the heights of real
    // sites (-0.5 km to +6 km), give or take 1.5 units of the last decimal
    // its line is written to (old stations given to 3 decimals of an Earth
    // radius, 6.4 km, are that coarse; 506 Bendestorf lies 9.3 km low):
    // the geocentric
    // radius at geocentric latitude phi' is a b / sqrt(b^2 cos^2 phi' + a^2
    // sin^2 phi'). The geocentre's pseudo-stations (500, 244, 248) are 0, 0, 0.
    std::map<std::string, int> decimals;
    std::istringstream lines(published_page());
    for (std::string line; std::getline(lines, line);) {
        const std::string cos_field = line.size() > 21 ? line.substr(13, 8) : "";
        const std::size_t point = cos_field.find('.');
        if (line.size() > 30 && point != std::string::npos) {
            decimals[line.substr(0, 3)] = static_cast<int>(cos_field.find_last_of("0123456789") - point);
        }
    }
    const double a = 6378.137;
    const double b = a * (1.0 - 1.0 / 298.257223563);
    long off_the_earth = 0;
    for (const ObservatoryCode& station : result.stations) {
        if (!station.has_coordinates || (station.rho_cos_phi == 0.0 && station.rho_sin_phi == 0.0)) {
            continue;
        }
        const double precision_km = 1.5 * a * std::pow(10.0, -decimals[station.code]);
        const Vector3 r = observatory_earth_fixed_km(station);
        const double distance = std::sqrt(r(1) * r(1) + r(2) * r(2) + r(3) * r(3));
        const double phi = std::atan2(r(3), std::hypot(r(1), r(2)));
        const double surface = a * b / std::sqrt(b * b * std::cos(phi) * std::cos(phi) +
                                                 a * a * std::sin(phi) * std::sin(phi));
        const double longitude = std::atan2(r(2), r(1)) * 57.29577951308232;
        const double expected_longitude =
            station.east_longitude_deg > 180.0 ? station.east_longitude_deg - 360.0 : station.east_longitude_deg;
        if (distance - surface < -0.5 - precision_km || distance - surface > 6.0 + precision_km ||
            (station.rho_cos_phi > 0.0 && std::fabs(longitude - expected_longitude) > 1e-9)) {
            ++off_the_earth;
            ADD_FAILURE() << station.code << " " << distance - surface;
        }
    }
    EXPECT_EQ(off_the_earth, 0);
}

// A damaged page is refused with one line naming what and where: a garbled
// number, a code of bad characters, a line cut short, a station named twice,
// a page without its list or cut before its end.
TEST(ObservatoryCodes, DamagedPagesAreRefusedWithTheLine)
{
    const std::string page = published_page();
    auto damaged = [&](const std::string& from, const std::string& to) {
        std::string text = page;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        return text;
    };
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "568 204.5278 0.9x171 +0.33725 Maunakea"), "line 559"},
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "568 204.5278 0.94171  0.33725 Maunakea"), "line 559"},
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "568 404.5278 0.94171 +0.33725 Maunakea"), "line 559"},
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "5#8 204.5278 0.94171 +0.33725 Maunakea"), "line 559"},
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "568 204.5278"), "line 559"},
        {damaged("568 204.5278 0.94171 +0.33725 Maunakea", "567 204.5278 0.94171 +0.33725 Maunakea"), "twice"},
        {damaged("<pre>", "<pra>"), "no <pre>"},
        {page.substr(0, page.find("Z99")), "not closed"},
        {damaged("Code  Long.", "Kode  Long."), "heading"},
    };
    for (const auto& c : cases) {
        const ObservatoryCodesResult result = observatory_codes_from_html(c.text);
        EXPECT_NE(result.error.find(c.expected), std::string::npos) << c.expected << ": " << result.error;
        EXPECT_TRUE(result.stations.empty());
    }
}

}  // namespace
