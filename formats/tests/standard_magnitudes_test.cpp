#include "standard_magnitudes.hpp"

#include <string>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Every accepted way of writing a line: blanks or a comma (with blanks round
// it) between the fields, tabs, comments after a set and on lines of their
// own, blank lines, CR LF, a last line without a line feed, leading zeros,
// signs and exponents. A separator or a comment read wrongly loses a
// satellite or gives it another's magnitude.
TEST(StandardMagnitudesFromText, ReadsEveryAcceptedForm)
{
    const StandardMagnitudesResult result = standard_magnitudes_from_text(
        "# catalogue number, standard magnitude\n"
        "25544 -1.8\n"
        "\n"
        "   20580,2.2   # the space telescope\r\n"
        "00005 , 11\n"
        "\t43013\t+4.5e0\t\n"
        "   # an indented comment\n"
        "900000000,-0.25\n"
        "7 1.5e1");
    ASSERT_TRUE(result.magnitudes) << result.line << ": " << result.error;
    EXPECT_EQ(result.line, 0);
    EXPECT_TRUE(result.error.empty());
    const auto& table = result.magnitudes->by_catalogue_number;
    EXPECT_EQ(table.size(), 6u);
    const std::pair<long, double> expected[] = {
        {25544, -1.8}, {20580, 2.2}, {5, 11.0}, {43013, 4.5}, {900000000, -0.25}, {7, 15.0},
    };
    for (const auto& [number, magnitude] : expected) {
        const std::optional<double> found = standard_magnitude_of(*result.magnitudes, number);
        ASSERT_TRUE(found) << number;
        EXPECT_EQ(*found, magnitude) << number;
    }
    EXPECT_FALSE(standard_magnitude_of(*result.magnitudes, 25545));
}

// A file of comments alone, or nothing, is an empty table, not an error.
TEST(StandardMagnitudesFromText, EmptyTextGivesAnEmptyTable)
{
    for (const char* text : {"", "\n\n", "# nothing yet\n   \t\n"}) {
        const StandardMagnitudesResult result = standard_magnitudes_from_text(text);
        ASSERT_TRUE(result.magnitudes) << text;
        EXPECT_TRUE(result.magnitudes->by_catalogue_number.empty());
    }
}

// Each bad line is refused with its number and the reason, the first bad
// line deciding: a reader that skipped bad lines, took a prefix of a field
// or an "inf", or let a second line for the same satellite win, accepts one.
TEST(StandardMagnitudesFromText, RefusesBadLinesNamingThemAndWhy)
{
    struct Case {
        std::string text;
        long line;
        const char* reason;  // part of the message
    };
    const std::string head = "# magnitudes\n25544 -1.8\n";
    const Case cases[] = {
        {head + "20580\n", 3, "without a standard magnitude"},
        {head + "20580,\n", 3, "without a standard magnitude"},
        {head + ",2.2\n", 3, "no catalogue number"},
        {head + "20580,,2.2\n", 3, "empty field"},
        {head + "20580 2.2 3\n", 3, "more than two fields"},
        {head + "20580 2.2,3\n", 3, "more than two fields"},
        {head + "2058O 2.2\n", 3, "catalogue number is not"},
        {head + "-20580 2.2\n", 3, "catalogue number is not"},
        {head + "1234567890 2.2\n", 3, "catalogue number is not"},
        {head + "20580 2.2x\n", 3, "not a number"},
        {head + "20580 inf\n", 3, "not a number"},
        {head + "20580 nan\n", 3, "not a number"},
        {head + "20580 1e999\n", 3, "not a number"},
        {head + "20580 +-2\n", 3, "not a number"},
        {head + std::string("20580 2\0.2\n", 11), 3, "not a number"},
        {head + "20580 31\n", 3, "outside -30 to 30"},
        {head + "\n20580 2.2\n25544 -1.9\n", 5, "25544 was given on line 2"},
        {"25544 -1.8\n25544 -1.8\n", 2, "given on line 1"},
        {"norad_cat_id,std_mag\n25544 1\n", 1, "catalogue number is not"},  // a header not commented out
        {"x\n25544 1\n", 1, "without a standard magnitude"},
    };
    for (const Case& c : cases) {
        const StandardMagnitudesResult result = standard_magnitudes_from_text(c.text);
        EXPECT_FALSE(result.magnitudes) << c.text;
        EXPECT_EQ(result.line, c.line) << c.text;
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << c.text << " -> " << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }
}
