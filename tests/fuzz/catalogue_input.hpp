// What both fuzz targets do with an input besides handing it to a search: the
// scratch catalogue file the input is written to, the sink the search writes
// to, a check that the catalogue reader cuts the file into the lines a plain
// reference splitter finds, and a check that the field conversions give the C
// library's values.
#pragma once

#include <bit>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "fixed_columns.hpp"
#include "text_catalogue.hpp"

using namespace fieldsearch;

// Path of this process's scratch catalogue, `suffix` appended: in $TMPDIR
// (else /tmp), named with the process id so that parallel fuzzing jobs do
// not share one file.
inline std::string scratch_catalogue_path(const char* suffix)
{
    const char* directory = std::getenv("TMPDIR");
    std::string path = (directory != nullptr && *directory != '\0') ? directory : "/tmp";
    path += "/fieldsearch_fuzz.";
    path += std::to_string(static_cast<long>(getpid()));
    path += suffix;
    return path;
}

// Writes the input bytes to `path` as a whole file; aborts when the file
// cannot be written, since every later result would be meaningless.
inline void write_catalogue(const std::string& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
        std::fclose(file) != 0) {
        std::fprintf(stderr, "fuzz: cannot write the scratch catalogue %s\n", path.c_str());
        std::abort();
    }
}

// The bytes as the catalogue reader delivers them: carriage returns dropped,
// cut at the first Ctrl-Z.
inline std::string as_read(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes.substr(0, bytes.find('\x1a'))) {
        if (c != '\r') {
            text += c;
        }
    }
    return text;
}

// /dev/null opened for writing, once per process: the search's results and
// messages go there.
inline std::FILE* null_sink()
{
    static std::FILE* const sink = std::fopen("/dev/null", "w");
    if (sink == nullptr) {
        std::fprintf(stderr, "fuzz: cannot open /dev/null\n");
        std::abort();
    }
    return sink;
}

// One line of a catalogue as the reader must deliver it: its first
// `max_kept` characters and its whole length, carriage returns not counted.
struct ReferenceLine {
    std::string kept;
    std::size_t full_length;
};

// The lines of a catalogue file, split the plain way: the file ends at its
// first byte 0x1A, every carriage return is dropped, a line feed ends a line,
// and a last line without a line feed is still a line.
inline std::vector<ReferenceLine> reference_lines(std::string_view bytes, std::size_t max_kept)
{
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::string text;
    for (const char c : bytes) {
        if (c != '\r') {
            text += c;
        }
    }
    std::vector<ReferenceLine> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t feed = text.find('\n', start);
        const std::size_t end = (feed == std::string::npos) ? text.size() : feed;
        const std::string_view line(text.data() + start, end - start);
        lines.push_back({std::string(line.substr(0, max_kept)), line.size()});
        start = end + 1;
    }
    return lines;
}

// Reads the catalogue at `path` (holding `bytes`) with the reader keeping
// `max_kept` characters of a line, and aborts with a message at the first
// line, length or line number that differs from the reference split.
inline void check_reader_against_reference(const std::string& path, std::string_view bytes, std::size_t max_kept)
{
    const std::vector<ReferenceLine> expected = reference_lines(bytes, max_kept);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "fuzz: cannot reopen the scratch catalogue %s\n", path.c_str());
        std::abort();
    }
    TextCatalogueReader reader(file, max_kept);
    std::string_view line;
    std::size_t count = 0;
    const char* fault = nullptr;
    while (fault == nullptr && reader.next_line(line)) {
        if (count >= expected.size()) {
            fault = "a line more than the reference";
        } else if (line != expected[count].kept) {
            fault = "a line's text";
        } else if (reader.full_length() != expected[count].full_length) {
            fault = "a line's full length";
        } else if (reader.line_number() != static_cast<long>(count + 1)) {
            fault = "a line number";
        }
        ++count;
    }
    if (fault == nullptr && count != expected.size()) {
        fault = "fewer lines than the reference";
    }
    if (fault == nullptr && reader.read_error()) {
        fault = "a read error";
    }
    std::fclose(file);
    if (fault != nullptr) {
        std::fprintf(stderr, "fuzz: the catalogue reader (max_kept %zu) differs from the reference in %s at line %zu\n",
                     max_kept, fault, count);
        std::abort();
    }
}

// The value atof gives for the text (strtod on a NUL-terminated copy).
inline double c_library_decimal(std::string_view text)
{
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

// The value atoi gives for the text, clamped to the range of int.
inline int c_library_integer(std::string_view text)
{
    const std::string copy(text);
    const long value = std::strtol(copy.c_str(), nullptr, 10);
    return static_cast<int>(value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : value));
}

// Aborts with a message unless `value`, converted from `text`, is the C
// library's value bit for bit (any two NaNs agree).
inline void check_decimal(double value, std::string_view text)
{
    const double expected = c_library_decimal(text);
    if (std::bit_cast<unsigned long long>(value) != std::bit_cast<unsigned long long>(expected) &&
        !(std::isnan(value) && std::isnan(expected))) {
        std::fprintf(stderr, "fuzz: \"%.*s\" converts to %.17g, strtod gives %.17g\n", static_cast<int>(text.size()),
                     text.data(), value, expected);
        std::abort();
    }
}

// Aborts with a message unless columns first..last of `line` convert, as a
// decimal, to the C library's value bit for bit.
inline void check_decimal_field(std::string_view line, int first, int last)
{
    const std::string_view text = columns(line, first, last);
    check_decimal(decimal_from_text(text), text);
}

// Aborts with a message unless columns first..last of `line` convert, as an
// integer, to the C library's value.
inline void check_integer_field(std::string_view line, int first, int last)
{
    const std::string_view text = columns(line, first, last);
    const int value = integer_from_text(text);
    const int expected = c_library_integer(text);
    if (value != expected) {
        std::fprintf(stderr, "fuzz: columns %d-%d \"%.*s\" convert to %d, strtol gives %d\n", first, last,
                     static_cast<int>(text.size()), text.data(), value, expected);
        std::abort();
    }
}
