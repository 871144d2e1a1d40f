// The two programs run as an observer runs them, on the sample catalogues.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

// Runs `program` with `arguments` (already quoted for the shell) in the
// sample data directory.
ProgramRun run(const char* program, const std::string& arguments)
{
    return run_program(process_scratch_directory(), SAMPLE_DATA_DIR, program, arguments);
}

std::string sample_report(const char* name)
{
    return file_contents(std::string(SAMPLE_REPORTS_DIR) + "/" + name);
}

std::size_t line_count(const std::string& text)
{
    std::size_t n = 0;
    for (char c : text) {
        n += c == '\n' ? 1 : 0;
    }
    return n;
}

// Rows of a text report: the lines that start with '|'.
std::size_t row_count(const std::string& report)
{
    std::size_t n = 0;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        n += !line.empty() && line[0] == '|' ? 1 : 0;
    }
    return n;
}

const char* const ASTFIELD = ASTFIELD_PROGRAM_PATH;
const char* const SATFIELD = SATFIELD_PROGRAM_PATH;

}  // namespace

// Without options both programs print exactly the reports they printed
// before they had a command line (kept in tests/reports; their rows were
// confirmed by the independent checks under tools/); options that restate
// the compiled-in scenario, in either form of the centre and with the site
// of the compiled-in observer's coordinates, change nothing.
TEST(EndToEnd, NoOptionsAndRestatingOptionsGiveTheSpecifiedReports)
{
    const std::string asteroids = sample_report("astfield_sample_report.txt");
    const std::string satellites = sample_report("satfield_sample_report.txt");
    ASSERT_FALSE(asteroids.empty());
    ASSERT_FALSE(satellites.empty());

    const ProgramRun plain_asteroids = run(ASTFIELD, "");
    EXPECT_EQ(plain_asteroids.status, 0);
    EXPECT_EQ(plain_asteroids.out, asteroids);
    EXPECT_EQ(plain_asteroids.err, "");
    const ProgramRun plain_satellites = run(SATFIELD, "");
    EXPECT_EQ(plain_satellites.status, 0);
    EXPECT_EQ(plain_satellites.out, satellites);

    const std::string observer = "--observer 3395.0303,3128.7911,4388.8511";
    EXPECT_EQ(run(ASTFIELD, "--catalogue astorb.dat --time 2008-05-20T05:14:00Z " + observer +
                                " --centre 00:00:10.0 +00:30:00 --side 120 --mag-limit 20.0 --format text")
                  .out,
              asteroids);
    EXPECT_EQ(run(SATFIELD, "--catalogue ./080520ls.tle --time=2008-05-20T20:54:00 " + observer +
                                " --centre 11:28:00 +01:16:00.0 --side 300")
                  .out,
              satellites);
}

