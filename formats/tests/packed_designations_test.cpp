#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "packed_designations.hpp"

using namespace fieldsearch;

namespace {

// The examples of the minor planet centre's page on packed designations, both
// ways: a wrong century letter, base-62 digit or cycle split would show.
TEST(PackedDesignations, PackThePublishedExamples)
{
    const struct {
        long number;
        const char* packed;
    } numbers[] = {{3202, "03202"},      {50000, "50000"},      {100345, "A0345"},    {360017, "a0017"},
                   {203289, "K3289"},    {619999, "z9999"},     {620000, "~0000"},    {620061, "~000z"},
                   {3140113, "~AZaz"},   {15396335, "~zzzz"},   {1, "00001"},         {99999, "99999"}};
    for (const auto& n : numbers) {
        EXPECT_EQ(packed_number(n.number).value_or("?"), n.packed) << n.number;
        EXPECT_EQ(unpacked_number(n.packed).value_or(-1), n.number) << n.packed;
    }
    const struct {
        const char* readable;
        const char* packed;
    } provisionals[] = {{"1995 XA", "J95X00A"},    {"1995 XL1", "J95X01L"},   {"1995 FB13", "J95F13B"},
                        {"1998 SQ108", "J98SA8Q"}, {"1998 SV127", "J98SC7V"}, {"1998 SS162", "J98SG2S"},
                        {"2099 AZ193", "K99AJ3Z"}, {"2008 AA360", "K08Aa0A"}, {"2007 TA418", "K07Tf8A"},
                        {"2040 P-L", "PLS2040"},   {"3138 T-1", "T1S3138"},   {"1010 T-2", "T2S1010"},
                        {"4101 T-3", "T3S4101"},   {"1899 YZ619", "I99Yz9Z"}};
    for (const auto& p : provisionals) {
        EXPECT_EQ(packed_provisional(p.readable).value_or("?"), p.packed) << p.readable;
        EXPECT_EQ(unpacked_provisional(p.packed).value_or("?"), p.readable) << p.packed;
    }
}

// Packing then unpacking gives the number back over every range of the
// packed form (plain digits, a letter prefix, "~" base 62) and its edges; a
// carry lost between the prefix and the four digits would break the chain.
TEST(PackedDesignations, NumbersRoundTripOverEveryForm)
{
    long failures = 0;
    auto check = [&](long number) {
        const std::optional<std::string> packed = packed_number(number);
        if (!packed || packed->size() != 5 || unpacked_number(*packed).value_or(-1) != number) {
            ++failures;
        }
    };
    for (long number = 1; number <= 700000; ++number) {
        check(number);
    }
    for (long number = 700000; number <= 15396335; number += 997) {
        check(number);
    }
    check(15396335);
    EXPECT_EQ(failures, 0);
    // Outside the packed form's reach there is no packed form.
    for (const long number : {0L, -1L, 15396336L, 100000000L}) {
        EXPECT_FALSE(packed_number(number).has_value()) << number;
    }
}

// Every half-month, every order letter and every cycle from 0 to 619, in
// three centuries, round trip; the letters I are never used, and texts that
// are no provisional designation have no packed form.
TEST(PackedDesignations, ProvisionalsRoundTripOverEveryForm)
{
    long failures = 0;
    long checked = 0;
    for (const int year : {1899, 1995, 2007, 2104}) {
        for (char half_month = 'A'; half_month <= 'Y'; ++half_month) {
            for (char order = 'A'; order <= 'Z'; ++order) {
                if (half_month == 'I' || order == 'I') {
                    continue;
                }
                for (int cycle = 0; cycle <= 619; cycle += (half_month == 'A' ? 1 : 37)) {
                    std::string readable = std::to_string(year) + ' ' + half_month + order;
                    if (cycle > 0) {
                        readable += std::to_string(cycle);
                    }
                    const std::optional<std::string> packed = packed_provisional(readable);
                    ++checked;
                    if (!packed || packed->size() != 7 || unpacked_provisional(*packed).value_or("") != readable) {
                        ++failures;
                    }
                }
            }
        }
    }
    EXPECT_GT(checked, 50000);
    EXPECT_EQ(failures, 0);
    for (int survey = 1; survey <= 9999; ++survey) {
        for (const char* kind : {"P-L", "T-1", "T-2", "T-3"}) {
            const std::string readable = std::to_string(survey) + ' ' + kind;
            const std::optional<std::string> packed = packed_provisional(readable);
            if (!packed || unpacked_provisional(*packed).value_or("") != readable) {
                ++failures;
            }
        }
    }
    EXPECT_EQ(failures, 0);
    for (const char* text : {"", "1995", "1995 ", "1995 IA", "1995 AI", "1995 ZA", "1995 XL0", "1995 XL01",
                             "1995 XL620", "95 XL1", " 1995 XL1", "1995 XL1 ", "0999 AA", "2200 AA", "2040 P-K",
                             "0 P-L", "12345 P-L", "1995 xl1"}) {
        EXPECT_FALSE(packed_provisional(text).has_value()) << '"' << text << '"';
    }
}

// Dates both ways: the published examples, then every day from 1900 to
// 2099 (a month or day digit past 9, or a century letter, off by one would
// show); years without a century letter have no packed form.
TEST(PackedDesignations, DatesRoundTrip)
{
    const struct {
        CalendarDate date;
        const char* packed;
    } examples[] = {{{1996, 1, 1}, "J9611"},  {{1996, 1, 10}, "J961A"}, {{1996, 9, 30}, "J969U"},
                    {{1996, 10, 1}, "J96A1"}, {{2001, 10, 22}, "K01AM"}, {{2008, 5, 14}, "K085E"}};
    for (const auto& e : examples) {
        EXPECT_EQ(packed_date(e.date).value_or("?"), e.packed) << e.packed;
    }
    long failures = 0;
    for (double mjd = 15020.0; mjd < 88069.0; mjd += 1.0) {
        const CalendarDate date = calendar_date_from_mjd(mjd);
        const std::optional<std::string> packed = packed_date(date);
        const std::optional<CalendarDate> back = unpacked_date(packed.value_or(""));
        failures += back && back->year == date.year && back->month == date.month && back->day == date.day ? 0 : 1;
    }
    EXPECT_EQ(failures, 0);
    for (const CalendarDate date : {CalendarDate{999, 1, 1}, CalendarDate{2200, 1, 1}, CalendarDate{2000, 13, 1},
                                    CalendarDate{2000, 1, 0}, CalendarDate{2000, 1, 32}}) {
        EXPECT_FALSE(packed_date(date).has_value()) << date.year << "-" << date.month << "-" << date.day;
    }
}

}  // namespace
