#include "command_line.hpp"
#include "text_report.hpp"

#include <cmath>
#include <fstream>

#include <gtest/gtest.h>

#include "geodetic_site.hpp"
#include "scratch_directory.hpp"
#include "standard_magnitudes.hpp"

using namespace fieldsearch;

namespace {

const ProgramInfo ASTEROIDS{"astfield", "astorb.dat", true};
const ProgramInfo SATELLITES{"satfield", "080520ls.tle", false};

CommandLineResult parse(std::vector<std::string_view> arguments, const ProgramInfo& program = ASTEROIDS)
{
    return parse_command_line(arguments, program);
}

}  // namespace

// Every option in its good forms: a value lost, a unit confused or the two
// ways of giving the centre mixed up would show here.
TEST(CommandLine, AcceptsEveryOptionInItsDocumentedForms)
{
    const CommandLineResult r =
        parse({"--catalogue", "data/astorb.dat", "--time", "2008-05-20T05:14:00.5Z", "--observer", "1,-2.5,3e3",
               "--centre", "11:28:00.0", "-00:30:00", "--side", "90", "--mag-limit", "18.5", "--format", "csv"});
    ASSERT_TRUE(r.ok) << r.error;
    const CommandLine& c = r.command_line;
    EXPECT_EQ(*c.catalogue_path, "data/astorb.dat");
    EXPECT_EQ(c.instant->year, 2008);
    EXPECT_EQ(c.instant->month, 5);
    EXPECT_EQ(c.instant->day, 20);
    EXPECT_EQ(c.instant->hour, 5);
    EXPECT_EQ(c.instant->minute, 14);
    EXPECT_EQ(c.instant->second, 0.5);
    EXPECT_EQ((*c.observer_earth_fixed)(2), -2.5);
    EXPECT_EQ((*c.observer_earth_fixed)(3), 3000.0);
    EXPECT_EQ(c.centre->ra_deg, 172.0);
    EXPECT_EQ(c.centre->dec_deg, -0.5);
    EXPECT_TRUE(c.centre->dec_negative);
    EXPECT_EQ(c.centre->dec_degrees, 0);
    EXPECT_EQ(c.centre->dec_arcminutes, 30);
    EXPECT_EQ(*c.side_arcmin, 90.0);
    EXPECT_EQ(*c.mag_limit, 18.5);
    EXPECT_EQ(c.format, OutputFormat::csv);

    const CommandLineResult decimal = parse({"--centre", "172.0", "1.2666666666666666", "--time=2000-02-29T23:59:59"});
    ASSERT_TRUE(decimal.ok) << decimal.error;
    EXPECT_EQ(decimal.command_line.centre->ra_hours, 11);
    EXPECT_EQ(decimal.command_line.centre->ra_minutes, 28);
    EXPECT_EQ(decimal.command_line.centre->dec_arcminutes, 16);
    EXPECT_EQ(decimal.command_line.instant->day, 29);

    // 3-4-5: exactly a million km from the Earth's centre, the farthest allowed.
    const CommandLineResult far = parse({"--observer", "600000,-800000,0"}, SATELLITES);
    ASSERT_TRUE(far.ok) << far.error;
    EXPECT_EQ((*far.command_line.observer_earth_fixed)(2), -800000.0);

    EXPECT_TRUE(parse({"--help"}).command_line.show_help);
    EXPECT_TRUE(parse({"--version"}, SATELLITES).command_line.show_version);
    EXPECT_TRUE(parse({}).ok);
}