// Each option changes the run as documented: a smaller side or a brighter
// limit lists fewer objects, another instant other ones, a far site other
// places; CSV gives a header and one line per row of the report.
TEST(EndToEnd, EachOptionChangesTheRunAsDocumented)
{
    const ProgramRun plain = run(ASTFIELD, "");
    const std::size_t rows = row_count(plain.out);
    ASSERT_GE(rows, 8u);

    const ProgramRun small = run(ASTFIELD, "--side 60");
    EXPECT_LT(row_count(small.out), rows);
    EXPECT_NE(small.out.find("side of square     60.00 arcminute"), std::string::npos);
    const ProgramRun bright = run(ASTFIELD, "--mag-limit 18.5");
    EXPECT_LT(row_count(bright.out), rows);
    EXPECT_NE(bright.out.find("brighter then  18.5"), std::string::npos);
    const ProgramRun later = run(ASTFIELD, "--time 2008-06-20T05:14:00");
    EXPECT_NE(later.out, plain.out);
    EXPECT_NE(later.out.find("date    2008  6 20   5 14  0.0  UTC"), std::string::npos);
    const ProgramRun elsewhere = run(ASTFIELD, "--centre 12:00:00 -00:30:00");
    EXPECT_NE(elsewhere.out.find("Decl. = -0o30' 0.0''"), std::string::npos);

    // A near-Earth object shifts by its parallax when the observer moves to
    // the other side of the Earth.
    const ProgramRun south = run(ASTFIELD, "--site -30.0,-70.0,2500");
    EXPECT_EQ(south.status, 0);
    EXPECT_NE(south.out, plain.out);

    const ProgramRun csv = run(ASTFIELD, "--format csv");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(line_count(csv.out), rows + 1);
    EXPECT_EQ(csv.out.rfind("number,name,ra_deg,dec_deg,", 0), 0u);
    EXPECT_NE(csv.out.find("motion_ra_arcsec_per_hour"), std::string::npos);

    const ProgramRun satellites = run(SATFIELD, "");
    const ProgramRun satellites_csv = run(SATFIELD, "--format csv");
    EXPECT_EQ(line_count(satellites_csv.out), row_count(satellites.out) + 1);
    EXPECT_NE(satellites_csv.out.find("motion_ra_arcsec_per_s"), std::string::npos);
    const ProgramRun wide = run(SATFIELD, "--side 3000");
    EXPECT_GT(row_count(wide.out), row_count(satellites.out));
    EXPECT_EQ(row_count(run(SATFIELD, "--time 2008-05-20T21:10:00").out), 0u);
}

