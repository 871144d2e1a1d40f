#include "text_report.hpp"
#include "satellite_search.hpp"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "program_run.hpp"
#include "scratch_directory.hpp"

using namespace fieldsearch;

namespace {

// Two sets of the sample catalogue that lie in the compiled-in field, and
// one that does not.
const std::string IN_FIELD_1 =
    "LEO SAT 2356\n"
    "1 27997U 86012D   08139.62996498  .00000021  00000-0  23056-6 0   597\n"
    "2 27997  51.6400 187.1059 0043946 130.2951 254.9118 13.85957255893370\n";
const std::string IN_FIELD_2 =
    "NAVSAT 36\n"
    "1 99985U 03048C   08140.60472935 -.00000004  00000-0 -56539-7 0  7746\n"
    "2 99985  64.5053 174.9255 0060809  71.1852 107.2231  2.00575294453287\n";
const std::string OUTSIDE =
    "GEOCOM 66\n"
    "1 49595U 03066A   08139.61747879  .00000019  00000-0  16294-6 0  6318\n"
    "2 49595   0.0000 229.8011 0005699 270.1479 320.9337  1.00272049159441\n";

using SearchRun = ProgramRun;

std::string catalogue_path()
{
    return process_scratch_directory() + "satfield_test_catalogue.tle";
}

// The run's report after its header, which must restate the scenario.
SearchRun search(const char* path)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = search_satellite_field(satellite_scenario(), {path, OutputFormat::text, out, err});
    SearchRun run{status, temporary_file_contents(out), temporary_file_contents(err)};
    const std::string header = report_header(satellite_scenario());
    if (!run.out.empty()) {
        EXPECT_EQ(run.out.substr(0, header.size()), header);
        run.out.erase(0, header.size());
    }
    return run;
}

SearchRun search_text(const std::string& text)
{
    const std::string path = catalogue_path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    SearchRun run = search(path.c_str());
    std::remove(path.c_str());
    return run;
}

std::string with_crlf(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        if (ch == '\n') {
            out += '\r';
        }
        out += ch;
    }
    return out;
}

std::string count_of(const std::string& out)
{
    return out.substr(out.rfind("\n number of objects"));
}

std::size_t rows_of(const std::string& out)
{
    std::size_t rows = 0;
    for (std::size_t at = out.find("\n|"); at != std::string::npos; at = out.find("\n|", at + 1)) {
        ++rows;
    }
    return rows;
}

const std::string TABLE_HEADER =
    "\n object designation                r.a.         decl.        motion ''/s"
    "\n name           cospar norad     h  m  s       o  ' ''      r.a.    decl.\n\n";

}  // namespace

// The scenario in one place: the request carries the compiled-in instant,
// centre and half side, and the header restates them word for word (values
// from the scenario's definition: 54606 + 20.9/24, 11h28m = 172 deg,
// 1 deg 16' = 1.2666... deg, 150' = 2.5 deg).
TEST(SatelliteScenario, RequestAndHeaderRestateTheScenario)
{
    const SearchRequest r = satellite_scenario_request();
    EXPECT_EQ(r.observer_x, 3395.0303);
    EXPECT_EQ(r.observer_y, 3128.7911);
    EXPECT_EQ(r.observer_z, 4388.8511);
    EXPECT_NEAR(r.utc_mjd, 54606.0 + 20.9 / 24.0, 1e-9);
    EXPECT_DOUBLE_EQ(r.centre_ra_deg, 172.0);
    EXPECT_DOUBLE_EQ(r.centre_dec_deg, 1.0 + 16.0 / 60.0);
    EXPECT_DOUBLE_EQ(r.half_side_deg, 2.5);
    EXPECT_EQ(report_header(satellite_scenario()),
              " \n"
              "date    2008  5 20  20 54  0.0  UTC     54606.870833  julian day\n"
              " \n"
              "center :    R.A. = 11h28m 0.0s,   Decl. =  1o16' 0.0''\n"
              " \n"
              "side of square    300.00 arcminute\n"
              " \n"
              "for objects brighter then   0.0  stellar magnitude\n");
}

// Rows in catalogue order, only for sets in the field, and the count line
// with rows and sets read; a catalogue with CR LF line ends reads the same.
TEST(SatelliteSearch, ListsSetsInTheFieldInCatalogueOrderWhateverTheLineEnds)
{
    const std::string text = IN_FIELD_2 + OUTSIDE + IN_FIELD_1;
    const SearchRun lf = search_text(text);
    EXPECT_EQ(lf.status, 0);
    EXPECT_EQ(lf.err, "");
    EXPECT_EQ(lf.out.substr(0, TABLE_HEADER.size()), TABLE_HEADER);
    EXPECT_EQ(rows_of(lf.out), 2u);
    EXPECT_LT(lf.out.find("|NAVSAT 36     |03048C|99985U|"), lf.out.find("|LEO SAT 2356  |86012D|27997U|"));
    EXPECT_EQ(count_of(lf.out), "\n number of objects        2  from         3  in list\n");
    const SearchRun crlf = search_text(with_crlf(text));
    EXPECT_EQ(crlf.out, lf.out);
    EXPECT_EQ(crlf.err, "");
}

