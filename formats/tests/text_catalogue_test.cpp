#include "text_catalogue.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "scratch_directory.hpp"

using namespace fieldsearch;

namespace {

struct ReadResult {
    std::vector<std::string> lines;
    std::vector<std::size_t> full_lengths;
    long last_line_number = 0;
    bool error = false;
};

// Everything a reader delivers from a file holding `bytes`.
ReadResult read_all(const std::string& bytes, std::size_t max_kept = 4096)
{
    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    TextCatalogueReader reader(file, max_kept);
    ReadResult result;
    std::string_view line;
    while (reader.next_line(line)) {
        result.lines.emplace_back(line);
        result.full_lengths.push_back(reader.full_length());
        result.last_line_number = reader.line_number();
    }
    result.error = reader.read_error();
    std::fclose(file);
    return result;
}

using Lines = std::vector<std::string>;

// The gzip form of `bytes`, as zlib's own writer makes it.
std::string gzip_bytes(const std::string& bytes)
{
    const std::string path = process_scratch_directory() + "gzip_bytes.gz";
    gzFile out = gzopen(path.c_str(), "wb");
    gzwrite(out, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(out);
    std::FILE* in = std::fopen(path.c_str(), "rb");
    std::string packed;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, in)) > 0;) {
        packed.append(block, got);
    }
    std::fclose(in);
    std::remove(path.c_str());
    return packed;
}

// Everything a reader delivers from a file holding the compressed `packed`.
ReadResult read_all_compressed(const std::string& packed, std::string* error_text = nullptr)
{
    std::FILE* file = std::tmpfile();
    std::fwrite(packed.data(), 1, packed.size(), file);
    std::rewind(file);
    ReadResult result;
    {
        TextCatalogueReader reader(file, true);
        std::string_view line;
        while (reader.next_line(line)) {
            result.lines.emplace_back(line);
            result.last_line_number = reader.line_number();
        }
        result.error = reader.read_error();
        if (error_text != nullptr) {
            *error_text = reader.read_error_text();
        }
    }
    std::fclose(file);
    return result;
}

}  // namespace

// Line ends and the end of the file as text mode delivers them: CR LF and
// LF alike, a stray CR dropped, a last line without its line feed kept, a
// Ctrl-Z ending the file, and nothing at all from an empty file.
TEST(TextCatalogueReader, DeliversLinesAsTextModeDoes)
{
    struct Case {
        std::string bytes;
        Lines expected;
    };
    const Case cases[] = {
        {"abc\ndef\n", {"abc", "def"}},
        {"abc\r\ndef\r\n", {"abc", "def"}},
        {"abc\ndef", {"abc", "def"}},
        {"a\rbc\n", {"abc"}},
        {"abc\n\x1A", {"abc"}},
        {"abc\n\x1A" "def\n", {"abc"}},
        {"ab\x1A" "c\n", {"ab"}},
        {"abc\n\n\ndef\n", {"abc", "", "", "def"}},
        {"", {}},
        {"\x1A", {}},
        {"\r\n", {""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read_all(c.bytes).lines, c.expected) << c.bytes;
    }
}

// A line longer than the kept length is cut but its length is told, and the
// lines after it stay in step; lines across the internal block boundary come
// out whole.
TEST(TextCatalogueReader, CutsOverLongLinesAndKeepsLaterLinesInStep)
{
    const std::string long_line(200, 'x');
    const ReadResult r = read_all("short\n" + long_line + "\r\nnext\n" + long_line, 79);
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[1], std::string(79, 'x'));
    EXPECT_EQ(r.full_lengths[1], 200u);
    EXPECT_EQ(r.lines[2], "next");
    EXPECT_EQ(r.full_lengths[3], 200u);
    EXPECT_EQ(r.last_line_number, 4);

    std::string many;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        expected.push_back(std::string(static_cast<std::size_t>(i % 300), static_cast<char>('a' + i % 26)));
        many += expected.back() + (i % 2 ? "\r\n" : "\n");
    }
    EXPECT_EQ(read_all(many).lines, expected);
}

// A file that cannot be read (here a directory) ends with an error rather
// than passing for an empty catalogue.
TEST(TextCatalogueReader, ReportsAReadError)
{
    std::FILE* directory = std::fopen("/", "rb");
    ASSERT_NE(directory, nullptr);
    TextCatalogueReader reader(directory);
    std::string_view line;
    EXPECT_FALSE(reader.next_line(line));
    EXPECT_TRUE(reader.read_error());
    std::fclose(directory);
}

// A compressed catalogue gives the lines its uncompressed bytes give, over
// many internal blocks too; one cut short or damaged ends with a read error
// and says why, instead of passing for a shorter catalogue.
TEST(TextCatalogueReader, ReadsCompressedStreamsAndTellsBrokenOnes)
{
    std::string many;
    for (int i = 0; i < 5000; ++i) {
        many += std::string(static_cast<std::size_t>(40 + i % 250), static_cast<char>('a' + i % 26)) +
                (i % 3 ? "\n" : "\r\n");
    }
    for (const std::string& bytes : {std::string("abc\r\ndef"), std::string("abc\n\x1A" "def\n"), std::string(),
                                     many}) {
        const ReadResult compressed = read_all_compressed(gzip_bytes(bytes));
        EXPECT_EQ(compressed.lines, read_all(bytes).lines);
        EXPECT_FALSE(compressed.error);
    }

    const std::string packed = gzip_bytes(many);
    std::string damaged = packed;
    for (std::size_t k = packed.size() / 2; k < packed.size() / 2 + 64; ++k) {
        damaged[k] = static_cast<char>(damaged[k] ^ 0x5A);
    }
    const struct {
        const char* what;
        std::string bytes;
    } broken[] = {{"cut in half", packed.substr(0, packed.size() / 2)},
                  {"cut before its trailer", packed.substr(0, packed.size() - 4)},
                  {"damaged in the middle", damaged}};
    for (const auto& b : broken) {
        std::string text;
        const ReadResult r = read_all_compressed(b.bytes, &text);
        EXPECT_TRUE(r.error) << b.what;
        EXPECT_FALSE(text.empty()) << b.what;
    }
}