// Bad options: one line naming the option, the usage hint, exit status 2 and
// nothing on standard output; --help and --version answer and exit 0; an
// unreadable catalogue exits 1.
TEST(EndToEnd, RefusesBadOptionsAndAnswersHelp)
{
    const std::vector<std::string> bad = {"--unknown", "--time 2008-02-30T00:00:00", "--site 95,10",
                                          "--side 0",  "--centre 11:28:00",          "--format xml",
                                          "--observer 1,2", "--side"};
    for (const std::string& arguments : bad) {
        for (const char* program : {ASTFIELD, SATFIELD}) {
            const ProgramRun r = run(program, arguments);
            EXPECT_EQ(r.status, 2) << arguments;
            EXPECT_EQ(r.out, "") << arguments;
            EXPECT_EQ(line_count(r.err), 2u) << r.err;
            const std::string option = arguments.substr(0, arguments.find(' '));
            EXPECT_NE(r.err.find(": " + option + ": "), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        }
    }
    const ProgramRun help = run(SATFIELD, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--catalogue", "--time", "--observer", "--site", "--centre", "--side", "--format"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(help.out.find("--mag-limit"), std::string::npos);
    EXPECT_NE(run(ASTFIELD, "--help").out.find("--mag-limit"), std::string::npos);
    EXPECT_EQ(run(ASTFIELD, "--version").out, "astfield 1.0.0\n");

    const ProgramRun missing = run(ASTFIELD, "--catalogue no_such_file.dat");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("astfield: cannot open no_such_file.dat: No such file or directory"),
              std::string::npos);

    // A file of no satellite catalogue form: one line naming the forms tried, nothing printed.
    const ProgramRun asteroids = run(SATFIELD, "--catalogue astorb.dat");
    EXPECT_EQ(asteroids.status, 1);
    EXPECT_EQ(asteroids.out, "");
    EXPECT_EQ(asteroids.err.rfind("satfield: cannot read astorb.dat: it matches no catalogue form (element sets: ", 0),
              0u)
        << asteroids.err;
    EXPECT_EQ(std::count(asteroids.err.begin(), asteroids.err.end(), '\n'), 1) << asteroids.err;
}

// The OMM samples (CSV, JSON, XML) list exactly the rows of their three-line
// twin, which holds every row of the sample report and the Alpha-5 object,
// plus the row of the object numbered 412345 that no two-line set can carry.
TEST(EndToEnd, OmmSamplesGiveTheRowsOfTheirThreeLineTwin)
{
    const ProgramRun twin = run(SATFIELD, "--catalogue 080520ls_omm_twin.tle");
    ASSERT_EQ(twin.status, 0);
    EXPECT_EQ(twin.err, "");
    std::istringstream report(sample_report("satfield_sample_report.txt"));
    for (std::string line; std::getline(report, line);) {
        if (!line.empty() && line[0] == '|') {
            EXPECT_NE(twin.out.find(line + "\n"), std::string::npos) << line;
        }
    }
    EXPECT_NE(twin.out.find("|CUBESAT 123456|08099B|C3456U|"), std::string::npos);
    const std::size_t twin_count_at = twin.out.rfind(" number of objects");
    const std::size_t rows = row_count(twin.out);

    for (const char* sample : {"080520ls_omm.csv", "080520ls_omm.json", "080520ls_omm.xml"}) {
        const ProgramRun omm = run(SATFIELD, std::string("--catalogue ") + sample);
        EXPECT_EQ(omm.status, 0) << sample;
        EXPECT_EQ(omm.err, "") << sample;
        const std::size_t six_digits = omm.out.find("|CUBESAT 412345|08099C|412345|");
        ASSERT_NE(six_digits, std::string::npos) << sample;
        std::string without = omm.out;
        without.erase(six_digits, omm.out.find('\n', six_digits) + 1 - six_digits);
        EXPECT_EQ(without.substr(0, twin_count_at), twin.out.substr(0, twin_count_at)) << sample;
        char count[80];
        std::snprintf(count, sizeof count, " number of objects %8zu  from  %8zu  in list\n", rows + 1,
                      static_cast<std::size_t>(std::stoul(twin.out.substr(twin.out.rfind("from") + 4))) + 1);
        EXPECT_EQ(omm.out.substr(omm.out.rfind(" number of objects")), count) << sample;

        const ProgramRun csv = run(SATFIELD, std::string("--format csv --catalogue ") + sample);
        EXPECT_NE(csv.out.find(",412345,"), std::string::npos);
        EXPECT_NE(csv.out.find(",C3456U,"), std::string::npos);
        // The catalogue number in full, then the age of the elements.
        EXPECT_NE(csv.out.find(",123456,"), std::string::npos);
        EXPECT_NE(csv.out.find(",412345,"), std::string::npos);
    }
}

// JSON holds the rows of the CSV under the same names, numbers as numbers
// and empty values as null; the scenario restates the field searched.
TEST(EndToEnd, JsonHoldsTheCsvRowsAndTheScenario)
{
    for (const char* program : {ASTFIELD, SATFIELD}) {
        const ProgramRun csv = run(program, "--format csv");
        const ProgramRun json = run(program, "--format json");
        ASSERT_EQ(json.status, 0) << json.err;
        const nlohmann::json document = nlohmann::json::parse(json.out);
        const std::size_t rows = line_count(csv.out) - 1;
        ASSERT_EQ(document["rows"].size(), rows);
        ASSERT_EQ(document["fields"].size(), 1u);
        EXPECT_TRUE(document["complete"].get<bool>());
        std::istringstream lines(csv.out);
        std::string header;
        std::string first;
        std::getline(lines, header);
        std::getline(lines, first);
        const nlohmann::json& row = document["rows"][0];
        // ra_deg is the fourth column of the satellites and the third of the
        // asteroids; both print it with 17 significant digits, which a double
        // reproduces exactly.
        const std::size_t ra_column = program == SATFIELD ? 3 : 2;
        std::vector<std::string> values;
        std::istringstream fields(first);
        for (std::string value; std::getline(fields, value, ',');) {
            values.push_back(value);
        }
        EXPECT_EQ(row["ra_deg"].get<double>(), std::stod(values[ra_column]));
        EXPECT_TRUE(row["dec_sign"].is_string());
        for (const auto& [name, value] : row.items()) {
            EXPECT_NE(header.find(name == "field" ? "" : name), std::string::npos) << name;
        }
    }
    // The asteroids' MPCORB sample gives no uncertainty: null, not 0.
    const nlohmann::json mpcorb =
        nlohmann::json::parse(run(ASTFIELD, "--catalogue MPCORB-sample.DAT --format json").out);
    ASSERT_FALSE(mpcorb["rows"].empty());
    EXPECT_TRUE(mpcorb["rows"][0]["uncertainty_arcsec"].is_null());
}

// The clock, theory and layout options: bad values refused naming the
// option; a run far from the elements' epochs says so once on standard
// error; the theories differ in their places but list through the same rows.
TEST(EndToEnd, ClockTheoryAndLayoutOptions)
{
    for (const char* arguments : {"--ut1-utc 0.9", "--ut1-utc x", "--theory sgp5", "--exposure -1", "--threads 0"}) {
        const ProgramRun r = run(SATFIELD, arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_EQ(r.out, "");
        const std::string option = std::string(arguments).substr(0, std::string(arguments).find(' '));
        EXPECT_NE(r.err.find(": " + option + ": "), std::string::npos) << r.err;
    }
    EXPECT_EQ(run(SATFIELD, "--catalogue-format mpcorb").status, 2);
    const ProgramRun missing_list = run(ASTFIELD, "--leap-seconds no_such.list");
    EXPECT_EQ(missing_list.status, 1);
    EXPECT_NE(missing_list.err.find("no_such.list"), std::string::npos);

    // The sample's element sets have epochs in May 2008: a month later every
    // row rests on elements 30 days old, two months after the asteroids'.
    const ProgramRun late = run(SATFIELD, "--time 2008-06-20T20:54:00 --side 10000");
    EXPECT_EQ(late.status, 0);
    EXPECT_EQ(line_count(late.err), 1u) << late.err;
    EXPECT_NE(late.err.find("more than 14 days from their epoch"), std::string::npos) << late.err;
    EXPECT_EQ(run(SATFIELD, "").err, "");

    const ProgramRun vinti = run(SATFIELD, "--format csv");
    const ProgramRun sgp4 = run(SATFIELD, "--theory sgp4 --format csv");
    const ProgramRun both = run(SATFIELD, "--theory both --format csv");
    EXPECT_EQ(line_count(sgp4.out), line_count(vinti.out));
    EXPECT_NE(sgp4.out, vinti.out);
    EXPECT_NE(both.out.find(",norad_number,sgp4_ra_deg,sgp4_dec_deg,theory_difference_arcsec,elements_age_days,"
                            "range_km,altitude_deg,azimuth_deg,illumination,phase_angle_deg,v_mag_estimate\n"),
              std::string::npos);
    EXPECT_GE(line_count(both.out), line_count(vinti.out));

    // A catalogue forced into a layout it is not in lists nothing.
    const ProgramRun forced = run(ASTFIELD, "--catalogue-format comets --format csv");
    EXPECT_EQ(line_count(forced.out), 1u);
}

namespace {

const char* const SATELLITE_VIEW = "range_km,altitude_deg,azimuth_deg,illumination,phase_angle_deg,v_mag_estimate";
const char* const ASTEROID_VIEW = "helio_distance_au,geo_distance_au,phase_angle_deg,elongation_deg,altitude_deg,azimuth_deg";

std::vector<std::string> cells_of(const std::string& line)
{
    std::vector<std::string> cells;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) {
        cells.push_back(cell);
    }
    if (!line.empty() && line.back() == ',') {
        cells.emplace_back();
    }
    return cells;
}

// A CSV's cells by column name.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;

    explicit Table(const std::string& csv)
    {
        const std::vector<std::string> lines = lines_of(csv);
        if (!lines.empty()) {
            header = cells_of(lines[0]);
        }
        for (std::size_t k = 1; k < lines.size(); ++k) {
            rows.push_back(cells_of(lines[k]));
        }
    }
    std::string cell(std::size_t row, const std::string& name) const
    {
        const auto at = std::find(header.begin(), header.end(), name);
        return at == header.end() || row >= rows.size() ? "<no " + name + ">"
                                                        : rows[row][static_cast<std::size_t>(at - header.begin())];
    }
    // The row whose column `name` holds `value`, or rows.size().
    std::size_t find(const std::string& name, const std::string& value) const
    {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            if (cell(k, name) == value) {
                return k;
            }
        }
        return rows.size();
    }
};

}  // namespace

