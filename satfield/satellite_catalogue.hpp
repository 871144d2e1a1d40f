// The satellite catalogue read element set by element set, whatever its
// form: element sets of three lines (a name line and the two lines of the
// two-line element format), or Orbit Mean-elements Messages (OMM) as CSV
// with a header line of keyword names, as a JSON array of objects, or as
// XML (one <omm>, or an <ndm> holding several). The form is recognised from
// the content, never from the file name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "omm_record.hpp"
#include "text_catalogue.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

enum class CatalogueForm { three_line, omm_csv, omm_json, omm_xml, unrecognised };

// The form of a catalogue whose first bytes are `start` (a UTF-8 byte-order
// mark and leading white space allowed): JSON when it opens with '{' or with
// '[' and then '{' or ']'; XML when it opens with "<?", "<!", "<omm" or
// "<ndm"; OMM CSV when its first non-blank line names two OMM keywords or
// more; element sets (of three lines, or of two without name lines) when a
// line 1 is followed by the line 2 of its catalogue number within the first
// SATELLITE_FORM_LINES lines that are not blank, or when there are none;
// unrecognised otherwise.
CatalogueForm satellite_catalogue_form(std::string_view start);

// How many lines that are not blank the recognition of element sets looks at.
inline constexpr std::size_t SATELLITE_FORM_LINES = 100;

// The message of a catalogue that matches no form: the forms tried.
std::string unrecognised_catalogue_problem();

enum class EntryKind {
    element_set,    // a set to evaluate, in `record`; counts as a set read
    not_evaluated,  // a set read that cannot be evaluated, `message` says why; counts as a set read
    notice,         // a message only (an over-long line, a set that lacks a line or a field that may be read)
    lines,          // a three-line set not read yet, its lines in `lines` (a reader that defers reading)
};

// One step of the reading: an element set, a set that cannot be evaluated,
// or a notice, with where it stands in the catalogue.
struct ElementSetEntry {
    EntryKind kind;
    long line;          // 1-based line of the set (three-line sets, CSV), else 0
    long record_index;  // 1-based index of the record (JSON, XML), else 0
    long message_line = 0;             // the line the message names, when not the set's own
    std::array<long, 2> element_lines{};  // lines of element lines 1 and 2 (three-line sets)
    TleRecord record;
    std::string message;
    std::array<std::string, 3> lines;  // for EntryKind::lines: the name line, line 1 and line 2
};

// The set of the name line and element lines 1 and 2 into `set`: its kind
// (element_set or not_evaluated), record and message, and the line the
// message names (one of set.element_lines); its line and record index are
// left as they are. A set whose lines are too short or hold a field that is
// not what it may be (tle_field_problem) is not evaluated; a set whose
// checksums are wrong is evaluated, its message saying so.
void read_three_line_set(std::string_view name, std::string_view line1, std::string_view line2,
                         ElementSetEntry& set);

// Lines of three-line sets are kept to this many characters (a two-line
// element line has 69); CSV lines to CSV_MAX_LINE.
inline constexpr std::size_t THREE_LINE_MAX_KEPT = 79;
inline constexpr std::size_t CSV_MAX_LINE = 4096;

// A JSON or XML catalogue is read whole into memory, up to this size.
inline constexpr std::size_t DOCUMENT_MAX_BYTES = std::size_t{256} << 20;

class SatelliteCatalogueReader {
public:
    // Reads from `file` (open, not owned), recognising its form from its first bytes.
    // With `defer_three_line_sets`, the sets of a three-line catalogue come
    // as EntryKind::lines, for read_three_line_set to read (on another
    // thread, say).
    // With `gzip_compressed`, the file is a gzip stream of the catalogue.
    // OMM epochs in TAI, TT or GPS are converted to UTC by `leap_seconds`
    // (the compiled-in table when null; kept by pointer).
    explicit SatelliteCatalogueReader(std::FILE* file, bool defer_three_line_sets = false,
                                      bool gzip_compressed = false, const LeapSecondTable* leap_seconds = nullptr);
    ~SatelliteCatalogueReader();
    SatelliteCatalogueReader(const SatelliteCatalogueReader&) = delete;
    SatelliteCatalogueReader& operator=(const SatelliteCatalogueReader&) = delete;

    // The next entry; false at the end of the catalogue, after a read error,
    // or when the catalogue cannot be read as a whole (see whole_problem()).
    bool next(ElementSetEntry& entry);

    CatalogueForm form() const { return form_; }

    // Why the catalogue cannot be read as a whole (a file of no form known,
    // a JSON or XML document that does not parse or is too large, a CSV
    // header without a required column), or empty.
    const std::string& whole_problem() const { return whole_problem_; }

    // The underlying reader, for its read errors.
    const TextCatalogueReader& text_reader() const { return reader_; }

private:
    struct Document;

    bool next_three_line(ElementSetEntry& entry);
    bool next_csv(ElementSetEntry& entry);
    bool next_document(ElementSetEntry& entry);
    void take_three_line(std::string_view line, std::size_t full_length, long line_number);
    ElementSetEntry& emitted();
    void notice(long line, std::string message);
    void give_up_line1();
    void give_set(std::string_view line2, long line2_number);
    bool read_csv_header(std::string_view line);
    void finish_set(ElementSetEntry& entry, const OmmValues& values);

    TextCatalogueReader reader_;
    CatalogueForm form_;
    bool defer_three_line_sets_;
    std::string whole_problem_;
    bool started_ = false;
    // Element sets: the name line and line 1 waiting for the rest of their set.
    bool have_name_ = false;
    long name_line_ = 0;
    std::string name_;
    bool have_line1_ = false;
    long line1_number_ = 0;
    std::string line1_;
    // Entries of the line being taken: the first in the caller's entry, the
    // others queued for the next calls.
    ElementSetEntry* first_ = nullptr;
    bool first_given_ = false;
    std::vector<ElementSetEntry> queued_;
    std::size_t queued_next_ = 0;
    // OMM CSV: the column of each keyword, or -1.
    std::array<long, OMM_KEYWORD_COUNT> csv_columns_{};
    std::vector<std::string> csv_fields_;
    // OMM JSON or XML.
    std::unique_ptr<Document> document_;
    const LeapSecondTable* leap_seconds_;
};

// Consecutive entries of a catalogue (element sets, sets that cannot be
// evaluated and notices), in catalogue order, read ENTRIES_PER_BLOCK at a
// time for the threads of a scan.
inline constexpr std::size_t ENTRIES_PER_BLOCK = 1024;
struct EntryBlock {
    std::vector<ElementSetEntry> entries;
    std::size_t used = 0;
};

// Reads the next block of entries into `block` (its entries kept for
// reuse); false at the end of the catalogue.
bool read_entries(SatelliteCatalogueReader& catalogue, EntryBlock& block);

// The entry `held` as it is evaluated: itself, or for a three-line set
// whose reading was deferred (EntryKind::lines), the set read into
// `scratch`, its line and record kept.
const ElementSetEntry& evaluated_entry(const ElementSetEntry& held, ElementSetEntry& scratch);

}  // namespace fieldsearch
