// The orbit catalogues the asteroid program reads, told apart by their
// records: the fixed-column asteroid catalogue ("astorb"), the one-line
// minor planet export layout ("MPCORB", with or without its text preamble)
// and the one-line comet layout; and one line of any of them as a record.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "astorb_record.hpp"
#include "catalogue_file.hpp"
#include "comet_record.hpp"

namespace fieldsearch {

enum class CatalogueLayout { astorb, mpcorb, comets };

// The layout's name in messages: "astorb", "MPCORB" or "comets".
const char* catalogue_layout_name(CatalogueLayout layout);

// True when every field of the fixed-column asteroid record in `line` that
// the search reads holds what it may hold (numbers where numbers stand,
// within their ranges; the epoch a date), as parse_catalogue_line checks
// them before it evaluates a record. `orbit` is the record's orbit as
// parse_astorb_orbit reads it from `line`.
bool has_sound_astorb_fields(std::string_view line, const AstorbRecord& orbit);

// The layout named "astorb", "mpcorb" or "comets" (as --catalogue-format
// takes it); empty for any other name.
std::optional<CatalogueLayout> catalogue_layout_from_name(std::string_view name);

// A catalogue's layout and the number of lines of its preamble (up to and
// including the line of dashes above the first record; 0 when none).
struct CatalogueFormat {
    CatalogueLayout layout;
    long header_lines;
};

// How many lines from the start the layout is looked for in.
inline constexpr int LAYOUT_DETECTION_LINES = 100;

// The format of a catalogue from its first lines (at most
// LAYOUT_DETECTION_LINES are looked at): a line of dashes ends a preamble,
// and the first non-blank line after it that reads as a record of one
// layout tells the layout. `forced`, when given, is the layout, and only the
// preamble is looked for. A catalogue with no non-blank line reads as astorb
// (it holds no record). Empty when no line matches a layout.
std::optional<CatalogueFormat> detect_catalogue_format(const std::vector<std::string>& first_lines,
                                                       std::optional<CatalogueLayout> forced = std::nullopt);

// One catalogue record: an asteroid (astorb or MPCORB) or a comet.
using OrbitRecord = std::variant<AstorbRecord, CometRecord>;

// What one line of a catalogue holds.
struct CatalogueLine {
    enum class Kind {
        skipped,       // blank or part of the preamble: not counted, no message
        not_a_record,  // too short for a record: reported, not counted
        bad_record,    // a record the evaluation cannot take: reported and counted
        record,        // a record to evaluate: counted
    };
    Kind kind;
    std::string problem;  // for not_a_record and bad_record: what is wrong
    OrbitRecord record;
};

// Line `line_number` (1-based) of a catalogue of `format`: `line` as the
// reader delivers it, `full_length` its length before any cut.
CatalogueLine parse_catalogue_line(const CatalogueFormat& format, long line_number, std::string_view line,
                                   std::size_t full_length);

// The format of the catalogue of `diagnostics`, read from its first lines
// (through zlib for a ".gz" path); empty after a message on the error
// stream naming the lines tried when they match no layout, or when the
// catalogue cannot be read.
std::optional<CatalogueFormat> read_catalogue_format(const CatalogueDiagnostics& diagnostics,
                                                     std::optional<CatalogueLayout> forced);

}  // namespace fieldsearch
