// How the asteroid program carries orbits, run as an observer runs it: the
// two-body default changes nothing when named, and integrated orbits list
// the same objects by every route a run can take.
#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

const char* const ASTFIELD = ASTFIELD_PROGRAM_PATH;
const char* const SATFIELD = SATFIELD_PROGRAM_PATH;

ProgramRun run(const ScratchDirectory& scratch, const char* program, const std::string& arguments)
{
    return run_program(scratch.path().string() + "/", SAMPLE_DATA_DIR, program, arguments);
}

// A list of fields of one night about the sample field.
std::string night_file(const ScratchDirectory& scratch)
{
    const std::string path = scratch.file("night.csv");
    std::ofstream(path, std::ios::binary) << "id,time,ra_deg,dec_deg,side_arcmin,exposure_s\n"
                                             "early,2008-05-20T01:00:00,0.0416667,0.5,120,\n"
                                             "sample,2008-05-20T05:14:00,0.0416667,0.5,120,\n"
                                             "late,2008-05-20T11:30:00,359.9,0.4,120,300\n";
    return path;
}

struct Place {
    double ra_deg;
    double dec_deg;
    double geo_distance_au;
    double helio_distance_au;
};

// The places of a CSV report by field and designation (number and name).
std::map<std::string, Place> csv_places(const std::string& csv, bool with_field)
{
    std::map<std::string, Place> places;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    std::size_t geo = 0;
    std::size_t helio = 0;
    {
        std::istringstream header(line);
        std::size_t k = 0;
        for (std::string name; std::getline(header, name, ','); ++k) {
            geo = name == "geo_distance_au" ? k : geo;
            helio = name == "helio_distance_au" ? k : helio;
        }
    }
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');) {
            cells.push_back(cell);
        }
        const std::size_t first = with_field ? 1 : 0;
        if (cells.size() <= std::max(geo, helio) || geo == 0 || helio == 0) {
            continue;
        }
        const std::string key = (with_field ? cells[0] + "/" : std::string()) + cells[first] + "/" + cells[first + 1];
        places[key] = {std::stod(cells[first + 2]), std::stod(cells[first + 3]), std::stod(cells[geo]),
                       std::stod(cells[helio])};
    }
    return places;
}

double separation_arcsec(const Place& a, const Place& b)
{
    const double d2r = M_PI / 180.0;
    const double x = std::cos(a.dec_deg * d2r) * std::cos(a.ra_deg * d2r) - std::cos(b.dec_deg * d2r) * std::cos(b.ra_deg * d2r);
    const double y = std::cos(a.dec_deg * d2r) * std::sin(a.ra_deg * d2r) - std::cos(b.dec_deg * d2r) * std::sin(b.ra_deg * d2r);
    const double z = std::sin(a.dec_deg * d2r) - std::sin(b.dec_deg * d2r);
    return 2.0 * std::asin(std::sqrt(x * x + y * y + z * z) / 2.0) / d2r * 3600.0;
}

}  // namespace

// Every kind of run prints, on both streams, exactly what it prints without
// the option when the option names the default.
TEST(PropagationRuns, TwoBodyNamedPrintsWhatTheDefaultPrints)
{
    const ScratchDirectory scratch;
    const std::string night = night_file(scratch);
    const std::vector<std::string> runs = {
        "",
        "--format csv",
        "--format json",
        "--catalogue MPCORB-sample.DAT --format csv",
        "--catalogue comets-sample.txt --side 3000",
        "--image astfield-frame.fits",
        "--exposure 900 --format csv",
        "--fields '" + night + "'",
        "--fields '" + night + "' --format json --threads 2",
    };
    for (const std::string& arguments : runs) {
        const ProgramRun plain = run(scratch, ASTFIELD, arguments);
        const ProgramRun named = run(scratch, ASTFIELD, arguments + " --propagation two-body");
        EXPECT_EQ(named.status, plain.status) << arguments;
        EXPECT_EQ(named.out, plain.out) << arguments;
        EXPECT_EQ(named.err, plain.err) << arguments;
    }
}