// Bad values are refused with a message that names the option; the
// asteroid-only option is unknown to the satellite program.
TEST(CommandLine, RefusesBadOptionsNamingTheOption)
{
    struct Case {
        std::vector<std::string_view> arguments;
        const char* option;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"stray"}, "stray"},
        {{"--time"}, "--time"},
        {{"--time", "2009-02-29T00:00:00"}, "--time"},  // not a leap year
        {{"--time", "2008-13-01T00:00:00"}, "--time"},
        {{"--time", "2008-05-20T24:00:00"}, "--time"},
        {{"--time", "2008-05-20T05:14:60"}, "--time"},
        {{"--time", "2008-05-20 05:14:00"}, "--time"},
        {{"--time", "1850-01-01T00:00:00"}, "--time"},
        {{"--site", "91,0"}, "--site"},
        {{"--site", "45"}, "--site"},
        {{"--site", "45,x,10"}, "--site"},
        {{"--observer", "1,2"}, "--observer"},
        {{"--observer", "1,2,nan"}, "--observer"},
        {{"--observer", "1e155,0,0"}, "--observer"},
        {{"--observer", "0,-1e300,1e300"}, "--observer"},  // the squares overflow
        {{"--observer", "600000,800000,1"}, "--observer"},  // half a millimetre beyond 1e6 km
        {{"--observer", "inf,0,0"}, "--observer"},
        {{"--side", "0"}, "--side"},
        {{"--side", "-5"}, "--side"},
        {{"--side", "10800"}, "--side"},
        {{"--side", "12abc"}, "--side"},
        {{"--centre", "172.0"}, "--centre"},
        {{"--centre", "360", "0"}, "--centre"},
        {{"--centre", "10", "91"}, "--centre"},
        {{"--centre", "24:00:00", "+00:00:00"}, "--centre"},
        {{"--centre", "11:60:00", "+00:00:00"}, "--centre"},
        {{"--centre", "11:28:00", "1.5"}, "--centre"},
        {{"--centre", "11:28:00", "+91:00:00"}, "--centre"},
        {{"--mag-limit", "bright"}, "--mag-limit"},
        {{"--format", "xml"}, "--format"},
        {{"--catalogue"}, "--catalogue"},
        {{"--observer", "1,2,3", "--site", "45,10"}, "--site"},
        {{"--help=3"}, "--help"},
        {{"--centre=172.0", "1.2"}, "--centre"},
        {{"--side", "90", "--centre", "172.0"}, "--centre"},
        {{"--chart", "field.png"}, "--chart"},  // the chart is SVG: a name that asks for another format
        {{"--chart", "svg"}, "--chart"},
        {{"--centre", "11:28.5", "+01:16"}, "--centre"},  // minutes with a fraction
    };
    for (const Case& c : cases) {
        const CommandLineResult r = parse(c.arguments);
        EXPECT_FALSE(r.ok) << c.arguments[0];
        EXPECT_EQ(r.error.rfind(std::string(c.option) + ": ", 0), 0u) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
    EXPECT_FALSE(parse({"--mag-limit", "18"}, SATELLITES).ok);

    // The options of a catalogue written at a new epoch are listed with the
    // others, but the search refuses them: the program runs them apart.
    ProgramInfo rewriting = ASTEROIDS;
    rewriting.writes_catalogue = true;
    const Case apart[] = {
        {{"--epoch", "2009-05-20"}, "--epoch"},
        {{"--time", "2008-05-20T05:14:00", "--write-catalogue", "out.dat"}, "--write-catalogue"},
    };
    for (const Case& c : apart) {
        const CommandLineResult r = parse(c.arguments, rewriting);
        EXPECT_FALSE(r.ok) << c.arguments[0];
        EXPECT_EQ(r.error.rfind(std::string(c.option) + ": ", 0), 0u) << r.error;
        EXPECT_FALSE(parse(c.arguments).ok) << "without the option: " << c.arguments[0];
    }
}

// The compiled-in observer of both programs is a site in the Caucasus; its
// geodetic coordinates were found by inverting the WGS84 relation by hand
// (iterating latitude and height from the Earth-fixed vector), so converting
// them back must land within a metre of the vector.
TEST(GeodeticSite, ConvertsLatitudeLongitudeAndHeightToEarthFixedKilometres)
{
    const Vector3 v = observer_from_geodetic_site(43.74171381682389, 42.66303805899646, 2094.3342376058354);
    EXPECT_NEAR(v(1), 3395.0303, 1e-3);
    EXPECT_NEAR(v(2), 3128.7911, 1e-3);
    EXPECT_NEAR(v(3), 4388.8511, 1e-3);
    // On the equator at longitude 0 the site lies one equatorial radius out;
    // at the pole one polar radius, 6356.752 km.
    EXPECT_NEAR(observer_from_geodetic_site(0.0, 0.0, 0.0)(1), 6378.137, 1e-9);
    EXPECT_NEAR(observer_from_geodetic_site(90.0, 0.0, 1000.0)(3), 6356.7523142 + 1.0, 1e-6);
}

// Options replace only what they name; the side is the full side, so the
// half side of the scenario is half of it.
TEST(CommandLine, OverridesOnlyWhatWasGiven)
{
    Scenario compiled_in{{2008, 5, 20, 5, 14, 0.0}, {}, field_centre_from_sexagesimal(0, 0, 10.0, false, 0, 30, 0.0),
                         60.0, 20.0};
    compiled_in.observer_earth_fixed(1) = 3395.0303;
    const CommandLineResult r = parse({"--side", "90", "--time", "2009-01-02T03:04:05"});
    ASSERT_TRUE(r.ok);
    const Scenario s = scenario_with_options(compiled_in, r.command_line);
    EXPECT_EQ(s.half_side_arcmin, 45.0);
    EXPECT_EQ(s.instant.year, 2009);
    EXPECT_EQ(s.instant.second, 5.0);
    EXPECT_EQ(s.observer_earth_fixed(1), 3395.0303);
    EXPECT_EQ(s.centre.ra_deg, 0.041666666666666664);
    EXPECT_EQ(s.mag_limit, 20.0);

    const SearchRequest request = search_request_from_scenario(s);
    EXPECT_EQ(request.half_side_deg, 0.75);
    EXPECT_EQ(request.centre_dec_deg, 0.5);
    EXPECT_NE(report_header(s).find("side of square     90.00 arcminute"), std::string::npos);
}

