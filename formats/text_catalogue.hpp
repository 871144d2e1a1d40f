// Reading a catalogue file line by line as text: carriage returns are
// dropped wherever they stand, a line feed ends a line, a byte 0x1A (Ctrl-Z)
// ends the file, and a last line without a line feed is still a line. The
// file is read in blocks of fixed size, so memory stays constant whatever the
// size of the file or of a line. A gzip-compressed file is read the same
// way through zlib, as a stream, without unpacking it anywhere.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

namespace fieldsearch {

// The first line of a text held whole in memory, without its line feed (and
// a carriage return before it), taken off the front of `text`.
std::string_view take_text_line(std::string_view& text);

class TextCatalogueReader {
public:
    // Reads from `file` (not owned). Lines longer than max_kept_bytes are
    // delivered cut to their first max_kept_bytes characters; full_length()
    // tells the length they had.
    explicit TextCatalogueReader(std::FILE* file, std::size_t max_kept_bytes = 4096);

    // Reads the gzip stream of `file` (not owned, positioned at its start;
    // left open): the same lines as from the uncompressed bytes. A stream
    // that is corrupt or cut short ends the lines with a read error.
    TextCatalogueReader(std::FILE* file, bool gzip_compressed, std::size_t max_kept_bytes = 4096);

    ~TextCatalogueReader();
    TextCatalogueReader(const TextCatalogueReader&) = delete;
    TextCatalogueReader& operator=(const TextCatalogueReader&) = delete;

    // The next line, without its line end; false at the end of the file or
    // after a read error. The view stays valid until the next call.
    bool next_line(std::string_view& line);

    // The text read ahead and not yet delivered (at least the file's first
    // block, or all of it when shorter), carriage returns dropped and cut at
    // a Ctrl-Z: lets a caller recognise the form of the file before reading it.
    std::string_view look_ahead();

    // Appends all that is not yet delivered, to the end of the file, to
    // `text`; false, having stopped, when that would pass max_bytes.
    bool read_rest(std::string& text, std::size_t max_bytes);

    // Length of the last line delivered before any cut, carriage returns not counted.
    std::size_t full_length() const { return full_length_; }

    // 1-based number of the last line delivered.
    long line_number() const { return line_number_; }

    // True when reading stopped on an error of the file rather than its end.
    bool read_error() const { return read_error_; }

    // The system's error number of that read error (0 if it gave none).
    int read_errno() const { return read_errno_; }

    // What went wrong, for a read error that no system error number tells
    // (a corrupt or truncated compressed stream); empty otherwise.
    const std::string& read_error_text() const { return read_error_text_; }

private:
    bool fill();
    bool next_long_line(std::string_view& line);
    std::size_t read_block(char* start, std::size_t room);

    std::FILE* file_;
    gzFile gz_ = nullptr;
    std::size_t max_kept_bytes_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool end_of_file_ = false;
    bool read_error_ = false;
    int read_errno_ = 0;
    std::string read_error_text_;
    std::size_t full_length_ = 0;
    long line_number_ = 0;
    std::string long_line_;
};

// Consecutive lines of a catalogue, kept in one buffer.
struct CatalogueLines {
    struct Line {
        long number;               // 1-based line of the file
        std::size_t offset;        // into text
        std::size_t length;        // as kept
        std::size_t full_length;   // before any cut
    };
    std::string text;
    std::vector<Line> lines;
    std::string_view line(const Line& l) const { return std::string_view(text).substr(l.offset, l.length); }
};

// Reads the next `most` lines (fewer at the end) into `block`, replacing what
// it held; false at the end of the catalogue.
bool read_catalogue_lines(TextCatalogueReader& reader, CatalogueLines& block, std::size_t most);

}  // namespace fieldsearch