// Integrated orbits six days from the sample's epoch: the rows of the
// two-body run, each beyond 0.2 AU within 2 arcseconds (the perturbations
// of six days and ERFA's Earth against the solar series, which differ by
// some 1e-5 AU, seen from 0.2 AU), the text header naming the
// propagation; a night of fields gives, field by field, the places of runs
// on each field alone (integrated to their own instants) within 10 mas.
TEST(PropagationRuns, IntegratedOrbitsListTheSameObjectsByEveryRoute)
{
    const ScratchDirectory scratch;
    const ProgramRun two_body = run(scratch, ASTFIELD, "--format csv");
    const ProgramRun n_body = run(scratch, ASTFIELD, "--format csv --propagation n-body");
    ASSERT_EQ(n_body.status, 0) << n_body.err;
    const std::map<std::string, Place> expected = csv_places(two_body.out, false);
    const std::map<std::string, Place> integrated = csv_places(n_body.out, false);
    ASSERT_GE(expected.size(), 8u);
    ASSERT_EQ(integrated.size(), expected.size());
    for (const auto& [name, place] : expected) {
        ASSERT_EQ(integrated.count(name), 1u) << name;
        if (place.geo_distance_au > 0.2) {
            EXPECT_LT(separation_arcsec(integrated.at(name), place), 2.0) << name;
        }
    }
    const ProgramRun text = run(scratch, ASTFIELD, "--propagation n-body");
    EXPECT_NE(text.out.find("orbits  integrated from their epochs"), std::string::npos) << text.out;
    EXPECT_EQ(run(scratch, ASTFIELD, "").out.find("integrated"), std::string::npos);

    const std::string night = night_file(scratch);
    const ProgramRun batch = run(scratch, ASTFIELD, "--fields '" + night + "' --format csv --propagation n-body");
    ASSERT_EQ(batch.status, 0) << batch.err;
    const std::map<std::string, Place> batch_places = csv_places(batch.out, true);
    struct Single {
        const char* id;
        const char* options;
    };
    const Single singles[] = {
        {"early", "--time 2008-05-20T01:00:00 --centre 0.0416667 0.5 --side 120"},
        {"sample", "--time 2008-05-20T05:14:00 --centre 0.0416667 0.5 --side 120"},
        {"late", "--time 2008-05-20T11:30:00 --centre 359.9 0.4 --side 120 --exposure 300"},
    };
    std::size_t rows = 0;
    for (const Single& single : singles) {
        const ProgramRun alone =
            run(scratch, ASTFIELD, std::string(single.options) + " --format csv --propagation n-body");
        ASSERT_EQ(alone.status, 0) << alone.err;
        for (const auto& [name, place] : csv_places(alone.out, false)) {
            const std::string key = std::string(single.id) + "/" + name;
            ASSERT_EQ(batch_places.count(key), 1u) << key;
            EXPECT_LT(separation_arcsec(batch_places.at(key), place), 0.01) << key;
            ++rows;
        }
    }
    EXPECT_EQ(rows, batch_places.size());
    EXPECT_GT(rows, 20u);
}

// The option's refusals: a propagation it does not know, and the satellite
// program, whose theories carry their own perturbations.
TEST(PropagationRuns, RefusesWhatItCannotDo)
{
    const ScratchDirectory scratch;
    struct Refusal {
        const char* program;
        const char* arguments;
        const char* message;
    };
    const Refusal refusals[] = {
        {ASTFIELD, "--propagation three-body", "--propagation: "},
        {ASTFIELD, "--propagation", "--propagation: needs two-body or n-body"},
        {SATFIELD, "--propagation n-body", "--propagation: only the asteroid program integrates orbits"},
    };
    for (const Refusal& r : refusals) {
        const ProgramRun refused = run(scratch, r.program, r.arguments);
        EXPECT_EQ(refused.status, 2) << r.arguments;
        EXPECT_EQ(refused.out, "") << r.arguments;
        EXPECT_NE(refused.err.find(r.message), std::string::npos) << refused.err;
    }
}