// The reports of today, kept in tests/reports from before the site's view
// came: the text report is the same to the byte, and CSV and JSON gain only
// the six columns of the view at the end of each row (and JSON the two
// altitudes of each field's scenario), every other byte or value as it was;
// for every layout of the rows (one square, an image with its exposure,
// both satellite theories).
TEST(EndToEnd, TheSiteViewOnlyAppendsColumns)
{
    EXPECT_EQ(run(SATFIELD, "").out, sample_report("satfield_sample_report.txt"));
    EXPECT_EQ(run(ASTFIELD, "").out, sample_report("astfield_sample_report.txt"));
    const struct {
        const char* program;
        const char* arguments;
        const char* report;
        const char* view;
    } cases[] = {
        {SATFIELD, "--format csv", "satfield_sample_report.csv", SATELLITE_VIEW},
        {SATFIELD, "--image satfield-frame.fits --format csv", "satfield_frame_report.csv", SATELLITE_VIEW},
        {SATFIELD, "--theory both --format csv", "satfield_both_theories_report.csv", SATELLITE_VIEW},
        {ASTFIELD, "--format csv", "astfield_sample_report.csv", ASTEROID_VIEW},
        {ASTFIELD, "--image astfield-frame.fits --format csv", "astfield_frame_report.csv", ASTEROID_VIEW},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> before = lines_of(sample_report(c.report));
        const ProgramRun now = run(c.program, c.arguments);
        ASSERT_EQ(now.status, 0) << c.arguments << now.err;
        const std::vector<std::string> after = lines_of(now.out);
        ASSERT_GT(before.size(), 2u) << c.report;
        ASSERT_EQ(after.size(), before.size()) << c.arguments;
        EXPECT_EQ(after[0], before[0] + "," + c.view) << c.arguments;
        for (std::size_t k = 1; k < before.size(); ++k) {
            EXPECT_EQ(after[k].substr(0, before[k].size() + 1), before[k] + ",") << c.arguments;
            EXPECT_EQ(cells_of(after[k]).size(), cells_of(before[k]).size() + 6) << after[k];
        }
    }
    for (const auto& [program, report, view] :
         {std::tuple{SATFIELD, "satfield_sample_report.json", SATELLITE_VIEW},
          std::tuple{ASTFIELD, "astfield_sample_report.json", ASTEROID_VIEW}}) {
        const nlohmann::json before = nlohmann::json::parse(sample_report(report));
        nlohmann::json after = nlohmann::json::parse(run(program, "--format json").out);
        for (nlohmann::json& field : after["fields"]) {
            EXPECT_TRUE(field.at("centre_altitude_deg").is_number());
            EXPECT_TRUE(field.at("sun_altitude_deg").is_number());
            field.erase("centre_altitude_deg");
            field.erase("sun_altitude_deg");
        }
        for (nlohmann::json& row : after["rows"]) {
            for (const std::string& name : cells_of(view)) {
                EXPECT_TRUE(row.contains(name)) << name;
                row.erase(name);
            }
        }
        EXPECT_EQ(after, before) << report;
    }
}

