#include "text_values.hpp"

#include <cmath>
#include <optional>
#include <string_view>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Numbers fill their whole text: trailing characters, a doubled sign,
// blanks and non-finite values are refused rather than read in part.
TEST(TextValues, NumbersFillTheirWholeText)
{
    const struct { std::string_view text; std::optional<double> value; } cases[] = {
        {"42", 42.0}, {"-0.5", -0.5}, {"+7", 7.0}, {"1e3", 1000.0}, {"", std::nullopt}, {"+", std::nullopt},
        {"+-1", std::nullopt}, {"1.5x", std::nullopt}, {" 1", std::nullopt}, {"inf", std::nullopt},
        {"nan", std::nullopt}, {"1e400", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(number_from_text(c.text), c.value) << c.text;
    }
}

// Instants exist in the calendar: the leap day of 2000 and 2024 but not of
// 1900 or 2100's neighbour 2099, the bounds of the years, the fraction of
// the second and the trailing Z.
TEST(TextValues, InstantsMustExistInTheCalendar)
{
    struct Case {
        std::string_view text;
        bool valid;
    };
    const Case cases[] = {
        {"2008-05-20T05:14:00", true}, {"2008-05-20T05:14:00.250Z", true}, {"2000-02-29T00:00:00", true},
        {"2024-02-29T23:59:59.999", true}, {"1900-02-29T00:00:00", false}, {"2099-02-29T00:00:00", false},
        {"1899-12-31T23:59:59", false}, {"2100-01-01T00:00:00", false}, {"2008-13-01T00:00:00", false},
        {"2008-04-31T00:00:00", false}, {"2008-05-20T24:00:00", false}, {"2008-05-20T05:60:00", false},
        {"2008-05-20T05:14:60", false}, {"2008-05-20 05:14:00", false}, {"2008-05-20T05:14:00.", false},
        {"2008-05-20T05:14", false}, {"08-05-20T05:14:00", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(instant_from_text(c.text).has_value(), c.valid) << c.text;
    }
    const CalendarInstant i = *instant_from_text("2008-05-20T05:14:03.5Z");
    EXPECT_EQ(i.year, 2008);
    EXPECT_EQ(i.month, 5);
    EXPECT_EQ(i.day, 20);
    EXPECT_EQ(i.hour, 5);
    EXPECT_EQ(i.minute, 14);
    EXPECT_EQ(i.second, 3.5);
}

// Sexagesimal angles with colons or blanks, a sign only where a sign is
// allowed, a fraction only in the last part, minutes and seconds below 60.
TEST(TextValues, SexagesimalAnglesAndDegrees)
{
    const struct { std::string_view text; std::optional<double> degrees; } cases[] = {
        {"43.7417", 43.7417},
        {"+43:44:30", 43.0 + (44.0 + 30.0 / 60.0) / 60.0},
        {"-43 44 30.5", -(43.0 + (44.0 + 30.5 / 60.0) / 60.0)},
        {"  12  30  ", 12.5},
        {"-0:30", -0.5},
        {"10:60", std::nullopt},
        {"10:30:60", std::nullopt},
        {"10.5:30", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"++1", std::nullopt},
        {"1:", std::nullopt},
        {"", std::nullopt},
        {"1:x", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<double> d = degrees_from_text(c.text);
        ASSERT_EQ(d.has_value(), c.degrees.has_value()) << c.text;
        if (d) {
            EXPECT_DOUBLE_EQ(*d, *c.degrees) << c.text;
        }
    }
    const SexagesimalValue v = *sexagesimal_from_text("11:28:05.25");
    EXPECT_EQ(v.parts, 3);
    EXPECT_TRUE(v.whole_is_integer);
    EXPECT_EQ(v.whole, 11.0);
    EXPECT_EQ(v.minutes, 28.0);
    EXPECT_EQ(v.seconds, 5.25);
    EXPECT_FALSE(sexagesimal_from_text("1234:00")->whole_is_integer);
}