// An orbit the integrator cannot take (its epoch before 1900) is reported
// with its line and left out; the sound records give the rows they give in
// a catalogue of their own.
TEST(PropagationRuns, OrbitsThatCannotBeIntegratedAreReportedAndTheOthersListed)
{
    const ScratchDirectory scratch;
    std::ifstream in(std::string(SAMPLE_DATA_DIR) + "/astorb.dat");
    std::ofstream mixed(scratch.file("mixed.dat"));
    std::ofstream sound(scratch.file("sound.dat"));
    int line = 0;
    for (std::string text; std::getline(in, text);) {
        ++line;
        if (line % 2 == 0) {
            text.replace(106, 4, "1850");
            mixed << text << '\n';
        } else {
            mixed << text << '\n';
            sound << text << '\n';
        }
    }
    mixed.close();
    sound.close();
    const std::string options = " --propagation n-body --time 2009-05-20T05:14:00 --side 600 --format csv";
    const ProgramRun mixed_run = run(scratch, ASTFIELD, "--catalogue " + scratch.file("mixed.dat") + options);
    const ProgramRun sound_run = run(scratch, ASTFIELD, "--catalogue " + scratch.file("sound.dat") + options);
    EXPECT_EQ(mixed_run.status, 0) << mixed_run.err;
    EXPECT_EQ(sound_run.status, 0) << sound_run.err;
    EXPECT_EQ(mixed_run.out, sound_run.out);
    EXPECT_NE(sound_run.out.find('\n'), sound_run.out.rfind('\n')) << "no rows to compare";
    EXPECT_NE(mixed_run.err.find(":2: orbit not integrated (epoch outside 1900-2099), not evaluated"),
              std::string::npos)
        << mixed_run.err.substr(0, 400);
}

namespace {

// Epochs the catalogue cannot be written at are refused with exit status 2
// and no file.
TEST(CatalogueReepoch, RefusesEpochsItCannotWrite)
{
    const ScratchDirectory scratch;
    for (const char* epoch : {"1899-12-31", "2100-01-01", "2009-05-14T06:00:00", "2009-02-29", "14-05-2009"}) {
        const ProgramRun result =
            run(scratch, ASTFIELD, std::string("--catalogue astorb.dat --write-catalogue out.dat --epoch ") + epoch);
        EXPECT_EQ(result.status, 2) << epoch;
        EXPECT_NE(result.err.find("--epoch"), std::string::npos) << epoch;
        EXPECT_TRUE(file_contents(scratch.file("out.dat")).empty()) << epoch;
    }
}

}  // namespace

namespace {

// The sample catalogue written a year on and then back at its own epoch:
// every byte outside the epoch and elements (columns 107-181) is kept, and
// a field searched on either file gives the places the original's
// integrated orbits give at the same instant, to what the written digits
// carry (six decimals of a degree in the angles: some 0.01").
TEST(CatalogueReepoch, RoundTripKeepsEveryOtherByteAndThePlaces)
{
    const ScratchDirectory scratch;
    const std::string in = std::string(SAMPLE_DATA_DIR) + "/astorb.dat";
    const std::string out = scratch.file("year-on.dat");
    const std::string back = scratch.file("back.dat");
    const ProgramRun on =
        run(scratch, ASTFIELD, "--catalogue '" + in + "' --write-catalogue '" + out + "' --epoch 2009-05-20");
    ASSERT_EQ(on.status, 0) << on.err;
    const ProgramRun again =
        run(scratch, ASTFIELD, "--catalogue '" + out + "' --write-catalogue '" + back + "' --epoch 2008-05-14");
    ASSERT_EQ(again.status, 0) << again.err;

    const std::vector<std::string> original = lines_of(file_contents(in));
    for (const std::string& written : {out, back}) {
        const std::vector<std::string> lines = lines_of(file_contents(written));
        ASSERT_EQ(lines.size(), original.size()) << written;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            ASSERT_EQ(lines[k].size(), original[k].size()) << written << ":" << k + 1;
            EXPECT_EQ(lines[k].substr(0, 106), original[k].substr(0, 106)) << written << ":" << k + 1;
            EXPECT_EQ(lines[k].substr(181), original[k].substr(181)) << written << ":" << k + 1;
        }
        EXPECT_NE(lines.front().substr(106, 8), written == out ? "20080514" : "20090520") << written;
    }

