// Opening and closing a catalogue, and the messages a program gives about it
// on its error stream: "PROGRAM: PATH:LINE: what is wrong", or "PROGRAM:
// PATH: record N: what is wrong" for a catalogue that is one document.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "text_catalogue.hpp"

namespace fieldsearch {

// Who reports on which catalogue, and where to.
struct CatalogueDiagnostics {
    const char* program;
    const char* path;
    std::FILE* err;
};

// The message about one line of the catalogue, printf-style, as a line of
// text (line end included), for a scan that prints its messages in
// catalogue order.
[[gnu::format(printf, 3, 4)]] std::string catalogue_line_message(const CatalogueDiagnostics& diagnostics,
                                                                 long line_number, const char* format, ...);

// The message about one record of a catalogue that is one document (JSON,
// XML; records numbered from 1) as a line of text, line end included.
[[gnu::format(printf, 3, 4)]] std::string catalogue_record_message(const CatalogueDiagnostics& diagnostics,
                                                                   long record_number, const char* format, ...);

// The catalogue opened for reading, or nullptr after a message naming the
// path and the reason.
std::FILE* open_catalogue(const CatalogueDiagnostics& diagnostics);

// True when the path names a gzip-compressed catalogue (it ends in ".gz").
bool is_compressed_catalogue(const char* path);

// True when the line holds nothing but white space.
bool is_blank_line(std::string_view line);

// Ends a scan: reports a read error the reader met, closes the catalogue and
// checks that everything written to `out` got there. Returns 0 when all went
// well, 1 otherwise (with a message).
int close_catalogue(const CatalogueDiagnostics& diagnostics, std::FILE* catalogue, const TextCatalogueReader& reader,
                    std::FILE* out);

// Where a scan's messages about its records go: straight to `err`, or, when
// `hold`, kept in memory until release() writes them there (and dropped if
// it never does, as for a compressed stream found corrupt at its end);
// straight to `err` also when no memory can be had to keep them.
class HeldMessages {
public:
    HeldMessages(std::FILE* err, bool hold);
    ~HeldMessages();
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;

    // The stream to write the messages to.
    std::FILE* stream() const { return memory_ != nullptr ? memory_ : direct_; }

    // Writes what was kept to the `err` of the constructor.
    void release();

private:
    std::FILE* direct_;
    std::FILE* memory_ = nullptr;
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace fieldsearch
