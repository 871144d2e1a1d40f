#include "leap_seconds_list.hpp"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "leap_seconds_file.hpp"
#include "scratch_directory.hpp"

namespace {

// The steps of the published list (NTP seconds, TAI - UTC), 1972 to 2017.
const std::string PUBLISHED_STEPS =
    "2272060800\t10\t# 1 Jan 1972\n2287785600\t11\t# 1 Jul 1972\n2303683200\t12\t# 1 Jan 1973\n"
    "2335219200\t13\t# 1 Jan 1974\n2366755200\t14\t# 1 Jan 1975\n2398291200\t15\t# 1 Jan 1976\n"
    "2429913600\t16\t# 1 Jan 1977\n2461449600\t17\t# 1 Jan 1978\n2492985600\t18\t# 1 Jan 1979\n"
    "2524521600\t19\t# 1 Jan 1980\n2571782400\t20\t# 1 Jul 1981\n2603318400\t21\t# 1 Jul 1982\n"
    "2634854400\t22\t# 1 Jul 1983\n2698012800\t23\t# 1 Jul 1985\n2776982400\t24\t# 1 Jan 1988\n"
    "2840140800\t25\t# 1 Jan 1990\n2871676800\t26\t# 1 Jan 1991\n2918937600\t27\t# 1 Jul 1992\n"
    "2950473600\t28\t# 1 Jul 1993\n2982009600\t29\t# 1 Jul 1994\n3029443200\t30\t# 1 Jan 1996\n"
    "3076704000\t31\t# 1 Jul 1997\n3124137600\t32\t# 1 Jan 1999\n3345062400\t33\t# 1 Jan 2006\n"
    "3439756800\t34\t# 1 Jan 2009\n3550089600\t35\t# 1 Jul 2012\n3644697600\t36\t# 1 Jul 2015\n"
    "3692217600\t37\t# 1 Jan 2017\n";

// A whole list in the published layout expiring at NTP time `expiry`.
std::string published_list(const std::string& expiry, const std::string& steps = PUBLISHED_STEPS)
{
    return "#\tATOMIC TIME\n#\n#$\t3960835200\n#\n#\tFile expires on ...\n#@\t" + expiry + "\n#\n" + steps +
           "#\n#h\t49db2447 571e5e1b 2f002a53 9c8da8e4 39b8e49e\n";
}

double utc(int year, int month, int day)
{
    return mjd_from_calendar(day, month, year, 0, 0, 0.0);
}

}  // namespace

// A list with comments, blank lines, the update, expiry and hash lines and a
// CR LF: every step is read at 0h of its date, TT - UTC = TAI - UTC + 32.184 s,
// and the expiry (NTP 3991593600) is 2026 June 28.
TEST(LeapSecondTableFromText, ReadsTheStepsAndTheExpiry)
{
    const std::string text = "# comment\r\n\n   \n#$\t3960835200\n#@\t3991593600\n"
                             "2272060800      10      # 1 Jan 1972\n"
                             "3439756800 34\r\n"
                             "   3692217600\t37\n#h\t0 0 0 0 0";
    const LeapSecondListResult list = leap_second_table_from_text(text);
    ASSERT_TRUE(list.table) << list.line << ": " << list.error;
    const LeapSecondTable& t = *list.table;
    EXPECT_EQ(t.expiry_mjd, utc(2026, 6, 28));
    ASSERT_EQ(t.steps.size(), 3u);
    EXPECT_EQ(t.steps[0].mjd, utc(1972, 1, 1));
    EXPECT_EQ(t.steps[1].mjd, utc(2009, 1, 1));
    EXPECT_EQ(t.steps[2].mjd, utc(2017, 1, 1));
    EXPECT_EQ(tt_from_utc(utc(2026, 12, 7), t).tt_minus_utc_days, 69.184 * DAYS_PER_SECOND);
    EXPECT_EQ(tt_from_utc(utc(2008, 12, 31), t).tt_minus_utc_days, 42.184 * DAYS_PER_SECOND);

    // The whole published list gives the compiled-in steps exactly.
    const LeapSecondListResult whole = leap_second_table_from_text(published_list("4023129600"));
    ASSERT_TRUE(whole.table) << whole.line << ": " << whole.error;
    ASSERT_EQ(whole.table->steps.size(), compiled_leap_second_table().steps.size());
    for (std::size_t i = 0; i < whole.table->steps.size(); ++i) {
        EXPECT_EQ(whole.table->steps[i].mjd, compiled_leap_second_table().steps[i].mjd) << i;
        EXPECT_EQ(whole.table->steps[i].tt_minus_utc_seconds, compiled_leap_second_table().steps[i].tt_minus_utc_seconds)
            << i;
    }
    EXPECT_EQ(whole.table->expiry_mjd, compiled_leap_second_table().expiry_mjd);
}