// The satellites' light options: --sunlit-only is a flag of the satellite
// program alone (a value after it, or the asteroid program, refused naming
// it), --standard-magnitudes a path whose file the plan reads: its
// magnitudes by catalogue number, status 1 for a file that cannot be read and
// 2, naming the file and the line, for a line that is no magnitude.
TEST(CommandLine, SunlitOnlyAndStandardMagnitudes)
{
    const ProgramInfo satellites{"satfield", "080520ls.tle", false, nullptr, "vinti|sgp4|both", true};
    const CommandLineResult given = parse({"--sunlit-only", "--standard-magnitudes", "stdmag.txt"}, satellites);
    ASSERT_TRUE(given.ok) << given.error;
    EXPECT_TRUE(given.command_line.sunlit_only);
    EXPECT_EQ(*given.command_line.standard_magnitudes_path, "stdmag.txt");
    EXPECT_FALSE(parse({}, satellites).command_line.sunlit_only);
    EXPECT_NE(usage_text(satellites).find("--sunlit-only"), std::string::npos);
    EXPECT_NE(usage_text(satellites).find("--standard-magnitudes PATH"), std::string::npos);
    EXPECT_EQ(usage_text(ASTEROIDS).find("--sunlit-only"), std::string::npos);

    const struct {
        std::vector<std::string_view> arguments;
        const ProgramInfo* program;
        const char* message;
    } refused[] = {
        {{"--sunlit-only=yes"}, &satellites, "--sunlit-only: takes no value"},
        {{"--standard-magnitudes"}, &satellites, "--standard-magnitudes: needs the path of a file of standard magnitudes"},
        {{"--sunlit-only"}, &ASTEROIDS, "--sunlit-only: only the satellite program"},
        {{"--standard-magnitudes", "x"}, &ASTEROIDS, "--standard-magnitudes: only the satellite program"},
    };
    for (const auto& r : refused) {
        const CommandLineResult result = parse(r.arguments, *r.program);
        EXPECT_FALSE(result.ok) << r.message;
        EXPECT_EQ(result.error.rfind(r.message, 0), 0u) << result.error;
    }

    const ScratchDirectory scratch;
    const std::string good = scratch.file("good.txt");
    const std::string bad = scratch.file("bad.txt");
    std::ofstream(good) << "25544 -1.8  # a station\n27997,4.0\n";
    std::ofstream(bad) << "25544 -1.8\n25544 3.0\n";
    CommandLine line = given.command_line;
    line.standard_magnitudes_path = good;
    const PlanResult read = plan_from_command_line(line, Scenario{});
    ASSERT_EQ(read.status, 0) << read.error;
    EXPECT_TRUE(read.plan.sunlit_only);
    EXPECT_EQ(read.plan.standard_magnitudes.by_catalogue_number.size(), 2u);
    EXPECT_EQ(standard_magnitude_of(read.plan.standard_magnitudes, 25544), -1.8);
    EXPECT_EQ(standard_magnitude_of(read.plan.standard_magnitudes, 27997), 4.0);

    line.standard_magnitudes_path = bad;
    const PlanResult refused_line = plan_from_command_line(line, Scenario{});
    EXPECT_EQ(refused_line.status, 2);
    EXPECT_EQ(refused_line.error.rfind("--standard-magnitudes: " + bad + ": line 2: ", 0), 0u) << refused_line.error;
    line.standard_magnitudes_path = scratch.file("none.txt");
    const PlanResult missing = plan_from_command_line(line, Scenario{});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.error.find("none.txt"), std::string::npos) << missing.error;
}