// The scenario's altitudes in JSON against astropy
// (tests/site_view_reference.py: the compiled-in observer and instants, the
// centre as a J2000 direction and the Sun from its built-in ephemeris,
// geometric, GCRS -> ITRS -> AltAz with polar motion zero). The programs'
// IAU 1976/1980 precession and nutation differ from astropy's by some 0.05";
// an altitude taken at the rows' instant instead of the start, of the
// geocentric Sun or from the geocentric normal is off by far more. A
// geocentric observer has no horizon: null.
TEST(EndToEnd, ScenarioAltitudesMatchAstropy)
{
    const struct {
        const char* program;
        double centre_deg, sun_deg;  // astropy
    } cases[] = {{SATFIELD, 20.0828469, -26.0083236}, {ASTFIELD, 46.8007449, 36.6557421}};
    for (const auto& c : cases) {
        const nlohmann::json field = nlohmann::json::parse(run(c.program, "--format json").out)["fields"][0];
        EXPECT_NEAR(field["centre_altitude_deg"].get<double>(), c.centre_deg, 5e-5) << c.program;
        EXPECT_NEAR(field["sun_altitude_deg"].get<double>(), c.sun_deg, 5e-5) << c.program;
        const nlohmann::json geocentric =
            nlohmann::json::parse(run(c.program, "--observer 0,0,0 --format json").out)["fields"][0];
        EXPECT_TRUE(geocentric["centre_altitude_deg"].is_null()) << c.program;
        EXPECT_TRUE(geocentric["sun_altitude_deg"].is_null()) << c.program;
    }
    // Rows at mid-exposure; the scenario's altitudes at the start, 30 s earlier.
    const nlohmann::json exposed =
        nlohmann::json::parse(run(SATFIELD, "--exposure 600 --format json").out)["fields"][0];
    EXPECT_NEAR(exposed["centre_altitude_deg"].get<double>(), 20.0828469, 5e-5);
}

