// The programs run on damaged inputs written by hand: each ends with a clear
// message and a status of 0, 1 or 2, and prints no rows it cannot stand by.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "program_run.hpp"
#include "scratch_directory.hpp"

namespace {

const char* const ASTFIELD = ASTFIELD_PROGRAM_PATH;
const char* const SATFIELD = SATFIELD_PROGRAM_PATH;

ProgramRun run(const char* program, const std::string& arguments)
{
    return run_program(process_scratch_directory(), SAMPLE_DATA_DIR, program, arguments);
}

std::string sample(const char* name)
{
    return file_contents(std::string(SAMPLE_DATA_DIR) + "/" + name);
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// The gzip form of `bytes`, as zlib writes it (a 10-byte header, the deflate
// data, then the CRC-32 and the length, four bytes each, little-endian).
std::string gzip_bytes(const ScratchDirectory& scratch, const std::string& bytes)
{
    const std::string path = scratch.file("packed.gz");
    gzFile out = gzopen(path.c_str(), "wb9");
    gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(out);
    return file_contents(path);
}

std::size_t line_count(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

// An observer farther than a million km from the Earth's centre, or not
// finite, is refused before any search: one line and the usage hint, nothing
// printed, status 2, with or without an exposure.
TEST(DamagedInputs, FarObserversAreRefused)
{
    const std::vector<std::string> observers = {"1e155,0,0", "0,0,-1e300", "1000000.5,0,0", "nan,0,0", "0,inf,0"};
    for (const std::string& observer : observers) {
        for (const char* program : {ASTFIELD, SATFIELD}) {
            for (const char* exposure : {"", " --exposure 60"}) {
                const std::string arguments = "--observer " + observer + exposure;
                const ProgramRun r = run(program, arguments);
                EXPECT_EQ(r.status, 2) << program << " " << arguments << "\n" << r.err;
                EXPECT_EQ(r.out, "") << arguments;
                EXPECT_EQ(line_count(r.err), 2u) << r.err;
                EXPECT_NE(r.err.find(": --observer: "), std::string::npos) << r.err;
            }
        }
    }
}

// A damaged compressed catalogue prints no row and gives one line naming
// the file and what zlib found; the sound stream reads as the plain file.
TEST(DamagedInputs, CompressedCataloguesAreCheckedWhole)
{
    const ScratchDirectory scratch;
    struct Program {
        const char* path;
        const char* catalogue;
    };
    for (const Program program : {Program{ASTFIELD, "astorb.dat"}, Program{SATFIELD, "080520ls.tle"}}) {
        const std::string plain = sample(program.catalogue);
        const std::string packed = gzip_bytes(scratch, plain);
        ASSERT_GT(packed.size(), 100u);
        const std::size_t n = packed.size();
        struct Damage {
            const char* name;
            std::string bytes;
            const char* reason;
        };
        auto flipped = [&](std::size_t at) {
            std::string bytes = packed;
            bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
            return bytes;
        };
        const std::vector<Damage> damages = {
            {"cut.gz", packed.substr(0, n * 3 / 4), "unexpected end of file"},
            {"crc.gz", flipped(n - 7), "incorrect data check"},     // a byte of the CRC-32
            {"length.gz", flipped(n - 3), "incorrect length check"},  // a byte of the length
            {"middle.gz", flipped(n / 2), ""},                        // the deflate data: any reason
        };
        const std::string base = run(program.path, std::string("--catalogue ") + program.catalogue).out;
        ASSERT_FALSE(base.empty());
        const std::string sound = scratch.file(std::string(program.catalogue) + ".gz");
        write_file(sound, packed);
        const ProgramRun read = run(program.path, "--catalogue '" + sound + "'");
        EXPECT_EQ(read.status, 0) << read.err;
        EXPECT_EQ(read.out, base);
        for (const Damage& damage : damages) {
            const std::string path = scratch.file(damage.name);
            write_file(path, damage.bytes);
            const ProgramRun r = run(program.path, "--catalogue '" + path + "'");
            EXPECT_EQ(r.status, 1) << path << "\n" << r.err;
            EXPECT_EQ(r.out, "") << path;
            EXPECT_EQ(line_count(r.err), 1u) << r.err;
            const std::string start = std::string(program.path == ASTFIELD ? "astfield" : "satfield") +
                                      ": cannot read " + path + ": compressed data: " + damage.reason;
            EXPECT_EQ(r.err.rfind(start, 0), 0u) << r.err;
        }
    }
}

namespace {

// `text` with `replacement` written over columns first.. (1-based) of the
// line that starts with `key`; empty when no line does.
std::string with_columns_replaced(const std::string& text, const std::string& key, int first,
                                  const std::string& replacement, long& line_number)
{
    std::size_t at = 0;
    line_number = 1;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (text.compare(at, key.size(), key) == 0) {
            const std::size_t from = at + static_cast<std::size_t>(first - 1);
            return text.substr(0, from) + replacement + text.substr(from + replacement.size());
        }
        at = end == std::string::npos ? text.size() : end + 1;
        ++line_number;
    }
    return {};
}

}  // namespace

// A record whose field holds what no such field may hold is reported with
// its line and field, counted and not evaluated; the other records are
// listed as before. Fields the search does not read and a blank name are no
// grounds for refusal.
TEST(DamagedInputs, AsteroidRecordsWithBadFieldsAreReportedNotEvaluated)
{
    const ScratchDirectory scratch;
    struct Case {
        const char* catalogue;
        const char* key;          // the start of the damaged record's line
        int first;                // its first damaged column
        std::string replacement;  // the text written there
        const char* message;      // what the line's message says; empty for a record still listed
        const char* kept;         // a row still listed (a CSV line starts with it)
        const char* dropped;      // the damaged record's row, gone; null when it stays
    };
    const Case cases[] = {
        {"astorb.dat", " 26016", 42, "    xx", "H (columns 42-47) 'xx' is not a number", "53696,", "26016,"},
        {"astorb.dat", " 26016", 48, " 1.2.3", "G (columns 48-53) '1.2.3' is not a number", "53696,", "26016,"},
        {"astorb.dat", " 26016", 48, "  7.15", "G (columns 48-53) 7.15 is outside -1 to 2", "53696,", "26016,"},
        {"astorb.dat", " 26016", 107, "20081345", "epoch (columns 107-114) '20081345' is not a date yyyymmdd",
         "53696,", "26016,"},
        {"astorb.dat", " 26016", 107, "20070229", "epoch (columns 107-114) '20070229' is not a date yyyymmdd",
         "53696,", "26016,"},
        {"astorb.dat", " 26016", 148, "999.999900", "inclination (columns 148-157) 999.999900 is outside 0 to 180",
         "53696,", "26016,"},
        {"astorb.dat", " 26016", 158, "ABCDEFGHIJK", "eccentricity (columns 158-168) 'ABCDEFGHIJK' is not a number",
         "53696,", "26016,"},
        {"astorb.dat", " 26016", 115, "      -12.5", "mean anomaly (columns 115-125) -12.5 is outside 0 to 360",
         "53696,", "26016,"},
        {"astorb.dat", " 26016", 191, "    1x.5", "uncertainty (columns 191-198) '1x.5' is not a number", "53696,",
         "26016,"},
        {"astorb.dat", " 26016", 209, "2008-5-2", "uncertainty date (columns 209-216) '2008-5-2' is not a date",
         "53696,", "26016,"},
        // Orbit computer, colour, diameter, codes, arc and observation count: not read.
        {"astorb.dat", " 26016", 24, std::string(18, 'x'), "", "26016,", nullptr},
        {"astorb.dat", " 26016", 54, std::string(53, 'x'), "", "26016,", nullptr},
        // A blank name.
        {"astorb.dat", " 26016", 7, std::string(12, ' '), "", "26016,", nullptr},
        {"MPCORB-sample.DAT", "26016", 8, "   abc", "H (columns 8-13) 'abc' is not a number", "53696,", "26016,"},
        {"MPCORB-sample.DAT", "26016", 8, "      ", "H (columns 8-13) is blank", "53696,", "26016,"},
        {"MPCORB-sample.DAT", "26016", 59, " 200.00000", "inclination (columns 59-68) 200.00000 is outside 0 to 180",
         "53696,", "26016,"},
        {"comets-sample.txt", "0999P", 71, "     qq  ", "inclination (columns 71-79) 'qq' is not a number",
         ",C/2008 K2,", "999P,"},
        {"comets-sample.txt", "0999P", 91, "  1e5", "H (columns 91-95) '1e5' is not a number", ",C/2008 K2,",
         "999P,"},
    };
    for (const Case& c : cases) {
        long line_number = 0;
        const std::string damaged =
            with_columns_replaced(sample(c.catalogue), c.key, c.first, c.replacement, line_number);
        ASSERT_FALSE(damaged.empty()) << c.key;
        const std::string path = scratch.file(c.catalogue);
        write_file(path, damaged);
        const ProgramRun plain = run(ASTFIELD, std::string("--format csv --catalogue ") + c.catalogue);
        const ProgramRun r = run(ASTFIELD, "--format csv --catalogue '" + path + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string where = "astfield: " + path + ":" + std::to_string(line_number) + ": ";
        if (*c.message != '\0') {
            EXPECT_EQ(r.err.rfind(where + c.message, 0), 0u) << r.err;
            EXPECT_NE(r.err.find(", not evaluated\n"), std::string::npos) << r.err;
        }
        EXPECT_EQ(line_count(r.err), *c.message != '\0' ? 1u : 0u) << r.err;
        const std::string kept = std::string("\n").append(c.kept);
        EXPECT_NE(r.out.find(kept), std::string::npos) << c.message;
        if (c.dropped != nullptr) {
            const std::string dropped = std::string("\n").append(c.dropped);
            EXPECT_NE(plain.out.find(dropped), std::string::npos);
            EXPECT_EQ(r.out.find(dropped), std::string::npos) << c.message;
        }
    }
}

// A named leap-second list whose steps jump, fall back or do not match its
// hash stops the run with one line naming the file and the line; the
// system's list, which carries a sound hash, is taken.
TEST(DamagedInputs, LeapSecondListsAreCheckedStepByStepAndByTheirHash)
{
    const ScratchDirectory scratch;
    // The first three published steps; the hash is Python's hashlib SHA-1
    // of "3960835200" "3991593600" and the data lines' digits.
    const std::string head = "#$\t3960835200\n#@\t3991593600\n";
    const std::string hash = "#h\t02bb8744 05934785 7040be45 616b5dfe 6348ed4b\n";
    struct Case {
        std::string text;
        int status;
        const char* message;  // what follows "PROGRAM: --leap-seconds: PATH:"
    };
    const Case cases[] = {
        {head + "2272060800 10\n2287785600 11\n2303683200 12\n" + hash, 0, ""},
        {head + "2272060800 10\n2287785600 11\n2303683200 112\n" + hash, 1,
         "5: TAI - UTC 112 s does not follow 11 s by one leap second"},
        {head + "2272060800 10\n2287785600 11\n2303683200 10\n" + hash, 1, "5: TAI - UTC 10 s does not follow 11 s"},
        {head + "2272060800 10\n2287785600 11\n2303769600 12\n" + hash, 1, "6: the hash (#h) does not match"},
    };
    for (const char* program : {ASTFIELD, SATFIELD}) {
        for (const Case& c : cases) {
            const std::string path = scratch.file("leap-seconds.list");
            write_file(path, c.text);
            // After the table's expiry: a warning line, then the report.
            const ProgramRun r = run(program, "--leap-seconds '" + path + "'");
            EXPECT_EQ(r.status, c.status) << c.text << r.err;
            if (c.status != 0) {
                EXPECT_EQ(r.out, "");
                EXPECT_EQ(line_count(r.err), 1u) << r.err;
                EXPECT_NE(r.err.find(": " + path + ":" + c.message), std::string::npos) << r.err;
            }
        }
        const std::string system = "/usr/share/zoneinfo/leap-seconds.list";
        if (!file_contents(system).empty()) {
            const ProgramRun r = run(program, "--leap-seconds " + system);
            EXPECT_EQ(r.status, 0) << r.err;
        }
    }
}

// CSV and JSON carry a designation and a name whole, whatever their length;
// the text report keeps its ten characters of name.
TEST(DamagedInputs, IdentitiesAreCarriedWhole)
{
    const ScratchDirectory scratch;
    struct Case {
        const char* catalogue;
        const char* key;
        int first;
        std::string replacement;
        const char* number;    // the JSON number as written, e.g. "26016" or "\"999P\"" or null
        const char* name;      // the whole name
        const char* shown;     // the text report's name column
    };
    const Case cases[] = {
        {"astorb.dat", " 26016", 8, "Bernardinelliana  ", "26016", "Bernardinelliana", " Bernardine"},
        {"MPCORB-sample.DAT", "26016", 167, "(26016) Longnamedasteroidus ", "26016", "Longnamedasteroidus",
         " Longnameda"},
        {"comets-sample.txt", "    CK08K02S", 103, "C/2014 UN271 (Bernardinelli-Bernstein)  ", "null", "C/2014 UN271",
         " C/2014 UN2"},
        {"comets-sample.txt", "0999P", 103, "999P/Synthetica", "\"999P\"", "Synthetica", " Synthetica"},
    };
    for (const Case& c : cases) {
        long line_number = 0;
        const std::string damaged =
            with_columns_replaced(sample(c.catalogue), c.key, c.first, c.replacement, line_number);
        ASSERT_FALSE(damaged.empty()) << c.key;
        const std::string path = scratch.file(c.catalogue);
        write_file(path, damaged);
        const ProgramRun csv = run(ASTFIELD, "--format csv --catalogue '" + path + "'");
        const ProgramRun json = run(ASTFIELD, "--format json --catalogue '" + path + "'");
        const ProgramRun text = run(ASTFIELD, "--catalogue '" + path + "'");
        EXPECT_EQ(csv.err + json.err + text.err, "");
        std::ostringstream csv_cell;
        std::ostringstream json_pair;
        std::ostringstream text_cell;
        csv_cell << ',' << c.name << ',';
        json_pair << "\"number\":" << c.number << ",\"name\":\"" << c.name << '"';
        text_cell << '|' << c.shown << '|';
        EXPECT_NE(csv.out.find(csv_cell.str()), std::string::npos) << csv.out;
        EXPECT_NE(json.out.find(json_pair.str()), std::string::npos) << json.out;
        EXPECT_NE(text.out.find(text_cell.str()), std::string::npos) << text.out;
    }
}
