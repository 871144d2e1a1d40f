// A catalogue holding a history of element sets per satellite, searched as
// an observer searches it: every field lists what the catalogue of each
// satellite's set nearest the field's instant lists alone.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

ProgramRun run(const ScratchDirectory& scratch, const std::string& arguments)
{
    return run_program(scratch.path().string() + "/", SAMPLE_DATA_DIR, SATFIELD_PROGRAM_PATH, arguments);
}

// One three-line element set.
struct ElementSet {
    std::string name;
    std::string line1;
    std::string line2;
};

std::vector<ElementSet> sample_sets()
{
    const std::vector<std::string> lines = lines_of(file_contents(std::string(SAMPLE_DATA_DIR) + "/080520ls.tle"));
    std::vector<ElementSet> sets;
    for (std::size_t i = 0; i + 2 < lines.size(); i += 3) {
        sets.push_back({lines[i], lines[i + 1], lines[i + 2]});
    }
    return sets;
}

// The checksum of an element line: its digits of columns 1-68 added, a
// minus sign as 1, modulo 10.
char checksum_of(const std::string& line)
{
    int sum = 0;
    for (std::size_t i = 0; i < 68; ++i) {
        if (line[i] >= '0' && line[i] <= '9') {
            sum += line[i] - '0';
        } else if (line[i] == '-') {
            ++sum;
        }
    }
    return static_cast<char>('0' + sum % 10);
}

// The set `days` later (earlier when negative) along the same orbit: the
// epoch moved and the mean anomaly carried on by the mean motion, every
// other element kept. The sample's epochs are all in 2008 and far from its
// ends, so the year stays.
ElementSet shifted_set(const ElementSet& set, double days)
{
    ElementSet shifted = set;
    const double day = std::stod(set.line1.substr(20, 12)) + days;
    char epoch[16];
    std::snprintf(epoch, sizeof epoch, "%012.8f", day);
    shifted.line1.replace(20, 12, epoch);
    shifted.line1[68] = checksum_of(shifted.line1);
    const double mean_motion = std::stod(set.line2.substr(52, 11));
    const double anomaly = std::fmod(std::stod(set.line2.substr(43, 8)) + 360.0 * std::fmod(mean_motion * days, 1.0) +
                                         720.0,
                                     360.0);
    char text[16];
    std::snprintf(text, sizeof text, "%8.4f", anomaly);
    shifted.line2.replace(43, 8, text);
    shifted.line2[68] = checksum_of(shifted.line2);
    return shifted;
}

// The history: the sample's sets, each followed by the set 12 days on; the
// sets 40 days before at the front of the file and those 35 days on at its
// end. Every fifth satellite keeps its one set. The sample's epochs lie
// within 4 days before 2008 May 20, 20:54 UTC, so at that instant shifted by
// 0, +12, +35 or -40 days the set shifted as much is its satellite's nearest
// by 8 days or more.
struct HistorySet {
    ElementSet set;
    std::size_t satellite;  // its index in the sample
    int offset_days;
};

bool has_history(std::size_t satellite)
{
    return satellite % 5 != 2;
}

std::vector<HistorySet> history_sets()
{
    const std::vector<ElementSet> sample = sample_sets();
    std::vector<HistorySet> history;
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (has_history(i)) {
            history.push_back({shifted_set(sample[i], -40.0), i, -40});
        }
    }
    for (std::size_t i = 0; i < sample.size(); ++i) {
        history.push_back({sample[i], i, 0});
        if (has_history(i)) {
            history.push_back({shifted_set(sample[i], 12.0), i, 12});
        }
    }
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (has_history(i)) {
            history.push_back({shifted_set(sample[i], 35.0), i, 35});
        }
    }
    return history;
}

// The sets of the history for the instant `offset_days` from the sample's
// own: its shifted sets where it has them, its one set otherwise, in the
// history's order; or, with `superseded`, all the others.
std::string catalogue_text(const std::vector<HistorySet>& history, int offset_days, bool superseded = false)
{
    std::string text;
    for (const HistorySet& h : history) {
        const bool nearest = has_history(h.satellite) ? h.offset_days == offset_days : h.offset_days == 0;
        if (nearest != superseded) {
            text += h.set.name + "\n" + h.set.line1 + "\n" + h.set.line2 + "\n";
        }
    }
    return text;
}