    const struct {
        const char* what;
        const std::string& catalogue;
        const char* time;
    } cases[] = {
        {"a year on", out, "2009-05-20T05:14:00"},
        {"back at the epoch", back, "2008-05-20T05:14:00"},
    };
    for (const auto& c : cases) {
        const std::string field =
            std::string(" --time ") + c.time + " --centre 237.5 -20 --side 1200 --mag-limit 30 --propagation n-body --format csv";
        const std::map<std::string, Place> reference = csv_places(run(scratch, ASTFIELD, "--catalogue '" + in + "'" + field).out, false);
        const std::map<std::string, Place> rewritten =
            csv_places(run(scratch, ASTFIELD, "--catalogue '" + c.catalogue + "'" + field).out, false);
        EXPECT_GE(reference.size(), 40u) << c.what;
        ASSERT_EQ(rewritten.size(), reference.size()) << c.what;
        for (const auto& [key, place] : reference) {
            ASSERT_EQ(rewritten.count(key), 1u) << c.what << ": " << key;
            EXPECT_LT(separation_arcsec(place, rewritten.at(key)), 0.05) << c.what << ": " << key;
        }
    }
}

}  // namespace

namespace {

// The one-line layouts written a year on and then back at their own epoch,
// as the fixed-column catalogue is: every byte outside the epoch and
// elements is kept (the preamble whole), and the places of either file
// agree with the original's integrated orbits to what the written digits
// carry, as the Sun sees the places (the digits move an orbit by an angle
// about the Sun; a near-Earth object near the Earth shows it many times
// over). MPCORB's angles have five decimals of a degree (18 mas each at
// most) and e seven (some 20 mas along and across the orbit), 0.1" with all
// at their worst; a's seventh decimal, carried a year back, moves the place
// along the orbit by up to 0.05" more, and the file written back is rounded
// again: 0.25". The comet layout's angles have four decimals (180 mas
// each), q six and the perihelion time four decimals of a day (4.3 s, near
// perihelion some 0.5" along the orbit): 1" with all at their worst, 2"
// after the second writing.
TEST(CatalogueReepoch, OneLineLayoutsRoundTripKeepingEveryOtherByteAndThePlaces)
{
    const struct Layout {
        const char* file;
        const char* epoch;       // the catalogue's own
        const char* packed;      // its epoch as the records write it
        int epoch_column;        // where (1-based)
        std::vector<std::pair<int, int>> replaced;  // columns rewritten, first and last
        double tolerance_arcsec;
        std::size_t rows;        // at least this many in the fields
    } layouts[] = {
        {"MPCORB-sample.DAT", "2008-05-14", "K085E", 21,
         {{21, 25}, {27, 35}, {38, 46}, {49, 57}, {60, 68}, {71, 79}, {81, 91}, {93, 103}}, 0.25, 40},
        {"comets-sample.txt", "2008-05-14", "20080514", 82,
         {{15, 18}, {20, 21}, {23, 29}, {31, 39}, {42, 49}, {52, 59}, {62, 69}, {72, 79}, {82, 89}}, 2.0, 3},
    };
    const ScratchDirectory scratch;
    for (const Layout& layout : layouts) {
        const std::string in = std::string(SAMPLE_DATA_DIR) + "/" + layout.file;
        const std::string out = scratch.file(std::string("year-on-") + layout.file);
        const std::string back = scratch.file(std::string("back-") + layout.file);
        const ProgramRun on =
            run(scratch, ASTFIELD, "--catalogue '" + in + "' --write-catalogue '" + out + "' --epoch 2009-05-20");
        ASSERT_EQ(on.status, 0) << on.err;
        EXPECT_NE(on.err.find(" 0 refused"), std::string::npos) << on.err;
        const ProgramRun again = run(scratch, ASTFIELD,
                                     "--catalogue '" + out + "' --write-catalogue '" + back + "' --epoch " +
                                         layout.epoch);
        ASSERT_EQ(again.status, 0) << again.err;

        // Each record's rewritten columns masked out; every other line whole.
        const auto kept = [&](const std::string& line) {
            if (line.size() < static_cast<std::size_t>(layout.replaced.back().second) ||
                line.compare(layout.epoch_column - 1, std::strlen(layout.packed), layout.packed) != 0) {
                return line;
            }
            std::string masked = line;
            for (const auto& [first, last] : layout.replaced) {
                masked.replace(first - 1, last - first + 1, last - first + 1, '#');
            }
            return masked;
        };
        const std::vector<std::string> original = lines_of(file_contents(in));
        std::size_t records = 0;
        for (const std::string& written : {out, back}) {
            const std::vector<std::string> lines = lines_of(file_contents(written));
            ASSERT_EQ(lines.size(), original.size()) << written;
            records = 0;
            for (std::size_t k = 0; k < lines.size(); ++k) {
                const std::string expected = kept(original[k]);
                records += expected != original[k] ? 1 : 0;
                std::string seen = lines[k];
                if (expected != original[k] && seen.size() == original[k].size()) {
                    for (const auto& [first, last] : layout.replaced) {
                        seen.replace(first - 1, last - first + 1, last - first + 1, '#');
                    }
                }
                EXPECT_EQ(seen, expected) << written << ":" << k + 1;
            }
            const bool year_on = written == out;
            EXPECT_EQ(lines.back().substr(layout.epoch_column - 1, std::strlen(layout.packed)),
                      year_on ? (layout.epoch_column == 21 ? "K095K" : "20090520") : layout.packed)
                << written;
        }
        EXPECT_GE(records, layout.rows) << layout.file;

        const struct {
            const char* what;
            const std::string& catalogue;
            const char* time;
        } cases[] = {
            {"a year on", out, "2009-05-20T05:14:00"},
            {"back at the epoch", back, "2008-05-20T05:14:00"},
        };
        for (const auto& c : cases) {
            std::map<std::string, Place> reference;
            std::map<std::string, Place> rewritten;
            for (const char* centre : {"0 0", "90 0", "180 0", "270 0"}) {
                const std::string field = std::string(" --time ") + c.time + " --centre " + centre +
                                          " --side 10000 --mag-limit 30 --propagation n-body --format csv";
                reference.merge(csv_places(run(scratch, ASTFIELD, "--catalogue '" + in + "'" + field).out, false));
                rewritten.merge(
                    csv_places(run(scratch, ASTFIELD, "--catalogue '" + c.catalogue + "'" + field).out, false));
            }
            EXPECT_GE(reference.size(), layout.rows) << layout.file << " " << c.what;
            ASSERT_EQ(rewritten.size(), reference.size()) << layout.file << " " << c.what;
            double largest = 0.0;
            for (const auto& [key, place] : reference) {
                ASSERT_EQ(rewritten.count(key), 1u) << layout.file << " " << c.what << ": " << key;
                // The angle apart as the Sun sees it: the digits' figures.
                const double apart =
                    separation_arcsec(place, rewritten.at(key)) * place.geo_distance_au / place.helio_distance_au;
                largest = std::max(largest, apart);
                EXPECT_LT(apart, layout.tolerance_arcsec) << layout.file << " " << c.what << ": " << key;
            }
            RecordProperty(std::string(layout.file) + " " + c.what, std::to_string(largest) + " arcsec at most");
        }
    }
}

}  // namespace

