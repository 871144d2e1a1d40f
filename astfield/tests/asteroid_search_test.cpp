#include <gtest/gtest.h>

#include "text_report.hpp"
#include "scratch_directory.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "asteroid_search.hpp"
#include "astorb_lines.hpp"

using namespace fieldsearch;

namespace {

// The records of the small catalogue: an asteroid 29 arcseconds inside the
// north edge of the accepted square, a fast near-Earth object crossing 0h,
// one far from the field and one on a parabola.
std::vector<std::string> small_catalogue()
{
    return {
        astorb_line("  4101", "Testina", 12.91, 0.15, "20080514", 299.77838, 81.329088, 327.929242, 6.0, 0.08, 2.75),
        astorb_line("", "2008 AB12", 19.92, 0.15, "20080514", 21.629578, 119.000084, 62.176545, 4.0, 0.42, 1.45),
        astorb_line("   512", "Farside", 9.49, 0.25, "20080514", 171.610906, 109.989917, 290.390389, 2.586166,
                    0.08454582, 2.24262758),
        astorb_line("  9999", "Parabolic", 15.0, 0.15, "20080514", 10.0, 20.0, 30.0, 5.0, 1.0, 2.0),
    };
}

// The compiled-in instant and field, seen from the Earth's centre.
Scenario geocentric_scenario()
{
    Scenario scenario = asteroid_scenario();
    scenario.observer_earth_fixed = Vector3{{0.0, 0.0, 0.0}};
    return scenario;
}

const std::string TABLE_HEADER = "\nobject designation       r.a.         decl.     v       motion/hr\n"
                                 "                       h  m  s       o  '              r.a.   decl.\n"
                                 "\n";

// The report of the small catalogue for geocentric_scenario(). The rows were
// computed with the same formulas in 30-digit arithmetic by
// tools/asteroid_independent_check.py --program-model, no digit near a
// rounding boundary.
const std::string SMALL_REPORT = TABLE_HEADER +
                                 "|  4101| Testina   |  0  1 47.74  + 1 35 32.2  18.4    49.0    25.3\n"
                                 "|      | 2008 AB12 | 23 59 59.60  + 0 46 59.0  17.9  -818.8  -628.3\n"
                                 "\n number of objects        2  from         4  in list\n";

std::string temporary_path(const std::string& name)
{
    return (std::filesystem::path(process_scratch_directory()) / ("astfield_" + name)).string();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
}

std::string contents(std::FILE* f)
{
    std::string text;
    std::rewind(f);
    char block[4096];
    std::size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        text.append(block, n);
    }
    return text;
}

struct SearchRun {
    int status;
    std::string out;
    std::string err;
};

// The run's report after its header, which must restate the scenario.
SearchRun run_search(const Scenario& scenario, const std::string& path)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    SearchRun run{search_asteroid_field(scenario, {path.c_str(), OutputFormat::text, out, err}), contents(out), contents(err)};
    std::fclose(out);
    std::fclose(err);
    const std::string header = report_header(scenario);
    if (!run.out.empty()) {
        EXPECT_EQ(run.out.substr(0, header.size()), header);
        run.out.erase(0, header.size());
    }
    return run;
}

// The records, each cut or padded to `length` characters and ended by
// `line_end`.
std::string catalogue_text(std::size_t length, const std::string& line_end)
{
    std::string text;
    for (std::string line : small_catalogue()) {
        line.resize(length, ' ');
        text += line + line_end;
    }
    return text;
}

}  // namespace

// Catches a header that does not restate the compiled-in scenario, or a
// search handed another centre, side or instant than the header prints.
TEST(AsteroidSearch, ScenarioHeaderAndRequestAgree)
{
    EXPECT_EQ(report_header(asteroid_scenario()),
              " \n"
              "date    2008  5 20   5 14  0.0  UTC     54606.218056  julian day\n"
              " \n"
              "center :    R.A. =  0h 0m10.0s,   Decl. =  0o30' 0.0''\n"
              " \n"
              "side of square    120.00 arcminute\n"
              " \n"
              "for objects brighter then  20.0  stellar magnitude\n");
    const SearchRequest r = asteroid_search_request();
    EXPECT_EQ(r.observer_x, 3395.0303);
    EXPECT_EQ(r.observer_y, 3128.7911);
    EXPECT_EQ(r.observer_z, 4388.8511);
    EXPECT_EQ(r.utc_mjd, 54606.21805555555);
    EXPECT_EQ(r.centre_ra_deg, 0.041666666666666664);
    EXPECT_EQ(r.centre_dec_deg, 0.5);
    EXPECT_EQ(r.half_side_deg, 1.0);
    EXPECT_EQ(r.mag_limit, 20.0);
}

// Catches any fault on the road of an asteroid from the record to its row
// (place, magnitude, motion across 0h, row format, count line): the whole
// report of a small catalogue, byte for byte, and the message that names the
// line of the parabolic orbit.
TEST(AsteroidSearch, ReportOfASmallCatalogue)
{
    const std::string path = temporary_path("small.dat");
    write_file(path, catalogue_text(267, "\n"));
    const SearchRun run = run_search(geocentric_scenario(), path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, SMALL_REPORT);
    EXPECT_EQ(run.err, "astfield: " + path +
                           ":4: elements describe no ellipse (e = 1, a = 2 AU) or are not finite, not evaluated\n");
}

