#include "csv_rows.hpp"
#include "text_report.hpp"

#include <gtest/gtest.h>

using namespace fieldsearch;

// The header's exact bytes, written out from its formats by hand, for a
// scenario that fills every field to its width (a negative declination, the
// last second of a day): a changed width, a lost blank line or a missing line
// end breaks every report.
TEST(ReportHeader, PrintsTheScenarioInItsFixedFormats)
{
    const Scenario scenario{{1999, 12, 31, 23, 59, 59.5},
                            {},
                            field_centre_from_sexagesimal(23, 59, 59.9, true, 89, 59, 59.9),
                            0.25,
                            9.9};
    const std::string expected =
        " \n"
        "date    1999 12 31  23 59 59.5  UTC     51543.999994  julian day\n"
        " \n"
        "center :    R.A. = 23h59m59.9s,   Decl. =-89o59'59.9''\n"
        " \n"
        "side of square      0.50 arcminute\n"
        " \n"
        "for objects brighter then   9.9  stellar magnitude\n";
    EXPECT_EQ(report_header(scenario), expected);
    EXPECT_EQ(count_line(3, 2000), "\n number of objects        3  from      2000  in list\n");
}

// The count line notes superseded element sets only when there are some.
TEST(CountLine, NotesSupersededSetsWhenThereAreAny)
{
    EXPECT_EQ(count_line(3, 2000, 0), "\n number of objects        3  from      2000  in list\n");
    EXPECT_EQ(count_line(0, 2, 1), "\n number of objects        0  from         2  in list  (1 superseded set)\n");
    EXPECT_EQ(count_line(8, 1360, 960),
              "\n number of objects        8  from      1360  in list  (960 superseded sets)\n");
}

// The header prints tenths of a second: a centre a few milliarcseconds short
// of a whole minute (a frame's centre through the frame bias) must print the
// whole minute, not 60.0 seconds of the one before; 24 h wraps to 0 h.
TEST(ReportHeader, CarriesSecondsThatRoundToSixty)
{
    struct Case {
        double ra_deg, dec_deg;
        std::string centre_line;
    };
    const Case cases[] = {
        {10.0 / 240.0 + 4.0e-6, 0.5 - 4.6e-6, "center :    R.A. =  0h 0m10.0s,   Decl. =  0o30' 0.0''\n"},
        {360.0 - 1.0e-6, -45.0 + 4.0e-6, "center :    R.A. =  0h 0m 0.0s,   Decl. =-45o 0' 0.0''\n"},
        {14.999999, 89.9999999, "center :    R.A. =  1h 0m 0.0s,   Decl. = 90o 0' 0.0''\n"},
        {15.0 - 0.45 / 240.0, -0.2, "center :    R.A. =  0h59m59.5s,   Decl. = -0o12' 0.0''\n"},
    };
    for (const Case& c : cases) {
        const Scenario scenario{{2008, 5, 20, 5, 13, 30.0}, {}, field_centre_from_degrees(c.ra_deg, c.dec_deg), 60.0, 20.0};
        EXPECT_NE(report_header(scenario).find(c.centre_line), std::string::npos) << report_header(scenario);
    }
}

// A declination of -0 deg 30' must keep its minus sign although its degree
// field is the integer 0; other negative declinations carry it in the degrees.
TEST(ReportHeader, ShowsTheSignOfANegativeZeroDegreeDeclination)
{
    Scenario scenario{{2008, 5, 20, 20, 54, 0.0}, {}, field_centre_from_degrees(172.0, -0.5), 150.0, 0.0};
    EXPECT_NE(report_header(scenario).find("   Decl. = -0o30' 0.0''\n"), std::string::npos);
    scenario.centre = field_centre_from_sexagesimal(11, 28, 0.0, true, 5, 30, 0.0);
    EXPECT_NE(report_header(scenario).find("   Decl. = -5o30' 0.0''\n"), std::string::npos);
    EXPECT_EQ(scenario.centre.dec_deg, -5.5);
    EXPECT_EQ(scenario.centre.ra_deg, 172.0);
}

// CSV fields: designations lose their padding blanks, and a name holding a
// comma or a quote is quoted so that it stays one field.
TEST(CsvField, TrimsAndQuotesAsNeeded)
{
    EXPECT_EQ(csv_field("  4101"), "4101");
    EXPECT_EQ(csv_field(" 2008 AB12 "), "2008 AB12");
    EXPECT_EQ(csv_field("      "), "");
    EXPECT_EQ(csv_field("SAT, THE"), "\"SAT, THE\"");
    EXPECT_EQ(csv_field("SAT \"X\""), "\"SAT \"\"X\"\"\"");
}