// A malformed list is refused with the line at fault (0 for the text as a whole).
TEST(LeapSecondTableFromText, RefusesMalformedListsNamingTheLine)
{
    struct Case {
        std::string text;
        long line;
        const char* error;  // part of the message
    };
    const std::string head = "#@\t3991593600\n# comment\n";
    const Case cases[] = {
        {head + "2272060800 10\n2287785600 eleven\n", 4, "NTP seconds and TAI - UTC"},
        {head + "2272060800 10 11\n", 3, "NTP seconds and TAI - UTC"},
        {head + "2272060800\n", 3, "NTP seconds and TAI - UTC"},
        {head + "-2272060800 10\n", 3, "NTP seconds and TAI - UTC"},
        {head + std::string("22720608\0" "00 10\n", 15), 3, "NTP seconds and TAI - UTC"},
        {head + "99999999999999999999999 10\n", 3, "NTP seconds and TAI - UTC"},
        {head + "2272060801 10\n", 3, "0h UTC"},
        {head + "2287785600 11\n2272060800 10\n", 4, "not later"},
        {head + "2272060800 10\n#@ 3991593600\n", 4, "second expiry"},
        {"#@ soon\n2272060800 10\n", 1, "expiry line"},
        {"#$\n#@ 3991593600\n2272060800 10\n", 1, "last-update"},
        {"2272060800 10\n", 0, "no expiry"},
        {head, 0, "no leap-second lines"},
        {"", 0, "no leap-second lines"},
        {"#@ 2272060800\n2272060800 10\n", 0, "expires before"},
    };
    for (const Case& c : cases) {
        const LeapSecondListResult list = leap_second_table_from_text(c.text);
        EXPECT_FALSE(list.table) << c.text;
        EXPECT_EQ(list.line, c.line) << c.text;
        EXPECT_NE(list.error.find(c.error), std::string::npos) << c.text << " -> " << list.error;
    }
}

// Without a named list the system's is taken only when it can be read, is
// well-formed, keeps every compiled-in step and expires later.
TEST(PreferredLeapSecondTable, TakesTheCandidateOnlyWhenSoundAndNewer)
{
    const LeapSecondTable& compiled = compiled_leap_second_table();
    const double later = utc(2027, 12, 28);  // NTP 4038940800
    struct Case {
        const char* name;
        std::optional<std::string> candidate;
        double expected_expiry;
    };
    const Case cases[] = {
        {"unreadable", std::nullopt, compiled.expiry_mjd},
        {"older", published_list("3991593600"), compiled.expiry_mjd},
        {"as old", published_list("4023129600"), compiled.expiry_mjd},
        {"newer", published_list("4038940800"), later},
        {"newer with a step to come", published_list("4054752000", PUBLISHED_STEPS + "4039286400 38\n"),
         utc(2028, 6, 28)},
        {"newer, malformed", published_list("4038940800", PUBLISHED_STEPS + "4039286400 thirty-eight\n"),
         compiled.expiry_mjd},
        {"newer, 2017 step missing", published_list("4038940800", PUBLISHED_STEPS.substr(0, 27 * 27)),
         compiled.expiry_mjd},
    };
    for (const Case& c : cases) {
        const LeapSecondTable t = preferred_leap_second_table(c.candidate, compiled);
        EXPECT_EQ(t.expiry_mjd, c.expected_expiry) << c.name;
        EXPECT_EQ(tt_from_utc(utc(2026, 12, 7), t).tt_minus_utc_days, 69.184 * DAYS_PER_SECOND) << c.name;
    }
}

// A named list that cannot be read or is malformed is an error naming the
// file (and the line); without a name an unreadable system list leaves the
// compiled-in table and a newer one is taken.
TEST(LeapSecondTableForRun, LoadsTheNamedListOrChoosesTheSystemOne)
{
    const ScratchDirectory scratch;
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(scratch.file(name), std::ios::binary) << text;
        return scratch.file(name);
    };
    const std::string good = write("good.list", published_list("4038940800"));
    const std::string bad = write("bad.list", "#@ 4038940800\n# comment\n2272060800 ten\n");
    const std::string missing = scratch.file("missing.list");

    LeapSecondTableLoad load = leap_second_table_for_run(good, missing);
    ASSERT_TRUE(load.table) << load.error;
    EXPECT_EQ(load.table->expiry_mjd, utc(2027, 12, 28));
    EXPECT_EQ(load.source, good);

    load = leap_second_table_for_run(bad, good);
    EXPECT_FALSE(load.table);
    EXPECT_EQ(load.error.rfind(bad + ":3: ", 0), 0u) << load.error;

    load = leap_second_table_for_run(missing, good);
    EXPECT_FALSE(load.table);
    EXPECT_EQ(load.error.rfind(missing + ": ", 0), 0u) << load.error;
    load = leap_second_table_for_run(scratch.path().string(), good);  // a directory
    EXPECT_FALSE(load.table) << load.source;

    load = leap_second_table_for_run(std::nullopt, missing);
    ASSERT_TRUE(load.table);
    EXPECT_EQ(load.table->expiry_mjd, compiled_leap_second_table().expiry_mjd);
    EXPECT_EQ(load.source, "compiled-in");
    load = leap_second_table_for_run(std::nullopt, good);
    ASSERT_TRUE(load.table);
    EXPECT_EQ(load.source, good);

    // The list tzdata installs, when there is one, reads as a named list.
    if (std::ifstream(SYSTEM_LEAP_SECONDS_LIST)) {
        load = leap_second_table_for_run(SYSTEM_LEAP_SECONDS_LIST, missing);
        ASSERT_TRUE(load.table) << load.error;
        EXPECT_EQ(load.table->steps.back().mjd, utc(2017, 1, 1));
        EXPECT_EQ(load.table->steps.back().tt_minus_utc_seconds, 69.184);
    }
}