// The whole history, in its order.
std::string history_text(const std::vector<HistorySet>& history)
{
    std::string text;
    for (const HistorySet& h : history) {
        text += h.set.name + "\n" + h.set.line1 + "\n" + h.set.line2 + "\n";
    }
    return text;
}

std::string written(const ScratchDirectory& scratch, const std::string& name, const std::string& text)
{
    const std::string path = scratch.file(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The instant of the sample shifted by 0, 12, 35 or -40 days.
std::string instant(int offset_days)
{
    switch (offset_days) {
    case 12: return "2008-06-01T20:54:00";
    case 35: return "2008-06-24T20:54:00";
    case -40: return "2008-04-10T20:54:00";
    default: return "2008-05-20T20:54:00";
    }
}

// The report with each count line cut after its rows found (the sets read
// differ between a history and its nearest sets).
std::string without_sets_read(const std::string& report)
{
    std::string out;
    for (const std::string& line : lines_of(report)) {
        out += line.rfind(" number of objects", 0) == 0 ? line.substr(0, 27) : line;
        out += "\n";
    }
    return out;
}

std::size_t row_count(const std::string& report)
{
    std::size_t rows = 0;
    for (const std::string& line : lines_of(report)) {
        rows += !line.empty() && line[0] == '|';
    }
    return rows;
}

struct Search {
    const char* what;
    int offset_days;
    std::string options;
};

}  // namespace

// A single field and an exposure at each of the history's instants, as text,
// CSV (whose ages name the set used) and JSON, on one and two threads: the
// rows of the history are those of its nearest sets alone, and the count
// line notes the superseded sets; the messages and the region file are
// those of the nearest sets. The superseded sets alone would list other
// rows, so a wrong choice shows.
TEST(HistoryRuns, AFieldOrAnExposureListsWhatItsNearestSetsList)
{
    const ScratchDirectory scratch;
    const std::vector<HistorySet> history = history_sets();
    const std::string history_path = written(scratch, "history.tle", history_text(history));
    const std::size_t sets = history.size();
    const std::size_t satellites = sample_sets().size();
    ASSERT_EQ(sets, 400u + 3u * 320u);

    const Search searches[] = {
        {"the sample field", 0, ""},
        {"a wide field 12 days on", 12, "--side 3000"},
        {"a wide field 35 days on", 35, "--side 3000 --centre 200.0 -10.0"},
        {"a wide field 40 days before", -40, "--side 3000 --centre 150.0 20.0"},
        {"an exposure of 5 minutes 12 days on", 12, "--side 1200 --exposure 300"},
        {"an exposure 35 days on, lit satellites only", 35, "--side 3000 --exposure 120 --sunlit-only"},
        {"the sample frame 12 days on", 12, "--image satfield-frame.fits"},
    };
    std::size_t superseded_rows = 0;
    for (const Search& s : searches) {
        const std::string nearest = written(scratch, "nearest.tle", catalogue_text(history, s.offset_days));
        const std::string others = written(scratch, "others.tle", catalogue_text(history, s.offset_days, true));
        const std::string options = "--time " + instant(s.offset_days) + " " + s.options;
        const std::string alone_regions = scratch.file("alone.reg");
        const ProgramRun alone =
            run(scratch, options + " --regions '" + alone_regions + "' --catalogue '" + nearest + "'");
        ASSERT_EQ(alone.status, 0) << s.what << alone.err;
        superseded_rows += row_count(run(scratch, options + " --catalogue '" + others + "'").out);
        for (const char* threads : {"1", "2"}) {
            const std::string on_history = options + " --threads " + threads + " --catalogue '" + history_path + "'";
            const std::string regions = scratch.file("history.reg");
            const ProgramRun text = run(scratch, on_history + " --regions '" + regions + "'");
            EXPECT_EQ(text.status, 0) << s.what;
            EXPECT_EQ(without_sets_read(text.out), without_sets_read(alone.out)) << s.what;
            // The warning of stale elements counts the rows printed, and the
            // region file marks them.
            EXPECT_EQ(text.err, alone.err) << s.what;
            EXPECT_EQ(file_contents(regions), file_contents(alone_regions)) << s.what;
            char count[120];
            std::snprintf(count, sizeof count, " number of objects %8zu  from  %8zu  in list  (%zu superseded sets)\n",
                          row_count(alone.out), sets, sets - satellites);
            EXPECT_EQ(text.out.substr(text.out.rfind(" number of objects")), count) << s.what;
            for (const char* format : {"csv", "json"}) {
                const std::string as = std::string(" --format ") + format;
                std::string expected = run(scratch, options + as + " --catalogue '" + nearest + "'").out;
                const ProgramRun got = run(scratch, on_history + as);
                if (std::string(format) == "json") {
                    const std::size_t named = expected.find(nearest);
                    ASSERT_NE(named, std::string::npos);
                    expected.replace(named, nearest.size(), history_path);
                    const std::string read = "\"records_read\": ";
                    const std::size_t at = expected.find(read);
                    ASSERT_NE(at, std::string::npos);
                    expected.replace(at, expected.find('\n', at) - at,
                                     read + std::to_string(sets) + ",\n \"superseded_sets\": " +
                                         std::to_string(sets - satellites) + ",");
                }
                EXPECT_EQ(got.out, expected) << s.what << " as " << format;
            }
        }
        if (s.offset_days == 0 && s.options.empty()) {
            // The nearest sets of the sample's instant are the sample itself.
            EXPECT_EQ(alone.out, run(scratch, "").out);
            EXPECT_EQ(row_count(alone.out), 8u);
        }
    }
    EXPECT_GT(superseded_rows, 10u) << "the superseded sets should place satellites in the fields";
}

// A night of fields at the history's four instants, some sharing one, in one
// run on the history: each field's rows are those of a run on that field
// alone on its instant's nearest sets.
TEST(HistoryRuns, ANightOfFieldsListsEachFieldsNearestSets)
{
    const ScratchDirectory scratch;
    const std::vector<HistorySet> history = history_sets();
    const std::string history_path = written(scratch, "history.tle", history_text(history));
    struct Field {
        const char* id;
        int offset_days;
        const char* ra_deg;
        const char* dec_deg;
        const char* side_arcmin;
    };
    const Field fields[] = {
        {"sample", 0, "172.0", "1.2666666666666666", "300"},   {"wide", 0, "100.0", "0.0", "3000"},
        {"later", 12, "172.0", "1.2666666666666666", "3000"}, {"later east", 12, "250.0", "-20.0", "3000"},
        {"much later", 35, "200.0", "-10.0", "3000"},          {"before", -40, "150.0", "20.0", "3000"},
    };
    std::string list = "id,time,ra_deg,dec_deg,side_arcmin\n";
    std::string expected_text;
    std::string expected_csv;
    std::size_t rows = 0;
    for (const Field& f : fields) {
        list += std::string(f.id) + "," + instant(f.offset_days) + "," + f.ra_deg + "," + f.dec_deg + "," +
                f.side_arcmin + "\n";
        const std::string nearest = written(scratch, "nearest.tle", catalogue_text(history, f.offset_days));
        const std::string options = "--time " + instant(f.offset_days) + " --centre " + f.ra_deg + " " + f.dec_deg +
                                    " --side " + f.side_arcmin + " --catalogue '" + nearest + "'";
        const ProgramRun alone = run(scratch, options);
        ASSERT_EQ(alone.status, 0) << alone.err;
        expected_text += without_sets_read(alone.out);
        rows += row_count(alone.out);
        const std::vector<std::string> csv = lines_of(run(scratch, options + " --format csv").out);
        ASSERT_FALSE(csv.empty());
        if (expected_csv.empty()) {
            expected_csv = "field," + csv[0] + "\n";
        }
        for (std::size_t i = 1; i < csv.size(); ++i) {
            expected_csv += std::string(f.id) + "," + csv[i] + "\n";
        }
    }
    ASSERT_GT(rows, 20u) << "the fields should hold satellites";
    const std::string list_path = written(scratch, "night.csv", list);
    for (const char* threads : {"1", "2"}) {
        const std::string options = "--fields '" + list_path + "' --threads " + threads + " --catalogue '" +
                                    history_path + "'";
        const ProgramRun text = run(scratch, options);
        EXPECT_EQ(text.status, 0) << text.err;
        EXPECT_EQ(without_sets_read(text.out), expected_text) << threads;
        EXPECT_EQ(run(scratch, options + " --format csv").out, expected_csv) << threads;
    }
}
