#include "search_scenario.hpp"

#include <gtest/gtest.h>

// The header's exact bytes for the asteroid program's scenario, written out
// from its formats by hand: a changed width, a lost blank line or a missing
// line end breaks every report.
TEST(ReportHeader, PrintsTheScenarioInItsFixedFormats)
{
    const Scenario scenario{{2008, 5, 20, 5, 14, 0.0}, {}, field_centre_from_sexagesimal(0, 0, 10.0, false, 0, 30, 0.0),
                            60.0, 20.0};
    const std::string expected =
        " \n"
        "date    2008  5 20   5 14  0.0  UTC     54606.218056  julian day\n"
        " \n"
        "center :    R.A. =  0h 0m10.0s,   Decl. =  0o30' 0.0''\n"
        " \n"
        "side of square    120.00 arcminute\n"
        " \n"
        "for objects brighter then  20.0  stellar magnitude\n";
    EXPECT_EQ(report_header(scenario), expected);
    EXPECT_EQ(count_line(3, 2000), "\n number of objects        3  from      2000  in list\n");
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
