// How the rows of a run reach its output. The evaluating threads format each
// row as the run's writer asks (a report line, a CSV line or a JSON object);
// the rows are gathered field by field in catalogue order, and once the whole
// catalogue has been read the output is made in one piece: every field's
// report (text), one CSV, or one JSON document. A run that cannot read its
// catalogue to the end prints none of it.
#pragma once

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "frame_overlays.hpp"
#include "json_document.hpp"
#include "rows.hpp"
#include "search_plan.hpp"
#include "text_report.hpp"

namespace fieldsearch {

// One row found: its field, its formatted text, the age of the elements it
// rests on, and its mark on the overlays when they are drawn.
struct FoundRow {
    std::size_t field;
    std::string text;
    double elements_age_days = NAN;
    std::optional<OverlayObject> overlay;
};

// What one block of the catalogue gave: the records it held, its messages
// and its rows, in catalogue order.
struct BlockFindings {
    int records = 0;
    std::string messages;
    std::vector<FoundRow> rows;

    void clear()
    {
        records = 0;
        messages.clear();
        rows.clear();
    }
};

// What a program's rows look like: the CSV's and JSON's columns, the text
// report's layout of a row and the table header above the rows.
struct RowFormat {
    RowColumns columns;
    TextRowLayout text_layout;
    std::string table_header;
};

class FieldReports {
public:
    // `sun` gives the Sun's altitude in each field's JSON scenario (null there without it).
    FieldReports(const SearchPlan& plan, OutputFormat format, RowFormat row_format, SunPositionFunction sun = nullptr);

    // The text of a row of field `field` as the run's format writes it (line
    // end included). Safe to call from several threads at once.
    std::string row_text(std::size_t field, const Row& row) const;

    // A block's findings in their turn: its messages to `err`, its rows to
    // their fields; returns the records it held.
    int take(const BlockFindings& findings, std::FILE* err);

    // The marks of the rows of the first field, in catalogue order.
    const std::vector<OverlayObject>& overlays() const { return overlays_; }

    // The line that warns of rows resting on elements more than
    // `stale_after_days` from their epoch (how many, the largest age), or
    // empty when there are none.
    std::string stale_elements_summary(const char* program, double stale_after_days) const;

    // The whole output once the catalogue is read: each field's report with
    // its header, rows and count line (text), the header line and every row
    // (CSV), or the document (JSON, naming the program and the catalogue).
    // `superseded` element sets (of a satellite placed by a nearer set) are
    // noted on the count line and in the document when there are any.
    std::string output(int records, const char* program, const char* catalogue, int superseded = 0) const;

private:
    const SearchPlan& plan_;
    OutputFormat format_;
    RowFormat row_format_;
    SunPositionFunction sun_;
    bool field_column_;                // CSV rows led by their field's id
    std::vector<std::string> rows_;    // per field
    std::vector<int> found_;           // rows per field
    std::vector<double> ages_;         // |age| of every row's elements, days
    std::vector<OverlayObject> overlays_;
};

// Files a run writes beside its output: the region file and the finder
// chart of its one field, opened before the search so that a path that
// cannot be written stops the run before it starts.
struct OverlayFiles {
    std::FILE* regions = nullptr;
    std::FILE* chart = nullptr;
};

// Opens the overlay files `output` names; false, after a message on
// output.err naming the path and the reason, when one cannot be opened
// (none is left behind then).
bool open_overlay_files(const SearchOutput& output, const char* program, OverlayFiles& files);

// Writes the region file and the finder chart of `field` with the marks of
// its rows into the open files, and closes them. Returns 0, or 1 after a
// message on output.err when one cannot be written.
int write_field_overlays(const FieldSearch& field, const SearchOutput& output, OverlayFiles& files,
                         const std::vector<OverlayObject>& objects, OverlayObjectKind kind, const char* program);

// Closes the overlay files and removes them, for a run that failed.
void discard_overlay_files(const SearchOutput& output, OverlayFiles& files);

}  // namespace fieldsearch