// --site CODE: the station's place from the observatory codes' list, the
// bundled one by default or that of --observatory-codes; a code not in the
// list or of a station without coordinates (a spacecraft) is refused, and
// --observatory-codes with a site given by its coordinates is refused.
TEST(CommandLine, SiteByObservatoryCode)
{
    // 568 Maunakea in the published list: 204.5278, rho cos phi' 0.94171,
    // rho sin phi' +0.33725 in equatorial radii of 6378.137 km.
    const double deg = std::acos(-1.0) / 180.0;
    const Vector3 maunakea{{6378.137 * 0.94171 * std::cos(204.5278 * deg),
                            6378.137 * 0.94171 * std::sin(204.5278 * deg), 6378.137 * 0.33725}};
    const ProgramInfo identifying{"astfield", "astorb.dat", true, nullptr, nullptr, false, nullptr, 30.0, 10.0,
                                  "arcsec/h", true};
    const ScratchDirectory scratch;
    const std::string codes = scratch.file("codes.html");
    std::ofstream(codes) << "<pre>\nCode  Long.   cos      sin    Name\n"
                            "568  90.0000 0.50000 +0.80000 Moved\n"
                            "250                           Hubble Space Telescope\n</pre>\n";
    struct Case {
        std::vector<std::string_view> arguments;
        Vector3 site;
    };
    const Case cases[] = {
        {{"--site", "568"}, maunakea},
        {{"--site", "568", "--observatory-codes", SAMPLE_DATA_DIR "/ObsCodes.html"}, maunakea},
        {{"--site", "568", "--observatory-codes", codes}, Vector3{{0.0, 6378.137 * 0.5, 6378.137 * 0.8}}},
    };
    for (const Case& c : cases) {
        const CommandLineResult given = parse(c.arguments, identifying);
        ASSERT_TRUE(given.ok) << given.error;
        const PlanResult planned = plan_from_command_line(given.command_line, Scenario{});
        ASSERT_EQ(planned.status, 0) << planned.error;
        for (int k = 1; k <= 3; ++k) {
            EXPECT_NEAR(planned.plan.fields.front().observer_earth_fixed(k), c.site(k), 1e-9) << c.arguments.size();
        }
    }

    struct Refused {
        std::vector<std::string_view> arguments;
        const char* message;
    };
    const Refused refused[] = {
        {{"--site", "ZZZ", "--observatory-codes", codes}, "--site: ZZZ: no station with coordinates"},
        {{"--site", "250", "--observatory-codes", codes}, "--site: 250: no station with coordinates"},
        {{"--site", "45,10", "--observatory-codes", codes}, "--observatory-codes: "},
        {{"--observatory-codes", codes}, "--observatory-codes: "},
    };
    for (const Refused& r : refused) {
        const CommandLineResult given = parse(r.arguments, identifying);
        const PlanResult planned =
            given.ok ? plan_from_command_line(given.command_line, Scenario{}) : PlanResult{};
        const std::string error = given.ok ? planned.error : given.error;
        EXPECT_TRUE(!given.ok || planned.status == 2) << r.message;
        EXPECT_EQ(error.rfind(r.message, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

namespace {

int throws_runtime_error(const SearchPlan&, const SearchOutput&)
{
    throw std::runtime_error("night observer: its position is not finite");
}

int throws_integer(const SearchPlan&, const SearchOutput&)
{
    throw 7;
}

int searches_nothing(const SearchPlan&, const SearchOutput&)
{
    return 0;
}

// A scenario of the asteroid program's kind.
Scenario plain_scenario()
{
    Scenario scenario{};
    scenario.instant = {2008, 5, 20, 5, 14, 0.0};
    scenario.observer_earth_fixed(1) = 6378.0;
    scenario.centre = field_centre_from_degrees(10.0, 5.0);
    scenario.half_side_arcmin = 30.0;
    scenario.mag_limit = 20.0;
    return scenario;
}

}  // namespace

// Whatever a search throws ends the run with one line naming the program and
// status 1; a bad observer is refused before any search.
TEST(CommandLine, EveryFailureEndsInOneLineAndAStatus)
{
    struct Case {
        std::vector<const char*> arguments;
        PlanSearchFunction search;
        int status;
        const char* message;  // what standard error starts with
    };
    const Case cases[] = {
        {{"astfield", "--exposure", "60"}, throws_runtime_error, 1,
         "astfield: internal error: night observer: its position is not finite\n"},
        {{"astfield"}, throws_integer, 1, "astfield: internal error: an unknown exception\n"},
        {{"astfield", "--observer", "1e155,0,0", "--exposure", "60"}, throws_runtime_error, 2,
         "astfield: --observer: '1e155,0,0' is not within 1e6 km of the Earth's centre\n"},
        {{"astfield", "--observer", "6378,0,0", "--exposure", "60"}, searches_nothing, 0, ""},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        const int status = run_command_line(static_cast<int>(c.arguments.size()), c.arguments.data(), ASTEROIDS,
                                            plain_scenario(), c.search);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << c.message;
        EXPECT_EQ(err.rfind(c.message, 0), 0u) << err;
    }
}
