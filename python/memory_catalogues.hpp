// Catalogues read once and kept in memory, searched for any number of plans:
// the rows found as typed values, in the order the programs' CSV prints
// them, and for the asteroids a sky index of each record's bounded track over
// a night so that a warm search evaluates only the records near its field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue_record.hpp"
#include "command_line.hpp"
#include "element_set_history.hpp"
#include "rows.hpp"
#include "search_plan.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

// A search that cannot be made: `file` for a file that cannot be opened or
// read or matches no layout, otherwise a bad value. The message is the
// program's, without its "PROGRAM: " and "--option: " prefixes.
struct SearchRefusal : std::runtime_error {
    SearchRefusal(bool file_problem, const std::string& message) : std::runtime_error(message), file(file_problem) {}
    bool file;
};

// The rows of a search: the CSV's columns (led by "field" when the rows
// carry their field) and each row's values in the CSV's order.
struct FoundRows {
    RowColumns columns;
    std::vector<std::vector<RowValue>> rows;
};

// The rows of an identification of observations, with the messages about
// the observations that cannot be read or placed (as the program prints
// them) and the counts of its closing line.
struct IdentifiedRows {
    FoundRows found;
    std::string messages;
    int tracklets = 0;
    int identified = 0;
};

// Which program's rules a catalogue follows.
enum class CatalogueKind { asteroids, satellites };

// The plan the programs make from `arguments` (options as the command line
// takes them) and, when given, the text of a --fields list; refuses what the
// program refuses, with its message.
SearchPlan plan_from_arguments(CatalogueKind kind, const std::vector<std::string>& arguments,
                               const std::optional<std::string>& fields_text);

// The columns of the rows the program prints as CSV for `plan` (led by
// "field" when they carry their field).
RowColumns plan_columns(CatalogueKind kind, const SearchPlan& plan);

// The kind of catalogue a file holds, told from its first lines: asteroids
// when they read as one of the asteroid layouts, else satellites.
CatalogueKind catalogue_kind_of_file(const std::string& path);

// The sky index of a night: for each tile of a grid covering the sky, the
// records whose apparent place may fall in it at some instant of the night.
struct NightSkyIndex;

class AsteroidCatalogue {
public:
    // Reads every record of the catalogue at `path` (any layout the asteroid
    // program reads, gzip included; `layout` "astorb", "mpcorb" or "comets"
    // forces one). Throws SearchRefusal.
    AsteroidCatalogue(const std::string& path, const std::optional<std::string>& layout);
    ~AsteroidCatalogue();

    // The rows the asteroid program prints as CSV for `plan`. `use_index`:
    // a plan of two-body orbits and fields within INDEX_HALF_SPAN_HOURS of the index's instant
    // evaluates only the records the index names near them (the index is
    // built on first use and again when the night or the observer changes).
    FoundRows search(const SearchPlan& plan, bool use_index);

    // The identification of plan.observations by the records, the rows as
    // the asteroid program prints them as CSV. Throws SearchRefusal
    // (`file`) when the observations or the observatory codes cannot be
    // read or the observations are of no known format.
    IdentifiedRows identify(const SearchPlan& plan) const;

    // Records read (counted as the program counts them) and the messages
    // about lines that are no record, as the program prints them.
    std::size_t record_count() const { return counted_; }
    const std::string& messages() const { return messages_; }
    std::size_t index_builds() const { return index_builds_; }

private:
    std::vector<OrbitRecord> records_;
    std::size_t counted_ = 0;
    std::string messages_;
    std::unique_ptr<NightSkyIndex> index_;
    std::size_t index_builds_ = 0;
};

// An index serves the fields within this many hours of the instant it was
// built for.
inline constexpr double INDEX_HALF_SPAN_HOURS = 10.0;

class SatelliteCatalogue {
public:
    // Reads every element set of the catalogue at `path` (three-line sets or
    // OMM as CSV, JSON or XML). Throws SearchRefusal.
    explicit SatelliteCatalogue(const std::string& path);

    // The rows the satellite program prints as CSV for `plan`.
    FoundRows search(const SearchPlan& plan) const;

    // The rows satfield --observations prints as CSV for plan.observations,
    // with its counts and its messages about observations left out.
    IdentifiedRows identify(const SearchPlan& plan) const;

    std::size_t record_count() const { return counted_; }
    const std::string& messages() const { return messages_; }
    // Element sets superseded at any one instant by a nearer set of their satellite.
    std::size_t superseded_count() const { return superseded_set_count(history_); }

private:
    std::vector<TleRecord> records_;
    ElementSetHistory history_;  // the satellite and epoch of each record
    std::size_t counted_ = 0;
    std::string messages_;
};

}  // namespace fieldsearch
