// How the rows of a run reach its output. The rows of one field go out as
// they come, in catalogue order; the rows of a list of fields are gathered
// field by field and printed at the end, each field's report (text) or rows
// (CSV, with the field's id in a first column) in the order of the list.
#pragma once

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "frame_overlays.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

// The report header of one field: the scenario, as report_header prints it.
std::string field_report_header(const FieldSearch& field);

// One row found: its field, its text (report row or CSV line), the age of
// the elements it rests on, and its mark on the overlays when they are drawn.
struct FoundRow {
    std::size_t field;
    std::string row;
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

class FieldReports {
public:
    // `table_header` stands above the rows of a text report, `csv_header`
    // is the CSV header line (line ends included); `text_columns` names the
    // CSV columns that JSON gives as strings (the others are numbers).
    FieldReports(const SearchPlan& plan, OutputFormat format, std::FILE* out, std::string table_header,
                 std::string csv_header, std::vector<std::string> text_columns = {});

    // Once the catalogue is open: the table header of the one field's text
    // report, or the CSV header line.
    void begin();

    // One row of the field of index `field` (text row or CSV line, with its
    // line end).
    void add_row(std::size_t field, const std::string& row);

    // A row found, with what the summary and the overlays need of it.
    void add(const FoundRow& found);

    // A block's findings in their turn: its messages to `err`, its rows to
    // their fields; returns the records it held.
    int take(const BlockFindings& findings, std::FILE* err);

    // The marks of the rows of the first field, in catalogue order.
    const std::vector<OverlayObject>& overlays() const { return overlays_; }

    // The line that warns of rows resting on elements more than
    // `stale_after_days` from their epoch (how many, the largest age), or
    // empty when there are none.
    std::string stale_elements_summary(const char* program, double stale_after_days) const;

    // Once the catalogue is read: the count line of every text report
    // (records read), unless the scan was cut short by a read error; for a
    // list of fields, every field's report or rows; the JSON document.
    // `program` and `catalogue` are named in the JSON document.
    void finish(int records, bool complete, const char* program = "", const char* catalogue = "");

private:
    const SearchPlan& plan_;
    OutputFormat format_;
    std::FILE* out_;
    std::string table_header_;
    std::string csv_header_;
    std::vector<std::string> text_columns_;
    bool gathered_;                    // more than one field: rows wait for the end
    std::vector<std::string> rows_;    // per field, when gathered
    std::vector<int> found_;           // rows per field
    std::vector<double> ages_;         // |age| of every row's elements, days
    std::vector<OverlayObject> overlays_;
};

// The JSON document of a run: the program, the catalogue, every field's
// scenario, the records read, whether the scan was complete, and every row
// (field_rows: each field's CSV lines) as an object under the CSV's column
// names, led by its field's id; numbers as JSON numbers, empty values null.
std::string json_document(const SearchPlan& plan, const char* program, const char* catalogue,
                          const std::string& csv_header, const std::vector<std::string>& text_columns,
                          const std::vector<std::string>& field_rows, int records, bool complete);

// The overlays of a field asked for by `output`: the region file and the
// finder chart of the field's rows. Returns 0, or 1 after a message on
// output.err when a file cannot be written.
int write_field_overlays(const FieldSearch& field, const SearchOutput& output, const std::vector<OverlayObject>& objects,
                         OverlayObjectKind kind, const char* program);

// The first part of a run, before the search: the report header of a text
// report of one field (a list of fields prints its headers with its reports).
void begin_run(const SearchPlan& plan, OutputFormat format, std::FILE* out);

}  // namespace fieldsearch
