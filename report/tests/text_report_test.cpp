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