namespace {

// Records whose orbits cannot be carried (an epoch before 1900) among sound
// ones, in each layout: the run succeeds, each is copied unchanged and
// reported with its line, the others are written at the new epoch exactly
// as from a catalogue without them, and the summary counts both; a ".gz"
// name gives the same lines compressed.
TEST(CatalogueReepoch, RecordsThatCannotBeCarriedAreCopiedAndReported)
{
    const struct {
        const char* file;
        std::size_t epoch_offset;  // where a year or century letter is made 18xx
        const char* early;         // what is put there
        std::size_t min_length;    // a record's length at least
    } layouts[] = {
        {"astorb.dat", 106, "1850", 181},
        {"MPCORB-sample.DAT", 20, "I", 103},
        {"comets-sample.txt", 81, "1850", 100},
    };
    const ScratchDirectory scratch;
    for (const auto& layout : layouts) {
        const std::vector<std::string> original = lines_of(file_contents(std::string(SAMPLE_DATA_DIR) + "/" + layout.file));
        std::string mixed;
        std::string sound;
        std::vector<std::size_t> early_lines;
        std::size_t records = 0;
        for (std::size_t k = 0; k < original.size(); ++k) {
            std::string line = original[k];
            const bool record = line.size() >= layout.min_length && line.find("----") == std::string::npos &&
                                std::isdigit(static_cast<unsigned char>(line[layout.epoch_offset + 1])) != 0;
            if (record && records++ % 3 == 1) {
                line.replace(layout.epoch_offset, std::strlen(layout.early), layout.early);
                early_lines.push_back(k);
            }
            mixed += line + "\n";
            sound += original[k] + "\n";
        }
        ASSERT_FALSE(early_lines.empty()) << layout.file;
        const std::string mixed_path = scratch.file(std::string("mixed-") + layout.file);
        const std::string sound_path = scratch.file(std::string("sound-") + layout.file);
        std::ofstream(mixed_path, std::ios::binary) << mixed;
        std::ofstream(sound_path, std::ios::binary) << sound;
        const std::string out = scratch.file(std::string("out-") + layout.file + ".gz");
        const std::string expected_out = scratch.file(std::string("expected-") + layout.file);
        const ProgramRun run_mixed = run(scratch, ASTFIELD,
                                         "--catalogue '" + mixed_path + "' --write-catalogue '" + out +
                                             "' --epoch 2009-05-20");
        const ProgramRun run_sound = run(scratch, ASTFIELD,
                                         "--catalogue '" + sound_path + "' --write-catalogue '" + expected_out +
                                             "' --epoch 2009-05-20");
        ASSERT_EQ(run_mixed.status, 0) << run_mixed.err;
        ASSERT_EQ(run_sound.status, 0) << run_sound.err;
        const ProgramRun unpacked = run(scratch, "gzip", "-dc '" + out + "'");
        ASSERT_EQ(unpacked.status, 0) << unpacked.err;
        const std::vector<std::string> written = lines_of(unpacked.out);
        const std::vector<std::string> expected = lines_of(file_contents(expected_out));
        const std::vector<std::string> mixed_lines = lines_of(mixed);
        ASSERT_EQ(written.size(), expected.size()) << layout.file;
        std::size_t next = 0;
        for (std::size_t k = 0; k < written.size(); ++k) {
            const bool early = next < early_lines.size() && early_lines[next] == k;
            EXPECT_EQ(written[k], early ? mixed_lines[k] : expected[k]) << layout.file << ":" << k + 1;
            if (early) {
                std::string message = std::to_string(k + 1);
                message.insert(0, 1, ':');
                message += ": orbit not integrated (epoch outside 1900-2099), copied unchanged: ";
                message += mixed_lines[k];
                EXPECT_NE(run_mixed.err.find(message), std::string::npos)
                    << layout.file << ":" << k + 1 << "\n" << run_mixed.err.substr(0, 600);
                ++next;
            }
        }
        std::string summary = std::to_string(records - early_lines.size());
        summary += " records written at epoch 2009-05-20, ";
        summary += std::to_string(early_lines.size());
        summary += " refused (copied unchanged)";
        EXPECT_NE(run_mixed.err.find(summary), std::string::npos) << layout.file << "\n" << run_mixed.err;
    }
}

}  // namespace