// The report's exact bytes for a small catalogue: table header, the rows in
// catalogue order and the count line. The rows come from an independent
// evaluation of the same theory and frames in 40-digit arithmetic
// (tools/satellite_independent_check.py --theory), not from this program.
TEST(SatelliteSearch, PrintsTheExactReportOfASmallCatalogue)
{
    const SearchRun run = search_text(IN_FIELD_2 + OUTSIDE + IN_FIELD_1);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, TABLE_HEADER +
                           "|NAVSAT 36     |03048C|99985U| 11 23 15.24  + 1 26 50.1     12.4    30.0\n"
                           "|LEO SAT 2356  |86012D|27997U| 11 20 53.77  + 3 14 10.1    190.9   407.8\n"
                           "\n number of objects        2  from         3  in list\n");
    EXPECT_EQ(run.err, "");
}

// Faults of the catalogue's framing: each case is what a reader that trusts
// the file would get wrong (an overrun buffer, a repeated or half-read last
// set, a blank counted as a set, a read past the end of a short line).
TEST(SatelliteSearch, HandlesMalformedCataloguesSafely)
{
    struct Case {
        const char* what;
        std::string text;
        std::size_t rows;
        const char* count;
        const char* message;  // expected in the error output, or "" for none
    };
    const std::string long_name = "LEO SAT 2356" + std::string(100, 'X');
    const std::string line1_of_1 = IN_FIELD_1.substr(IN_FIELD_1.find('\n') + 1, 70);
    const std::string line2_of_1 = IN_FIELD_1.substr(IN_FIELD_1.find('\n') + 71);
    const Case cases[] = {
        {"empty file", "", 0, "0  from         0", ""},
        {"blank lines and a Ctrl-Z after the last set", IN_FIELD_1 + "\n   \n\t\n\x1a" + IN_FIELD_2, 1,
         "1  from         1", ""},
        {"blank lines between sets", "\n" + IN_FIELD_1 + "\n\n" + IN_FIELD_2, 2, "2  from         2", ""},
        {"last line without a line feed", IN_FIELD_1 + IN_FIELD_2.substr(0, IN_FIELD_2.size() - 1), 2,
         "2  from         2", ""},
        {"set cut short after line 1", IN_FIELD_1 + "NAVSAT 36\n" + line1_of_1, 1, "1  from         1",
         ":4: element set cut short"},
        {"set cut short after the name", IN_FIELD_1 + "NAVSAT 36\n", 1, "1  from         1",
         ":4: element set cut short"},
        {"over-long name line", long_name + "\n" + line1_of_1 + line2_of_1, 1, "1  from         1",
         ":1: line of 112 characters, only the first 79 are read"},
        {"short line 1", "SHORT\n" + line1_of_1.substr(0, 42) + "\n" + line2_of_1 + IN_FIELD_2, 1,
         "1  from         2", ":1: element set not evaluated: line 1 is shorter than 43 characters"},
        {"short line 2", "SHORT\n" + line1_of_1 + line2_of_1.substr(0, 62) + "\n" + IN_FIELD_2, 1,
         "1  from         2", ":1: element set not evaluated: line 2 is shorter than 63 characters"},
        {"mean motion zero", IN_FIELD_2 + "ZERO\n" + line1_of_1 + line2_of_1.substr(0, 52) + " 0.00000000 775437\n",
         1, "1  from         2",
         ":6: element set not evaluated: line 2 columns 53-63, the mean motion, \" 0.00000000\" is not positive"},
        {"perigee inside the Earth",
         "LOW\n" + line1_of_1 + line2_of_1.substr(0, 26) + "9950000" + line2_of_1.substr(33), 0,
         "0  from         1", ":1: element set not evaluated: the perigee lies inside the Earth"},
    };
    for (const Case& c : cases) {
        const SearchRun run = search_text(c.text);
        EXPECT_EQ(run.status, 0) << c.what;
        EXPECT_EQ(rows_of(run.out), c.rows) << c.what;
        EXPECT_NE(count_of(run.out).find(c.count), std::string::npos) << c.what << ": " << count_of(run.out);
        EXPECT_EQ(run.out.find("nan"), std::string::npos) << c.what;
        if (*c.message == '\0') {
            EXPECT_EQ(run.err, "") << c.what;
        } else {
            EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
            EXPECT_EQ(run.err.rfind("satfield: ", 0), 0u) << c.what;
        }
    }
}

// The over-long line keeps its first 79 characters: the name of the row is
// still the first 14 of them.
TEST(SatelliteSearch, OverLongLineKeepsItsStart)
{
    const SearchRun run = search_text("LEO SAT 2356" + std::string(100, 'X') + IN_FIELD_1.substr(IN_FIELD_1.find('\n')));
    EXPECT_NE(run.out.find("|LEO SAT 2356XX|86012D|27997U|"), std::string::npos);
}

// A catalogue that is missing or cannot be read (a directory) is reported
// with its path and the reason; nothing on the output, non-zero status (a
// directory opens, but the read fails before anything is printed).
TEST(SatelliteSearch, ReportsACatalogueThatCannotBeRead)
{
    const std::string missing = process_scratch_directory() + "no_such_catalogue.tle";
    const SearchRun run = search(missing.c_str());
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "satfield: cannot open " + missing + ": No such file or directory\n");

    const SearchRun directory = search(process_scratch_directory().c_str());
    EXPECT_NE(directory.status, 0);
    EXPECT_EQ(directory.out, "");
    EXPECT_NE(directory.err.find("satfield: cannot read " + process_scratch_directory()), std::string::npos);
    EXPECT_NE(directory.err.find("Is a directory"), std::string::npos);
}
