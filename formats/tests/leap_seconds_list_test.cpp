#include "leap_seconds_list.hpp"

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "leap_seconds_file.hpp"
#include "scratch_directory.hpp"

using namespace fieldsearch;

namespace {

// The whole text of a file; empty when it cannot be read.
std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double utc(int year, int month, int day)
{
    return mjd_from_calendar(day, month, year, 0, 0, 0.0);
}

// A list expiring at NTP time `expiry` with the compiled-in steps, plus `more`.
std::string list_with_compiled_steps(const std::string& expiry, const std::string& more = "")
{
    std::string text = "#\tcomment\n#$\t3960835200\n#@\t" + expiry + "\n";
    for (const LeapSecondStep& s : compiled_leap_second_table().steps) {
        text += std::to_string(static_cast<long long>(s.mjd - 15020.0) * 86400) + "\t" +
                std::to_string(static_cast<int>(s.tt_minus_utc_seconds - 32.184 + 0.5)) + "\t# step\n";
    }
    return text + more;
}

}  // namespace

// The first three lines of the published list (1972 January 1, 1972 July 1,
// 1973 January 1).
const std::string FIRST_STEPS = "2272060800      10      # 1 Jan 1972\n2287785600 11\r\n   2303683200\t12\n";

// Comments, blank lines, the update, expiry and hash lines and a CR LF as the
// published list has them: steps at 0h of their dates (NTP seconds / 86400 +
// 15020), TT - UTC = TAI - UTC + 32.184 s, the expiry 2026 June 28. The
// hash is Python's hashlib SHA-1 of the digits of the update, expiry and data
// lines, written with and without the leading zeros of its words.
TEST(LeapSecondTableFromText, ReadsTheStepsAndTheExpiry)
{
    for (const char* hash : {"#h\t02bb8744 05934785 7040be45 616b5dfe 6348ed4b\n",
                             "#h 2bb8744 5934785 7040be45 616b5dfe 6348ed4b\n", ""}) {
        const LeapSecondListResult list = leap_second_table_from_text(
            "# comment\r\n\n#$\t3960835200\n#@\t3991593600\n" + FIRST_STEPS + hash);
        ASSERT_TRUE(list.table) << list.line << ": " << list.error;
        EXPECT_EQ(list.table->expiry_mjd, utc(2026, 6, 28));
        ASSERT_EQ(list.table->steps.size(), 3u);
        EXPECT_EQ(list.table->steps[1].mjd, utc(1972, 7, 1));
        EXPECT_EQ(tt_from_utc(utc(2026, 12, 7), *list.table).tt_minus_utc_days, 44.184 * DAYS_PER_SECOND);
        EXPECT_EQ(tt_from_utc(utc(1972, 6, 30), *list.table).tt_minus_utc_days, 42.184 * DAYS_PER_SECOND);
    }
}

// A malformed list is refused with the line at fault (0 for the whole text).
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
        {head + std::string("22720608\0" "00 10\n", 15), 3, "NTP seconds and TAI - UTC"},
        {head + "99999999999999999999999 10\n", 3, "NTP seconds and TAI - UTC"},
        {head + "2272060801 10\n", 3, "0h UTC"},
        {head + "2287785600 11\n2272060800 10\n", 4, "not later"},
        {"2272060800 10\n", 0, "no expiry"},
        {"", 0, "no leap-second lines"},
        {"#@ 2272060800\n2272060800 10\n", 0, "expires before"},
        {head + "2272060800 10\n2287785600 110\n", 4, "does not follow 10 s by one leap second"},  // +100 s
        {head + "2272060800 11\n2287785600 10\n", 4, "does not follow 11 s"},                      // a decrease
        {head + "2272060800 10\n2287785600 10\n", 4, "does not follow 10 s"},
        // One digit of the update time changed under a sound hash.
        {"#$\t3960835201\n#@\t3991593600\n" + FIRST_STEPS + "#h 02bb8744 05934785 7040be45 616b5dfe 6348ed4b\n", 6,
         "the hash (#h) does not match"},
        // A step changed.
        {"#$\t3960835200\n#@\t3991593600\n2272060800 10\n2287785600 11\n2303683200 12\n2303683200 13\n"
         "#h 02bb8744 05934785 7040be45 616b5dfe 6348ed4b\n",
         6, "not later"},
        {"#$\t3960835200\n#@\t3991593600\n2272060800 10\n2287785600 11\n2335219200 12\n"
         "#h 02bb8744 05934785 7040be45 616b5dfe 6348ed4b\n",
         6, "the hash (#h) does not match"},
        {head + "2272060800 10\n#h 02bb8744 05934785 7040be45 616b5dfe\n", 4, "five hexadecimal words"},
        {head + "2272060800 10\n#h 102bb8744 05934785 7040be45 616b5dfe 6348ed4b\n", 4, "five hexadecimal words"},
        {head + "2272060800 10\n#h\n", 4, "five hexadecimal words"},
    };
    for (const Case& c : cases) {
        const LeapSecondListResult list = leap_second_table_from_text(c.text);
        EXPECT_FALSE(list.table) << c.text;
        EXPECT_EQ(list.line, c.line) << c.text;
        EXPECT_NE(list.error.find(c.error), std::string::npos) << c.text << " -> " << list.error;
    }
}

