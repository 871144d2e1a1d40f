#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "observations.hpp"

using namespace fieldsearch;

namespace {

// An 80-column line with each text placed at its 1-based column, as the
// published table of the optical format places the fields; blanks elsewhere.
std::string columns_line(std::initializer_list<std::pair<int, std::string>> fields)
{
    std::string line(80, ' ');
    for (const auto& [column, text] : fields) {
        line.replace(static_cast<std::size_t>(column - 1), text.size(), text);
    }
    return line.substr(0, 80);
}

// The fields of a plain optical observation line.
std::string optical_line(const std::string& number, const std::string& provisional, char note2,
                         const std::string& date, const std::string& ra, const std::string& dec,
                         const std::string& magnitude_band, const std::string& station)
{
    return columns_line({{1, number},
                         {6, provisional},
                         {15, std::string(1, note2)},
                         {16, date},
                         {33, ra},
                         {45, dec},
                         {66, magnitude_band},
                         {78, station}});
}

std::vector<long> problem_positions(const ObservationsResult& result)
{
    std::vector<long> positions;
    for (const ObservationProblem& problem : result.problems) {
        positions.push_back(problem.position);
    }
    return positions;
}

// Days from 1858 November 17 (MJD 0) to the dates used below, counted with
// Python's datetime: 2024 January 15 = 60324, 1995 October 19 = 50009,
// 2016 August 29 = 57629.
constexpr double MJD_2024_01_15 = 60324.0;
constexpr double MJD_1995_10_19 = 50009.0;
constexpr double MJD_2016_08_29 = 57629.0;

// Every field of the 80-column line in its columns: a wrong column range, a
// lost minus sign of "-00", RA hours or the day fraction would show.
TEST(Mpc80Observations, EveryFieldOfTheLineIsRead)
{
    const struct {
        std::string line;
        const char* number;
        const char* provisional;
        char note2;
        double mjd;
        double ra_deg;
        double dec_deg;
        double magnitude;  // NaN: blank
        const char* band;
        const char* station;
    } cases[] = {
        // (433) by CCD with a magnitude, RA 23 59 59.999 and Dec -00 15 30.50.
        {optical_line("00433", "", 'C', "2024 01 15.123456", "23 59 59.999", "-00 15 30.50", "18.52V", "568"),
         "00433", "", 'C', MJD_2024_01_15 + 0.123456, (23.0 + 59.0 / 60 + 59.999 / 3600) * 15.0,
         -(15.0 / 60 + 30.50 / 3600), 18.52, "V", "568"},
        // A provisional designation, photographic (note 2 blank), blank magnitude, Dec +89 59 59.99.
        {optical_line("", "J95X01L", ' ', "1995 10 19.53839", "00 00 00.000", "+89 59 59.99", "", "G96"), "",
         "J95X01L", ' ', MJD_1995_10_19 + 0.53839, 0.0, 89.0 + 59.0 / 60 + 59.99 / 3600, NAN, "", "G96"},
        // A temporary designation, lower precision in both angles, a magnitude without decimals.
        {optical_line("", "NEOCP1", 'C', "2016 08 29.5", "12 34 56.7", "-45 06 07", "21   R", "F51"), "", "NEOCP1",
         'C', MJD_2016_08_29 + 0.5, (12.0 + 34.0 / 60 + 56.7 / 3600) * 15.0, -(45.0 + 6.0 / 60 + 7.0 / 3600), 21.0,
         "R", "F51"},
        // Minutes with a fraction and no seconds (old observations).
        {optical_line("A0345", "", 'P', "2016 08 29.00", "01 02.5", "+10 20.5", "", "500"), "A0345", "", 'P',
         MJD_2016_08_29, (1.0 + 2.5 / 60) * 15.0, 10.0 + 20.5 / 60, NAN, "", "500"},
    };
    for (const auto& c : cases) {
        const ObservationsResult result = observations_from_text("COD 568\n" + c.line + "\n");
        ASSERT_TRUE(result.error.empty()) << result.error;
        ASSERT_EQ(result.observations.size(), 1u) << c.line << (result.problems.empty() ? "" : result.problems[0].what);
        const Observation& o = result.observations[0];
        EXPECT_EQ(o.format, ObservationFormat::mpc80);
        EXPECT_EQ(o.position, 2);
        EXPECT_EQ(o.packed_number, c.number);
        EXPECT_EQ(o.provisional, c.provisional);
        EXPECT_EQ(o.note2, c.note2);
        EXPECT_NEAR(o.utc_mjd, c.mjd, 1e-9) << c.line;
        EXPECT_NEAR(o.ra_deg, c.ra_deg, 1e-10) << c.line;
        EXPECT_NEAR(o.dec_deg, c.dec_deg, 1e-10) << c.line;
        EXPECT_EQ(o.magnitude.has_value(), !std::isnan(c.magnitude)) << c.line;
        if (o.magnitude) {
            EXPECT_DOUBLE_EQ(*o.magnitude, c.magnitude);
        }
        EXPECT_EQ(o.band, c.band);
        EXPECT_EQ(o.station, c.station);
        EXPECT_EQ(o.place, ObserverPlace::station);
    }
    // "-00" keeps its sign even when the declination rounds to nothing but seconds.
    const ObservationsResult minus_zero = observations_from_text(
        optical_line("00001", "", 'C', "2024 01 15.0", "10 00 00.00", "-00 00 01.0", "", "568") + "\n");
    ASSERT_EQ(minus_zero.observations.size(), 1u);
    EXPECT_LT(minus_zero.observations[0].dec_deg, 0.0);
}

// The second lines of satellite and roving observations, built from the
// published column tables: the HST example of 1222 T-1 (km, sign in
// column 35, point in column 41), the AU form (point in column 37), and a
// roving site (longitude point in column 38, latitude sign in 46 and point
// in 49, altitude in 57-61).
TEST(Mpc80Observations, SecondLinesOfSatelliteAndRovingObservations)
{
    const std::string hst_first =
        optical_line("", "T1S1222", 'S', "1995 10 19.53839", "23 45 35.737", "+09 09 38.13", "", "250");
    const std::string hst_second = columns_line({{6, "T1S1222"},
                                                 {15, "s"},
                                                 {16, "1995 10 19.53839"},
                                                 {33, "1"},
                                                 {35, "+ 5530.3041"},
                                                 {47, "- 4255.1515"},
                                                 {59, "-  550.2319"},
                                                 {78, "250"}});
    const std::string au_second = columns_line({{6, "T1S1222"},
                                                {15, "s"},
                                                {16, "1995 10 19.53839"},
                                                {33, "2"},
                                                {35, "+1.23456789"},
                                                {47, "-0.00012345"},
                                                {59, "+0.50000000"},
                                                {78, "250"}});
    const std::string roving_first =
        optical_line("00433", "", 'V', "2024 01 15.25", "05 00 00.00", "+20 00 00.0", "", "247");
    const std::string roving_second = columns_line({{1, "00433"},
                                                    {15, "v"},
                                                    {16, "2024 01 15.25"},
                                                    {33, "1"},
                                                    {35, "248.123456"},
                                                    {46, "+32.543210"},
                                                    {57, "  690"},
                                                    {78, "247"}});
    const double km_per_au = 149597870.691;
    {
        const ObservationsResult r = observations_from_text(hst_first + "\n" + hst_second + "\n");
        ASSERT_EQ(r.observations.size(), 1u) << (r.problems.empty() ? "" : r.problems[0].what);
        const Observation& o = r.observations[0];
        EXPECT_EQ(o.place, ObserverPlace::space);
        EXPECT_DOUBLE_EQ(o.space_geocentric_km(1), 5530.3041);
        EXPECT_DOUBLE_EQ(o.space_geocentric_km(2), -4255.1515);
        EXPECT_DOUBLE_EQ(o.space_geocentric_km(3), -550.2319);
        EXPECT_NEAR(o.ra_deg, (23.0 + 45.0 / 60 + 35.737 / 3600) * 15.0, 1e-10);
    }
    {
        const ObservationsResult r = observations_from_text(hst_first + "\n" + au_second + "\n");
        ASSERT_EQ(r.observations.size(), 1u) << (r.problems.empty() ? "" : r.problems[0].what);
        const Observation& o = r.observations[0];
        EXPECT_NEAR(o.space_geocentric_km(1), 1.23456789 * km_per_au, 1e-3);
        EXPECT_NEAR(o.space_geocentric_km(2), -0.00012345 * km_per_au, 1e-6);
        EXPECT_NEAR(o.space_geocentric_km(3), 0.5 * km_per_au, 1e-3);
    }
    {
        const ObservationsResult r = observations_from_text(roving_first + "\r\n" + roving_second + "\r\n");
        ASSERT_EQ(r.observations.size(), 1u) << (r.problems.empty() ? "" : r.problems[0].what);
        const Observation& o = r.observations[0];
        EXPECT_EQ(o.place, ObserverPlace::roving);
        EXPECT_DOUBLE_EQ(o.roving.east_longitude_deg, 248.123456);
        EXPECT_DOUBLE_EQ(o.roving.latitude_deg, 32.54321);
        EXPECT_DOUBLE_EQ(o.roving.height_m, 690.0);
    }
}

// A damaged line is a problem with its own line number and every other line
// is still read: month 13, RA hour 24, Dec beyond 90, a short line, a
// radar line, a second line without its first, a satellite line without
// its second, a garbled magnitude, no designation, a bad station code.
TEST(Mpc80Observations, DamagedLinesAreReportedWithTheirLineNumbers)
{
    const std::string good = optical_line("00433", "", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "568");
    const std::vector<std::pair<std::string, bool>> lines = {
        {"COD 568", true},
        {"OBS A. Observer", true},
        {good, true},
        {optical_line("00433", "", 'C', "2024 13 15.1", "10 00 00.00", "+10 00 00.0", "", "568"), false},
        {optical_line("00433", "", 'C', "2024 01 15.1", "24 00 00.00", "+10 00 00.0", "", "568"), false},
        {optical_line("00433", "", 'C', "2024 01 15.1", "10 00 00.00", "+90 00 00.1", "", "568"), false},
        {good.substr(0, 70), false},
        {"", true},
        {optical_line("00433", "", 'R', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "251"), false},
        {columns_line({{1, "00433"}, {15, "s"}, {16, "2024 01 15.1"}, {33, "1"}, {78, "250"}}), false},
        {optical_line("00433", "", 'S', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "250"), false},
        {optical_line("00433", "", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "1x.5 V", "568"), false},
        {optical_line("", "", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "568"), false},
        {optical_line("00433", "", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "5 8"), false},
        {optical_line("00433", "", 'C', "2023 02 29.1", "10 00 00.00", "+10 00 00.0", "", "568"), false},
        {optical_line("00433", "", 'C', "1899 12 31.1", "10 00 00.00", "+10 00 00.0", "", "568"), false},
        {optical_line("00433", "", 'C', "2024 01 15.1", "10 60 00.00", "+10 00 00.0", "", "568"), false},
        {good, true},
    };
    std::string text;
    std::vector<long> expected;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        text += lines[k].first + "\n";
        if (!lines[k].second) {
            expected.push_back(static_cast<long>(k + 1));
        }
    }
    const ObservationsResult result = observations_from_text(text);
    ASSERT_TRUE(result.error.empty());
    EXPECT_EQ(problem_positions(result), expected);
    ASSERT_EQ(result.observations.size(), 2u);
    EXPECT_EQ(result.observations[0].position, 3);
    EXPECT_EQ(result.observations[1].position, 18);
    for (const ObservationProblem& problem : result.problems) {
        EXPECT_FALSE(problem.what.empty());
    }
}

