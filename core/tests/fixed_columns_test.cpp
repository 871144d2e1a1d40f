#include "fixed_columns.hpp"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

// Column slices are 1-based and inclusive, and never reach past the line.
TEST(FixedColumns, SlicesColumnsWithinTheLine)
{
    const std::string line = "1 25544U 98067A";
    EXPECT_EQ(columns(line, 3, 8), "25544U");
    EXPECT_EQ(columns(line, 10, 15), "98067A");
    EXPECT_EQ(columns(line, 14, 20), "7A");
    EXPECT_EQ(columns(line, 16, 20), "");
    EXPECT_EQ(columns(line, 40, 45), "");
}

// The conversions behave as atof and atoi: leading blanks skipped, the
// longest valid prefix taken, nothing valid gives 0, a NUL ends the text.
TEST(FixedColumns, ConvertsAsTheCLibraryDoes)
{
    struct Case {
        std::string text;
        double value;
    };
    const Case decimals[] = {
        {"   2.7652", 2.7652},  {" .00002182", 2.182e-5}, {"-.00002182", -2.182e-5}, {"0.0006703", 0.0006703},
        {"0. 006703", 0.0},     {"      ", 0.0},           {"abc", 0.0},              {"12.5xyz", 12.5},
        {"1e3", 1000.0},        {"+4.5", 4.5},             {std::string("7.5\0" "9", 5), 7.5},
    };
    for (const Case& c : decimals) {
        EXPECT_EQ(decimal_from_text(c.text), c.value) << c.text;
    }
    EXPECT_TRUE(std::isnan(decimal_from_text(" nan")));

    EXPECT_EQ(integer_from_text("2008"), 2008);
    EXPECT_EQ(integer_from_text("05"), 5);
    EXPECT_EQ(integer_from_text(" 08"), 8);
    EXPECT_EQ(integer_from_text("-12x"), -12);
    EXPECT_EQ(integer_from_text("  "), 0);
    EXPECT_EQ(integer_from_text("99999999999999"), 2147483647);
}