// Two rows of the compiled-in asteroid run against astropy and a Kepler
// solution of their own (tests/site_view_reference.py): r to 1e-8 AU, delta
// to 5e-6 AU and the phase and elongation to 0.005 deg (the programs' solar
// series puts the Earth some 2e-6 AU from ERFA's here, a 0.002 deg turn of
// the triangle of 53696 at 0.045 AU), the altitude and azimuth of the row's
// place to 5e-5 deg; none for a geocentric observer. The distance at the
// instant instead of the light-time instant, the Sun - observer side for
// the object's or an azimuth from the south fails.
TEST(EndToEnd, AsteroidRowsShowTheirTriangleAndHorizon)
{
    const Table table(run(ASTFIELD, "--format csv").out);
    const struct {
        const char* number;
        double r, delta, phase, elongation, altitude, azimuth;  // the reference script's
    } cases[] = {
        {"26016", 2.1999999998, 2.5275655418, 23.426843, 59.807627, 46.601846871, 179.711872875},
        {"53696", 0.9896369048, 0.0449981868, 118.602881, 59.159723, 47.047587299, 178.960730491},
    };
    for (const auto& c : cases) {
        const std::size_t row = table.find("number", c.number);
        ASSERT_LT(row, table.rows.size()) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "helio_distance_au")), c.r, 1e-8) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "geo_distance_au")), c.delta, 5e-6) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "phase_angle_deg")), c.phase, 0.005) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "elongation_deg")), c.elongation, 0.005) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "altitude_deg")), c.altitude, 5e-5) << c.number;
        EXPECT_NEAR(std::stod(table.cell(row, "azimuth_deg")), c.azimuth, 5e-5) << c.number;
        EXPECT_EQ(table.cell(row, "helio_distance_au").size() - table.cell(row, "helio_distance_au").find('.') - 1, 9u);
    }
    const Table geocentric(run(ASTFIELD, "--observer 0,0,0 --format csv").out);
    ASSERT_FALSE(geocentric.rows.empty());
    EXPECT_EQ(geocentric.cell(0, "altitude_deg"), "");
    EXPECT_EQ(geocentric.cell(0, "azimuth_deg"), "");
    EXPECT_NE(geocentric.cell(0, "geo_distance_au"), "");
}