// The format is told from the content alone; a text of no known format is
// one error naming the three formats.
TEST(ObservationFormats, AreToldFromTheContent)
{
    const std::string mpc = optical_line("00433", "", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "568");
    const struct {
        std::string text;
        std::optional<ObservationFormat> format;
    } cases[] = {
        {mpc + "\n", ObservationFormat::mpc80},
        {"COD 568\nOBS A. Observer\n", ObservationFormat::mpc80},
        {"\n\n" + mpc, ObservationFormat::mpc80},
        {"# version=2017\n# observatory\n! mpcCode 568\npermID|stn|obsTime|ra|dec\n", ObservationFormat::ades_psv},
        {"permID |stn |obsTime|ra|dec\n433|568|2024-01-15T01:00:00Z|10|10\n", ObservationFormat::ades_psv},
        {"<?xml version=\"1.0\"?>\n<ades version=\"2022\"></ades>\n", ObservationFormat::ades_xml},
        {"\xEF\xBB\xBF<ades version=\"2017\"><optical/></ades>", ObservationFormat::ades_xml},
        {"<?xml version=\"1.0\"?>\n<omm></omm>\n", std::nullopt},
        {"<ades><optical></ades>", std::nullopt},
        {"id,time,ra_deg,dec_deg\nf1,2024-01-15T00:00:00,10,10\n", std::nullopt},
        {"", std::nullopt},
        {"   \n\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(observation_format_of_text(c.text), c.format) << c.text;
        const ObservationsResult result = observations_from_text(c.text);
        EXPECT_EQ(result.format, c.format) << c.text;
        if (!c.format) {
            EXPECT_NE(result.error.find("80-column"), std::string::npos);
            EXPECT_NE(result.error.find("ADES PSV"), std::string::npos);
            EXPECT_NE(result.error.find("ADES XML"), std::string::npos);
            EXPECT_TRUE(result.observations.empty());
        }
    }
}

// ADES PSV from the published layout: header lines, a column line, padded
// cells, columns by name in any order, two blocks, a space observer
// (ICRF_KM) and a roving one (WGS84); a row missing a required field or
// with too few cells is a problem with its line number.
TEST(AdesPsvObservations, FieldsAreReadByName)
{
    const std::string text =
        "# version=2022\n"
        "# observatory\n"
        "! mpcCode 568\n"
        "permID |provID    |trkSub |mode|stn |obsTime                 |ra         |dec        |rmsRA|rmsDec|astCat|mag  "
        "|band\n"
        "    433|          |  aa1  | CCD|568 |2024-01-15T02:57:46.5Z  |359.9999   |-0.25      |0.15 |0.13  |Gaia2 |18.5 "
        "|   G\n"
        "       |1995 XL1  |       | CCD|568 |2024-01-15T03:00:00Z    |10.5       |+89.999    |     |      |Gaia2 |     "
        "|\n"
        "       |          |  aa2  | CCD|568 |2024-01-15T03:00:00Z    |           |10         |     |      |Gaia2 |     "
        "|\n"
        "    433|          |  aa1  | CCD|568 |2024-01-15T03:00:00Z\n"
        "# observatory\n"
        "! mpcCode 250\n"
        "trkSub|stn|sys|ctr|pos1|pos2|pos3|obsTime|ra|dec|mode\n"
        "J044S|250|ICRF_KM|399|5530.3041|-4255.1515|-550.2319|2016-12-31T23:59:60.5Z|115.9571762|21.25635598|CCD\n"
        "J044T|247|WGS84|399|248.123456|32.54321|690|2016-08-29T12:00:00Z|1|2|CCD\n"
        "J044U|247|WGS84|500|248.123456|32.54321|690|2016-08-29T12:00:00Z|1|2|CCD\n"
        "J044V|250|ICRF_AU|399|1.23456789|0|0.5|2016-08-29T12:00:00Z|1|2|CCD\n";
    const ObservationsResult result = observations_from_text(text);
    ASSERT_EQ(result.format, ObservationFormat::ades_psv);
    EXPECT_EQ(problem_positions(result), (std::vector<long>{7, 8, 14}));
    ASSERT_EQ(result.observations.size(), 5u);
    const Observation& a = result.observations[0];
    EXPECT_EQ(a.position, 5);
    EXPECT_EQ(a.packed_number, "433");
    EXPECT_EQ(a.provisional, "");
    EXPECT_EQ(a.tracklet_id, "aa1");
    EXPECT_EQ(a.mode, "CCD");
    EXPECT_EQ(a.station, "568");
    // 02:57:46.5 is 10666.5 s after midnight.
    EXPECT_NEAR(a.utc_mjd, MJD_2024_01_15 + 10666.5 / 86400.0, 1e-10);
    EXPECT_DOUBLE_EQ(a.ra_deg, 359.9999);
    EXPECT_DOUBLE_EQ(a.dec_deg, -0.25);
    EXPECT_DOUBLE_EQ(a.rms_ra_arcsec.value_or(0), 0.15);
    EXPECT_DOUBLE_EQ(a.rms_dec_arcsec.value_or(0), 0.13);
    EXPECT_DOUBLE_EQ(a.magnitude.value_or(0), 18.5);
    EXPECT_EQ(a.band, "G");
    const Observation& b = result.observations[1];
    EXPECT_EQ(b.provisional, "1995 XL1");
    EXPECT_FALSE(b.rms_ra_arcsec.has_value());
    EXPECT_FALSE(b.magnitude.has_value());
    EXPECT_DOUBLE_EQ(b.dec_deg, 89.999);
    const Observation& c = result.observations[2];
    EXPECT_EQ(c.position, 12);
    EXPECT_EQ(c.place, ObserverPlace::space);
    EXPECT_DOUBLE_EQ(c.space_geocentric_km(2), -4255.1515);
    // The leap second 2016 December 31 23:59:60.5 lies half a second past the day's 86400 s.
    EXPECT_NEAR(c.utc_mjd, MJD_2016_08_29 + 124.0 + 86400.5 / 86400.0, 1e-10);
    const Observation& d = result.observations[3];
    EXPECT_EQ(d.place, ObserverPlace::roving);
    EXPECT_DOUBLE_EQ(d.roving.east_longitude_deg, 248.123456);
    EXPECT_DOUBLE_EQ(d.roving.latitude_deg, 32.54321);
    EXPECT_DOUBLE_EQ(d.roving.height_m, 690.0);
    const Observation& e = result.observations[4];
    EXPECT_NEAR(e.space_geocentric_km(1), 1.23456789 * 149597870.691, 1e-3);
}

// ADES XML with <optical> elements in obsBlocks and directly under <ades>:
// the position is the element's index; a radar element and an optical
// element without obsTime are problems; ITRF cylindrical coordinates give
// the roving site that astropy's EarthLocation gives for them.
TEST(AdesXmlObservations, OpticalElementsAreReadInDocumentOrder)
{
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<ades version="2022">
  <obsBlock>
    <obsContext><observatory><mpcCode>568</mpcCode></observatory></obsContext>
    <obsData>
      <optical>
        <permID>433</permID>
        <trkSub>aa1</trkSub>
        <mode>CCD</mode>
        <stn>568</stn>
        <obsTime>2024-01-15T02:57:46.5Z</obsTime>
        <ra>10.25</ra>
        <dec>-5.5</dec>
        <rmsRA>0.2</rmsRA>
        <rmsDec>0.3</rmsDec>
        <astCat>Gaia2</astCat>
        <mag>19.25</mag>
        <band>V</band>
      </optical>
      <optical>
        <provID>1995 XL1</provID>
        <mode>CCD</mode>
        <stn>568</stn>
        <ra>10.25</ra>
        <dec>-5.5</dec>
      </optical>
    </obsData>
  </obsBlock>
  <radar><permID>433</permID></radar>
  <optical>
    <trkSub>r1</trkSub><mode>CCD</mode><stn>247</stn>
    <sys>ITRF</sys><ctr>399</ctr><pos1>248.123456</pos1><pos2>5382.477230742002</pos2><pos3>3411.7347490577126</pos3>
    <obsTime>2024-01-15T00:00:00Z</obsTime><ra><![CDATA[ 20.5 ]]></ra><dec>30</dec>
  </optical>
</ades>
)";
    const ObservationsResult result = observations_from_text(text);
    ASSERT_EQ(result.format, ObservationFormat::ades_xml);
    EXPECT_EQ(problem_positions(result), (std::vector<long>{2, 0}));
    ASSERT_EQ(result.observations.size(), 2u);
    const Observation& a = result.observations[0];
    EXPECT_EQ(a.position, 1);
    EXPECT_EQ(a.packed_number, "433");
    EXPECT_EQ(a.tracklet_id, "aa1");
    EXPECT_NEAR(a.utc_mjd, MJD_2024_01_15 + 10666.5 / 86400.0, 1e-10);
    EXPECT_DOUBLE_EQ(a.ra_deg, 10.25);
    EXPECT_DOUBLE_EQ(a.dec_deg, -5.5);
    EXPECT_DOUBLE_EQ(a.rms_ra_arcsec.value_or(0), 0.2);
    EXPECT_DOUBLE_EQ(a.magnitude.value_or(0), 19.25);
    EXPECT_EQ(a.band, "V");
    const Observation& b = result.observations[1];
    EXPECT_EQ(b.position, 3);
    EXPECT_DOUBLE_EQ(b.ra_deg, 20.5);
    EXPECT_EQ(b.place, ObserverPlace::roving);
    // astropy: EarthLocation.from_geodetic(248.123456 deg, 32.54321 deg, 690 m)
    // is x, y, z = -2005.5535895, -4994.8789714, 3411.7347491 km.
    EXPECT_DOUBLE_EQ(b.roving.east_longitude_deg, 248.123456);
    EXPECT_NEAR(b.roving.latitude_deg, 32.54321, 1e-9);
    EXPECT_NEAR(b.roving.height_m, 690.0, 1e-4);
}