// Without a named list the system's is taken only when it can be read, is
// well-formed, keeps every compiled-in step and expires later (2027 December
// 28 is NTP 4038940800; 2028 January 1, 4039286400).
TEST(PreferredLeapSecondTable, TakesTheCandidateOnlyWhenSoundAndNewer)
{
    // The system's list carries a hash of its own, which it must match.
    const std::string system = file_text("/usr/share/zoneinfo/leap-seconds.list");
    if (!system.empty()) {
        const LeapSecondListResult read = leap_second_table_from_text(system);
        EXPECT_TRUE(read.table) << read.line << ": " << read.error;
    }
    const double compiled = compiled_leap_second_table().expiry_mjd;
    const std::string list = list_with_compiled_steps("4038940800");
    const std::string without_2017 = list.substr(0, list.find("3692217600"));
    const std::pair<std::optional<std::string>, double> cases[] = {
        {std::nullopt, compiled},                                          // unreadable
        {list_with_compiled_steps("3991593600"), compiled},                // older
        {list_with_compiled_steps("4023129600"), compiled},                // as old
        {list, utc(2027, 12, 28)},                                         // newer
        {list_with_compiled_steps("4038940800", "4039286400 x\n"), compiled},  // malformed
        {without_2017, compiled},                                          // a step missing
    };
    for (const auto& [candidate, expiry] : cases) {
        EXPECT_EQ(preferred_leap_second_table(candidate, compiled_leap_second_table()).expiry_mjd, expiry)
            << candidate.value_or("(none)");
    }
}

// A named list that cannot be read or is malformed is an error naming the
// file (and the line); without a name an unreadable system list leaves the
// compiled-in table and a newer one is taken.
TEST(LeapSecondTableForRun, LoadsTheNamedListOrChoosesTheSystemOne)
{
    const ScratchDirectory scratch;
    const std::string good = scratch.file("good.list");
    const std::string bad = scratch.file("bad.list");
    const std::string missing = scratch.file("missing.list");
    std::ofstream(good) << list_with_compiled_steps("4038940800");
    std::ofstream(bad) << "#@ 4038940800\n# comment\n2272060800 ten\n";

    EXPECT_EQ(leap_second_table_for_run(good, missing).table->expiry_mjd, utc(2027, 12, 28));
    EXPECT_EQ(leap_second_table_for_run(bad, good).error.rfind(bad + ":3: ", 0), 0u);
    EXPECT_EQ(leap_second_table_for_run(missing, good).error.rfind(missing + ": ", 0), 0u);
    EXPECT_FALSE(leap_second_table_for_run(scratch.path().string(), good).table);  // a directory
    EXPECT_EQ(leap_second_table_for_run(std::nullopt, missing).source, "compiled-in");
    EXPECT_EQ(leap_second_table_for_run(std::nullopt, good).source, good);
}
