#include "fixed_columns.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace fieldsearch;

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

// The fast conversion must give strtod's value bit for bit on every kind of
// text a catalogue field can hold, well-formed or not.
TEST(FixedColumns, DecimalConversionAgreesWithStrtodBitForBit)
{
    const char alphabet[] = "0123456789.-+eE x\tna";
    std::uint64_t state = 12345;
    auto next = [&state]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    };
    std::vector<std::string> texts = {".5", "-.5", "-0", "1e400", "-1e-400", "4.9e-324", "0x1A", "-0X10", "+-1",
                                      "--1", "-inf", " nan", "1.", "1e", "1e+", "00012.50", "\t-3.25e-2"};
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        const unsigned length = next() % 14;
        for (unsigned k = 0; k < length; ++k) {
            text += alphabet[next() % (sizeof alphabet - 1)];
        }
        texts.push_back(text);
        // Plain numbers of catalogue shape, with many digits.
        texts.push_back(std::to_string(next() % 400) + "." + std::to_string(next()) + std::to_string(next() % 1000));
    }
    for (const std::string& text : texts) {
        const double expected = std::strtod(text.c_str(), nullptr);
        const double got = decimal_from_text(text);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << text;
        } else {
            ASSERT_EQ(std::signbit(got), std::signbit(expected)) << text;
            ASSERT_EQ(got, expected) << "'" << text << "'";
        }
    }
}

// The integer conversion agrees with strtol clamped to int on texts of every
// shape: signs, blanks, leading zeros, overflow, garbage after the digits.
TEST(FixedColumns, IntegerConversionAgreesWithStrtol)
{
    const char alphabet[] = "0123456789-+ x\t";
    std::uint64_t state = 987;
    auto next = [&state]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    };
    std::vector<std::string> texts = {"2147483647", "2147483648", "-2147483648", "-2147483649", "99999999999999999999",
                                      "+12", "-+1", " \t 07", "0008"};
    for (int i = 0; i < 100000; ++i) {
        std::string text;
        const unsigned length = next() % 16;
        for (unsigned k = 0; k < length; ++k) {
            text += alphabet[next() % (sizeof alphabet - 1)];
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        const long expected = std::strtol(text.c_str(), nullptr, 10);
        const long clamped = expected > 2147483647L ? 2147483647L : (expected < -2147483648L ? -2147483648L : expected);
        ASSERT_EQ(integer_from_text(text), clamped) << "'" << text << "'";
    }
}

// The fixed-point conversion reads sixteen bytes at once; it must give
// decimal_field's value bit for bit whatever the columns hold, whatever
// stands before them on the line, and wherever the point actually is.
TEST(FixedColumns, FixedPointConversionAgreesWithTheGeneralOne)
{
    const char alphabet[] = "0123456789 . -+eEx\t";
    std::uint64_t state = 20080520;
    auto next = [&state]() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33);
    };
    int fast_shapes = 0;
    for (int i = 0; i < 300000; ++i) {
        const int width = 2 + static_cast<int>(next() % 15);
        const int fraction_digits = static_cast<int>(next() % 10);
        std::string field;
        if (i % 2 == 0) {
            // Catalogue shape: right-aligned digits with the point in place.
            const int integer_digits = static_cast<int>(next() % static_cast<unsigned>(width));
            field.assign(static_cast<std::size_t>(width), ' ');
            for (int k = 0; k < width; ++k) {
                const int from_end = width - 1 - k;
                if (from_end < fraction_digits || (from_end > fraction_digits && from_end <= fraction_digits + integer_digits)) {
                    field[static_cast<std::size_t>(k)] = static_cast<char>('0' + next() % 10);
                } else if (from_end == fraction_digits) {
                    field[static_cast<std::size_t>(k)] = '.';
                }
            }
            if (next() % 8 == 0) {
                field[next() % static_cast<unsigned>(width)] = alphabet[next() % (sizeof alphabet - 1)];
            }
        } else {
            for (int k = 0; k < width; ++k) {
                field += alphabet[next() % (sizeof alphabet - 1)];
            }
        }
        const std::string before(static_cast<std::size_t>(next() % 20), static_cast<char>('0' + next() % 10));
        const std::string line = before + field + (next() % 2 == 0 ? "" : "98765");
        const int first = static_cast<int>(before.size()) + 1;
        const int last = first + width - 1;
        const double expected = decimal_field(line, first, last);
        const double got = fixed_point_field(line, first, last, fraction_digits);
        ASSERT_EQ(std::signbit(got), std::signbit(expected)) << "'" << line << "'";
        ASSERT_TRUE(got == expected || (std::isnan(got) && std::isnan(expected))) << "'" << line << "' " << got;
        fast_shapes += (last >= 16 && field.find_first_not_of(" 0123456789.") == std::string::npos) ? 1 : 0;
    }
    EXPECT_GT(fast_shapes, 50000);
}
