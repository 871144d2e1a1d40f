// The programs run on damaged inputs written by hand: each ends with a clear
// message and a status of 0, 1 or 2, and prints no rows it cannot stand by.
#include <algorithm>
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