// --sunlit-only lists exactly the rows the run without it shows lit
// (sunlit or penumbra), in every format, and the text report counts only
// them; over the sample frame's exposure each listed stay lies within the
// stay without the option. The standard magnitudes of a file give the
// estimate m - 15 + 5 log10(range) - 2.5 log10(sin b + (pi - b) cos b) of
// the row's own range and phase; a file that cannot be read or has a bad
// line stops the run before the catalogue is read.
TEST(EndToEnd, SunlitOnlyAndStandardMagnitudes)
{
    const Table all(run(SATFIELD, "--format csv").out);
    std::vector<std::string> lit;
    for (std::size_t k = 0; k < all.rows.size(); ++k) {
        if (all.cell(k, "illumination") != "umbra") {
            lit.push_back(all.cell(k, "norad_number"));
        }
    }
    ASSERT_GT(lit.size(), 0u);
    ASSERT_LT(lit.size(), all.rows.size());
    const Table only(run(SATFIELD, "--sunlit-only --format csv").out);
    ASSERT_EQ(only.rows.size(), lit.size());
    for (std::size_t k = 0; k < lit.size(); ++k) {
        EXPECT_EQ(only.cell(k, "norad_number"), lit[k]);
    }
    const nlohmann::json document = nlohmann::json::parse(run(SATFIELD, "--sunlit-only --format json").out);
    ASSERT_EQ(document["rows"].size(), lit.size());
    EXPECT_EQ(document["rows"][0]["norad_number"].get<long>(), std::stol(lit[0]));
    const ProgramRun text = run(SATFIELD, "--sunlit-only");
    EXPECT_EQ(row_count(text.out), lit.size());
    char count[80];
    std::snprintf(count, sizeof count, " number of objects %8zu  from ", lit.size());
    EXPECT_NE(text.out.find(count), std::string::npos) << text.out;

    const Table frame(run(SATFIELD, "--image satfield-frame.fits --format csv").out);
    const Table frame_lit(run(SATFIELD, "--image satfield-frame.fits --sunlit-only --format csv").out);
    ASSERT_GT(frame_lit.rows.size(), 0u);
    for (std::size_t k = 0; k < frame_lit.rows.size(); ++k) {
        const std::size_t whole = frame.find("norad_number", frame_lit.cell(k, "norad_number"));
        ASSERT_LT(whole, frame.rows.size());
        EXPECT_GE(std::stod(frame_lit.cell(k, "t_in_s")), std::stod(frame.cell(whole, "t_in_s")));
        EXPECT_LE(std::stod(frame_lit.cell(k, "t_out_s")), std::stod(frame.cell(whole, "t_out_s")));
    }

    const ScratchDirectory scratch;
    const std::size_t first = all.find("illumination", "sunlit");
    ASSERT_LT(first, all.rows.size());
    const std::string number = all.cell(first, "norad_number");
    std::ofstream(scratch.file("stdmag.txt")) << "# catalogue number, standard magnitude\n" << number << ", 4.5\n";
    const Table with(run(SATFIELD, "--format csv --standard-magnitudes '" + scratch.file("stdmag.txt") + "'").out);
    const double range = std::stod(with.cell(first, "range_km"));
    const double b = std::stod(with.cell(first, "phase_angle_deg")) * M_PI / 180.0;
    EXPECT_NEAR(std::stod(with.cell(first, "v_mag_estimate")),
                4.5 - 15.0 + 5.0 * std::log10(range) - 2.5 * std::log10(std::sin(b) + (M_PI - b) * std::cos(b)), 0.0012);
    for (std::size_t k = 0; k < with.rows.size(); ++k) {
        if (k != first) {
            EXPECT_EQ(with.cell(k, "v_mag_estimate"), "") << with.cell(k, "norad_number");
        }
    }
    std::ofstream(scratch.file("bad.txt")) << number << " 4.5\n12345 bright\n";
    const ProgramRun bad = run(SATFIELD, "--standard-magnitudes '" + scratch.file("bad.txt") + "'");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("--standard-magnitudes: "), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find(": line 2: "), std::string::npos) << bad.err;
    const ProgramRun missing = run(SATFIELD, "--standard-magnitudes no_such_magnitudes.txt");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("no_such_magnitudes.txt"), std::string::npos) << missing.err;
    EXPECT_EQ(run(ASTFIELD, "--sunlit-only").status, 2);
}
