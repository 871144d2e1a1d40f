#include "text_catalogue.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