// Catches reading fixed blocks instead of lines: the published 267
// characters plus LF, older copies of 266 plus LF and copies with CR LF line
// ends all give the same report.
TEST(AsteroidSearch, RecordsAreLinesWhateverTheirLineEnd)
{
    struct Case {
        const char* name;
        std::size_t length;
        const char* line_end;
    };
    const Case cases[] = {{"266_lf", 266, "\n"}, {"267_lf", 267, "\n"}, {"267_crlf", 267, "\r\n"},
                          {"181_lf", 181, "\n"}};
    for (const Case& c : cases) {
        const std::string path = temporary_path(c.name);
        write_file(path, catalogue_text(c.length, c.line_end));
        EXPECT_EQ(run_search(geocentric_scenario(), path).out, SMALL_REPORT) << c.name;
    }
}

// Catches a pass made, or a stale record evaluated again, for what follows
// the last record: a trailing blank line, a 0x1A byte (and whatever follows
// it), a last record without line end, and a short last line (reported,
// not counted) change neither the rows nor the count.
TEST(AsteroidSearch, TrailingBytesAddNoPassAndNoRow)
{
    const std::string records = catalogue_text(267, "\n");
    struct Case {
        const char* name;
        std::string bytes;
        std::string err_part;
    };
    const Case cases[] = {
        {"blank_line", records + "\n   \n", ""},
        {"ctrl_z", records + "\x1a" + catalogue_text(267, "\n"), ""},
        {"no_final_lf", records.substr(0, records.size() - 1), ""},
        {"short_last_line", records + "  4102 Tornoff  12.3", ":5: record shorter than 181 characters (20), skipped"},
    };
    for (const Case& c : cases) {
        const std::string path = temporary_path(c.name);
        write_file(path, c.bytes);
        const SearchRun run = run_search(geocentric_scenario(), path);
        EXPECT_EQ(run.status, 0) << c.name;
        EXPECT_EQ(run.out, SMALL_REPORT) << c.name;
        if (!c.err_part.empty()) {
            EXPECT_NE(run.err.find(c.err_part), std::string::npos) << c.name << ": " << run.err;
        }
    }
}

// Catches a record with e = 1 or a = 0 (or an unreadable number) being
// evaluated or dropped from the count, and a short line counted as a record:
// each bad line is named on standard error, the rows stay those of the good
// records.
TEST(AsteroidSearch, BadRecordsAreReportedAndGiveNoRow)
{
    const std::vector<std::string> good = small_catalogue();
    std::string text = good[0] + "\n";
    text += astorb_line("  7777", "Zeroaxis", 14.0, 0.15, "20080514", 10.0, 20.0, 30.0, 5.0, 0.1, 0.0) + "\n";
    text += "  7778 Fragment           test            14.00  0.15\n";
    std::string not_a_number = good[1];
    not_a_number.replace(158, 10, "       nan");
    text += not_a_number + "\n";
    text += good[1] + "\n";

    const std::string path = temporary_path("bad_records.dat");
    write_file(path, text);
    const SearchRun run = run_search(geocentric_scenario(), path);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, TABLE_HEADER +
                           "|  4101| Testina   |  0  1 47.74  + 1 35 32.2  18.4    49.0    25.3\n"
                           "|      | 2008 AB12 | 23 59 59.60  + 0 46 59.0  17.9  -818.8  -628.3\n"
                           "\n number of objects        2  from         4  in list\n");
    EXPECT_NE(run.err.find(path + ":2: elements describe no ellipse (e = 0.1, a = 0 AU)"), std::string::npos);
    EXPECT_NE(run.err.find(path + ":3: record shorter than 181 characters (53), skipped"), std::string::npos);
    EXPECT_NE(run.err.find(path + ":4: eccentricity (columns 158-168) 'nan' is not a number"), std::string::npos);
    EXPECT_EQ(run.out.find("nan"), std::string::npos);
}

// Catches a missing or unreadable catalogue reported as a normal run: a
// message naming the path and the reason, a non-zero status, no rows and no
// count line.
TEST(AsteroidSearch, MissingOrUnreadableCatalogueFails)
{
    struct Case {
        std::string path;
        const char* what;
        const char* reason;
        std::string out;  // nothing: a run that cannot read its catalogue prints nothing
    };
    const std::string directory = temporary_path("a_directory");
    std::filesystem::create_directories(directory);
    const Case cases[] = {
        {temporary_path("no_such_catalogue.dat"), "cannot open ", ": No such file or directory", ""},
        {directory, "cannot read ", ": Is a directory", ""},
    };
    for (const Case& c : cases) {
        const SearchRun run = run_search(geocentric_scenario(), c.path);
        EXPECT_NE(run.status, 0) << c.path;
        EXPECT_EQ(run.out, c.out) << c.path;
        EXPECT_EQ(run.err, "astfield: " + std::string(c.what) + c.path + c.reason + "\n");
    }
}