// Read, identify, write back, read again: the identified observations carry
// the new designations, and every other byte of the text is as it was (the
// CRLF line ends, the header, the other observations, the padding).
TEST(ObservationWriteBack, RoundTripChangesOnlyTheDesignations)
{
    // 80-column with CRLF line ends and a roving observation of two lines.
    const std::string unknown =
        optical_line("", "NEOCP1", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "18.5 V", "568");
    const std::string other = optical_line("", "NEOCP2", 'C', "2024 01 15.1", "11 00 00.00", "+11 00 00.0", "", "568");
    const std::string roving_first =
        optical_line("", "NEOCP3", 'V', "2024 01 15.25", "05 00 00.00", "+20 00 00.0", "", "247");
    const std::string roving_second = columns_line({{6, "NEOCP3"}, {15, "v"}, {16, "2024 01 15.25"}, {33, "1"},
                                                    {35, "248.123456"}, {46, "+32.543210"}, {57, "  690"}, {78, "247"}});
    const std::string mpc = "COD 568\r\n" + unknown + "\r\n" + other + "\r\n" + roving_first + "\r\n" +
                            roving_second + "\r\n";
    const WrittenObservations mpc_written =
        text_with_designations(mpc, {{2, 433, ""}, {4, std::nullopt, "2007 TA418"}, {9, 1, ""}});
    ASSERT_TRUE(mpc_written.error.empty()) << mpc_written.error;
    ASSERT_EQ(mpc_written.problems.size(), 1u);  // position 9 holds no observation
    EXPECT_EQ(mpc_written.problems[0].position, 9);
    std::string expected = mpc;
    // (433) is "00433" in columns 1-5; 2007 TA418 is "K07Tf8A" in 6-12 of both roving lines.
    const std::size_t line2 = expected.find(unknown);
    expected.replace(line2, 5, "00433");
    const std::size_t line4 = expected.find(roving_first);
    expected.replace(line4 + 5, 7, "K07Tf8A");
    const std::size_t line5 = expected.find(roving_second);
    expected.replace(line5 + 5, 7, "K07Tf8A");
    EXPECT_EQ(mpc_written.text, expected);
    const ObservationsResult again = observations_from_text(mpc_written.text);
    ASSERT_EQ(again.observations.size(), 3u);
    EXPECT_EQ(again.observations[0].packed_number, "00433");
    EXPECT_EQ(again.observations[0].provisional, "NEOCP1");
    EXPECT_EQ(again.observations[1].packed_number, "");
    EXPECT_EQ(again.observations[2].provisional, "K07Tf8A");
    EXPECT_EQ(again.observations[2].place, ObserverPlace::roving);

    // PSV: a cell padded to its width, a grown cell, and a block without provID.
    const std::string psv =
        "# version=2022\n"
        "permID |trkSub|stn|obsTime|ra|dec\n"
        "       |aa1   |568|2024-01-15T03:00:00Z|10|10\n"
        "       |aa2   |568|2024-01-15T03:00:00Z|10|10\n"
        "# observatory\n"
        "trkSub|stn|obsTime|ra|dec\n"
        "bb1|568|2024-01-15T03:00:00Z|10|10\n"
        "bb2|568|2024-01-15T03:00:00Z|10|10\n";
    const WrittenObservations psv_written =
        text_with_designations(psv, {{3, 433, ""}, {4, 15396335, ""}, {8, std::nullopt, "1995 XL1"}});
    ASSERT_TRUE(psv_written.error.empty()) << psv_written.error;
    EXPECT_TRUE(psv_written.problems.empty());
    EXPECT_EQ(psv_written.text,
              "# version=2022\n"
              "permID |trkSub|stn|obsTime|ra|dec\n"
              "433    |aa1   |568|2024-01-15T03:00:00Z|10|10\n"
              "15396335|aa2   |568|2024-01-15T03:00:00Z|10|10\n"
              "# observatory\n"
              "provID|trkSub|stn|obsTime|ra|dec\n"
              "|bb1|568|2024-01-15T03:00:00Z|10|10\n"
              "1995 XL1|bb2|568|2024-01-15T03:00:00Z|10|10\n");
    const ObservationsResult psv_again = observations_from_text(psv_written.text);
    ASSERT_EQ(psv_again.observations.size(), 4u);
    EXPECT_EQ(psv_again.observations[0].packed_number, "433");
    EXPECT_EQ(psv_again.observations[1].packed_number, "15396335");
    EXPECT_EQ(psv_again.observations[2].provisional, "");
    EXPECT_EQ(psv_again.observations[3].provisional, "1995 XL1");
    EXPECT_EQ(psv_again.observations[3].tracklet_id, "bb2");

    // XML: an existing permID replaced, a missing one added first, a provID
    // added after an existing permID; comments and layout kept.
    const std::string xml =
        "<?xml version=\"1.0\"?>\r\n<ades version=\"2022\">\r\n<!-- a night -->\r\n"
        "  <optical>\r\n    <permID>1</permID><trkSub>a</trkSub><stn>568</stn>"
        "<obsTime>2024-01-15T03:00:00Z</obsTime><ra>10</ra><dec>10</dec>\r\n  </optical>\r\n"
        "  <optical class=\"x>y\"><trkSub>b</trkSub><stn>568</stn>"
        "<obsTime>2024-01-15T03:00:00Z</obsTime><ra>10</ra><dec>10</dec></optical>\r\n"
        "  <optical><permID>7</permID><trkSub>c</trkSub><stn>568</stn>"
        "<obsTime>2024-01-15T03:00:00Z</obsTime><ra>10</ra><dec>10</dec></optical>\r\n"
        "</ades>\r\n";
    const WrittenObservations xml_written =
        text_with_designations(xml, {{1, 433, ""}, {2, 620000, ""}, {3, std::nullopt, "2040 P-L"}});
    ASSERT_TRUE(xml_written.error.empty()) << xml_written.error;
    std::string xml_expected = xml;
    xml_expected.replace(xml_expected.find("<permID>1</permID>"), 18, "<permID>433</permID>");
    const std::string second_start = "<optical class=\"x>y\">";
    xml_expected.insert(xml_expected.find(second_start) + second_start.size(), "<permID>620000</permID>");
    const std::string third_permid = "<permID>7</permID>";
    xml_expected.insert(xml_expected.find(third_permid) + third_permid.size(), "<provID>2040 P-L</provID>");
    EXPECT_EQ(xml_written.text, xml_expected);
    const ObservationsResult xml_again = observations_from_text(xml_written.text);
    ASSERT_EQ(xml_again.observations.size(), 3u);
    EXPECT_EQ(xml_again.observations[0].packed_number, "433");
    EXPECT_EQ(xml_again.observations[1].packed_number, "620000");
    EXPECT_EQ(xml_again.observations[2].packed_number, "7");
    EXPECT_EQ(xml_again.observations[2].provisional, "2040 P-L");

    // A UTF-8 byte-order mark ahead of the document moves nothing.
    const std::string bom = "\xEF\xBB\xBF";
    const WrittenObservations bom_written = text_with_designations(bom + xml, {{1, 433, ""}});
    ASSERT_TRUE(bom_written.error.empty()) << bom_written.error;
    std::string bom_expected = bom + xml;
    bom_expected.replace(bom_expected.find("<permID>1</permID>"), 18, "<permID>433</permID>");
    EXPECT_EQ(bom_written.text, bom_expected);
}

// A designation without a packed form, or a position that holds no
// observation, is a problem and leaves the text as it was.
TEST(ObservationWriteBack, UnwritableDesignationsLeaveTheTextAlone)
{
    const std::string line = optical_line("", "NEOCP1", 'C', "2024 01 15.1", "10 00 00.00", "+10 00 00.0", "", "568");
    const std::string text = line + "\n";
    for (const Identification& identification :
         {Identification{1, 0, ""}, Identification{1, 15396336, ""}, Identification{1, std::nullopt, "1995 XI1"},
          Identification{1, std::nullopt, ""}, Identification{2, 433, ""}}) {
        const WrittenObservations written = text_with_designations(text, {identification});
        EXPECT_TRUE(written.error.empty());
        EXPECT_EQ(written.problems.size(), 1u);
        EXPECT_EQ(written.text, text);
    }
    const WrittenObservations refused = text_with_designations("not observations\n", {{1, 433, ""}});
    EXPECT_FALSE(refused.error.empty());
    EXPECT_TRUE(refused.text.empty());
}

}  // namespace
