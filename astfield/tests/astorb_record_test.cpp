#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "astorb_lines.hpp"
#include "astorb_record.hpp"

using namespace fieldsearch;

// Catches a field read from the wrong columns, a trimmed number or name, or
// a name not read whole to column 25: every value comes back from the line built in
// the published layout.
TEST(AstorbRecord, ReadsEveryFieldFromItsColumns)
{
    const std::string line = astorb_line("  4101", "Testina Longername", 12.91, 0.25, "20080514", 299.77838,
                                         81.329088, 327.929242, 6.5, 0.08123456, 2.75012345);
    ASSERT_EQ(line.size(), 267u);
    const AstorbRecord r = parse_astorb_record(line);
    EXPECT_STREQ(r.number.data(), "  4101");
    EXPECT_STREQ(r.name.data(), " Testina Longername");
    EXPECT_EQ(r.h, 12.91);
    EXPECT_EQ(r.g, 0.25);
    EXPECT_EQ(r.epoch_year, 2008);
    EXPECT_EQ(r.epoch_month, 5);
    EXPECT_EQ(r.epoch_day, 14);
    EXPECT_EQ(r.mean_anomaly, 299.77838);
    EXPECT_EQ(r.perihelion_argument, 81.329088);
    EXPECT_EQ(r.node, 327.929242);
    EXPECT_EQ(r.inclination, 6.5);
    EXPECT_EQ(r.eccentricity, 0.08123456);
    EXPECT_EQ(r.semimajor_axis, 2.75012345);
    // 2008 May 14, 0h (the observation of 2008 May 20 is MJD 54606).
    EXPECT_EQ(epoch_mjd(r), 54600.0);
    EXPECT_EQ(elements_aei(r)(1), 2.75012345);
    EXPECT_EQ(elements_aei(r)(2), 0.08123456);
    EXPECT_EQ(elements_aei(r)(3), 6.5);
    EXPECT_EQ(elements_angles(r)(1), 327.929242);
    EXPECT_EQ(elements_angles(r)(2), 81.329088);
    EXPECT_EQ(elements_angles(r)(3), 299.77838);
}

// Catches a parse that reads beyond column 181 or loses the blanks of an
// unnumbered record: what follows column 181 changes nothing, and a blank
// number stays six blanks.
TEST(AstorbRecord, IgnoresColumnsBeyond181AndKeepsBlankNumbers)
{
    const std::string line =
        astorb_line("", "2008 AB12", 19.92, 0.15, "20080514", 21.629578, 119.000084, 62.176545, 4.0, 0.42, 1.45);
    std::string altered = line;
    for (std::size_t i = 181; i < altered.size(); ++i) {
        altered[i] = '7';
    }
    const AstorbRecord r = parse_astorb_record(line);
    const AstorbRecord s = parse_astorb_record(altered.substr(0, 181));
    const AstorbRecord u = parse_astorb_record(altered);
    EXPECT_STREQ(r.number.data(), "      ");
    EXPECT_STREQ(r.name.data(), " 2008 AB12         ");
    for (const AstorbRecord* other : {&s, &u}) {
        EXPECT_EQ(other->semimajor_axis, r.semimajor_axis);
        EXPECT_EQ(other->eccentricity, r.eccentricity);
        EXPECT_EQ(other->mean_anomaly, r.mean_anomaly);
    }
}

// Catches an evaluation of elements that describe no ellipse (the two-body
// formulas would take square roots of negative numbers or divide by zero) or
// hold a field that is not a number.
TEST(AstorbRecord, TellsElementsThatDescribeAnEllipse)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double e;
        double a;
        double h;
        bool elliptic;
    };
    const Case cases[] = {
        {0.0, 1.0, 15.0, true},   {0.99999, 2.5, 15.0, true}, {1.0, 2.5, 15.0, false},
        {1.5, 2.5, 15.0, false},  {-0.01, 2.5, 15.0, false},  {0.1, 0.0, 15.0, false},
        {0.1, -2.5, 15.0, false}, {nan, 2.5, 15.0, false},    {0.1, inf, 15.0, false},
        {0.1, 2.5, nan, false},
    };
    for (const Case& c : cases) {
        AstorbRecord r = parse_astorb_record(
            astorb_line("     1", "Test", 10.0, 0.15, "20080514", 10.0, 20.0, 30.0, 5.0, 0.1, 2.5));
        r.eccentricity = c.e;
        r.semimajor_axis = c.a;
        r.h = c.h;
        EXPECT_EQ(has_elliptic_elements(r), c.elliptic) << "e = " << c.e << ", a = " << c.a << ", H = " << c.h;
    }
    // Text that is no number reads as it would with atof: "nan" is a NaN.
    std::string line = astorb_line("     1", "Test", 10.0, 0.15, "20080514", 10.0, 20.0, 30.0, 5.0, 0.1, 2.5);
    line.replace(158, 10, "       nan");
    EXPECT_FALSE(has_elliptic_elements(parse_astorb_record(line)));
}

// A NUL byte in the designation columns of a garbled record would cut the
// printed row short and shift every column after it; it reads as a blank.
TEST(AstorbRecord, NulBytesInTheDesignationsReadAsBlanks)
{
    std::string line = astorb_line("  4101", "Testina", 12.91, 0.15, "20080514", 299.77838, 81.329088, 327.929242,
                                   6.0, 0.08, 2.75);
    line[2] = '\0';
    line[9] = '\0';
    const AstorbRecord record = parse_astorb_record(line);
    EXPECT_EQ(std::string(record.number.data()), "   101");
    EXPECT_EQ(std::string(record.name.data()), " Te tina           ");
}
