#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "csv_rows.hpp"
#include "frame_rows.hpp"
#include "json_document.hpp"
#include "rows.hpp"
#include "text_report.hpp"

using namespace fieldsearch;

namespace {

// A row of every kind of value: a catalogue number, a name with a comma, a
// place at full precision, a value to 3 decimals that rounds, a negative
// zero, an absent value, a sign.
Row sample_row()
{
    Row row;
    row.values = {designation_value("  26016"), text_value("SAT, \"X\""), real_value(0.1 + 0.2, ALL_DIGITS),
                  real_value(2.0004999, 3),     real_value(-0.0001, 3),    real_value(NAN, 3),
                  text_value("-")};
    return row;
}

const RowColumns SAMPLE_COLUMNS{"number", "name", "ra_deg", "v_mag", "motion", "age", "dec_sign"};

}  // namespace

// Designations: a catalogue number is a whole number (not 26016.0), a
// comet's "999P" or a provisional designation stays text, a blank one is
// absent; padding blanks go.
TEST(RowValues, DesignationsAreNumbersOnlyWhenTheyAreNumbers)
{
    const struct { const char* text; ValueKind kind; long long whole; const char* shown; } cases[] = {
        {"  26016", ValueKind::whole, 26016, ""},
        {"999P", ValueKind::text, 0, "999P"},
        {" 1974 EG54 ", ValueKind::text, 0, "1974 EG54"},
        {"      ", ValueKind::absent, 0, ""},
        {"C/2014 UN271", ValueKind::text, 0, "C/2014 UN271"},
        {"999999999999999999", ValueKind::whole, 999999999999999999LL, ""},
        {"7777777777777777777", ValueKind::text, 0, "7777777777777777777"},
        {"77777777777777777777777x", ValueKind::text, 0, "77777777777777777777777x"},
    };
    for (const auto& c : cases) {
        const RowValue v = designation_value(c.text);
        EXPECT_EQ(v.kind, c.kind) << c.text;
        EXPECT_EQ(v.whole, c.whole) << c.text;
        EXPECT_EQ(v.text, c.shown) << c.text;
    }
    EXPECT_EQ(real_value(INFINITY, 3).kind, ValueKind::absent);
}

// CSV: whole numbers without a fraction, reals to their decimals or to 17
// significant digits (which read back to the same double), absent values
// empty, texts quoted when they hold a comma or a quote; the field's id
// first when asked.
TEST(CsvRows, FormatEachKindOfValue)
{
    EXPECT_EQ(csv_header_line(SAMPLE_COLUMNS, false), "number,name,ra_deg,v_mag,motion,age,dec_sign\n");
    EXPECT_EQ(csv_header_line(SAMPLE_COLUMNS, true), "field,number,name,ra_deg,v_mag,motion,age,dec_sign\n");
    const std::string line = csv_row_line(sample_row(), false, "");
    EXPECT_EQ(line, "26016,\"SAT, \"\"X\"\"\",0.30000000000000004,2.000,-0.000,,-\n");
    EXPECT_EQ(std::stod("0.30000000000000004"), 0.1 + 0.2);
    EXPECT_EQ(csv_row_line(sample_row(), true, "f 1,a"), "\"f 1,a\"," + line);
}

// JSON: integers as integers, reals as the number the CSV prints, absent as
// null, texts as strings, the field first and the columns in order; bytes
// that are no UTF-8 (a Latin-1 name, a character cut in half) become U+FFFD
// instead of aborting the document.
TEST(JsonDocument, RowsCarryTypedValuesAndStayValidUtf8)
{
    const std::string text = json_row_text(sample_row(), SAMPLE_COLUMNS, "f1");
    const nlohmann::ordered_json row = nlohmann::ordered_json::parse(text);
    EXPECT_TRUE(row["number"].is_number_integer());
    EXPECT_EQ(row["number"], 26016);
    EXPECT_EQ(row["name"], "SAT, \"X\"");
    EXPECT_EQ(row["ra_deg"].get<double>(), 0.1 + 0.2);
    EXPECT_EQ(row["v_mag"].get<double>(), 2.0);
    EXPECT_TRUE(row["age"].is_null());
    EXPECT_EQ(row.begin().key(), "field");
    EXPECT_EQ(row["field"], "f1");
    std::vector<std::string> keys;
    for (auto it = row.begin(); it != row.end(); ++it) {
        keys.push_back(it.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"field", "number", "name", "ra_deg", "v_mag", "motion", "age", "dec_sign"}));

    for (const std::string& bad : {std::string("CAF\xC9"), std::string("\xD0\x9C\xD0"), std::string("\xFF\xFE")}) {
        const std::string value = json_value_text(text_value(bad));
        const nlohmann::json parsed = nlohmann::json::parse(value);
        EXPECT_NE(parsed.get<std::string>().find("\xEF\xBF\xBD"), std::string::npos) << value;
    }
    EXPECT_EQ(nlohmann::json::parse(json_value_text(text_value("\xD0\x9C\xD0\xB8\xD1\x80"))).get<std::string>(),
              "\xD0\x9C\xD0\xB8\xD1\x80");
}

// The document parses and holds each field's scenario as it was searched
// (not a blank one) and every row once, in order.
TEST(JsonDocument, HoldsTheScenarioSearchedAndEveryRow)
{
    Scenario scenario{{2008, 5, 20, 5, 14, 0.0}, Vector3{{1.0, 2.0, 3.0}},
                      field_centre_from_degrees(0.5, -0.25), 45.0, 18.5};
    SearchPlan plan;
    plan.fields.push_back(field_search(scenario, 60.0));
    plan.fields.back().id = "a";
    plan.fields.push_back(field_search(scenario));
    plan.fields.back().id = "b";
    const std::vector<std::string> rows{json_row_text(sample_row(), SAMPLE_COLUMNS, "a") + "\n",
                                        json_row_text(sample_row(), SAMPLE_COLUMNS, "b") + "\n" +
                                            json_row_text(sample_row(), SAMPLE_COLUMNS, "b") + "\n"};
    const nlohmann::json document = nlohmann::json::parse(json_document(plan, "astfield", "x.dat", rows, 7));
    EXPECT_EQ(document["program"], "astfield");
    EXPECT_EQ(document["records_read"], 7);
    ASSERT_EQ(document["fields"].size(), 2u);
    EXPECT_EQ(document["fields"][0]["time_utc"], "2008-05-20T05:14:00.000Z");
    EXPECT_EQ(document["fields"][0]["side_arcmin"], 90.0);
    EXPECT_EQ(document["fields"][0]["exposure_s"], 60.0);
    EXPECT_DOUBLE_EQ(document["fields"][0]["rows_utc_mjd"].get<double>(),
                     mjd_from_calendar(20, 5, 2008, 5, 14, 30.0));
    EXPECT_EQ(document["fields"][1]["mag_limit"], 18.5);
    EXPECT_EQ(document["fields"][1]["centre_dec_deg"], -0.25);
    ASSERT_EQ(document["rows"].size(), 3u);
    EXPECT_EQ(document["rows"][0]["field"], "a");
    EXPECT_EQ(document["rows"][2]["field"], "b");
    EXPECT_TRUE(nlohmann::json::parse(json_document(SearchPlan{}, "p", "c", {}, 0))["rows"].empty());
}

// The report's fixed columns: designations right-aligned (a longer one
// overflows), a blank then a name cut to fit, a name padded and cut on a
// character boundary, integers and reals to their widths, a sign, and
// blanks of the width where a value is absent.
TEST(TextReport, RowsKeepTheirFixedColumns)
{
    Row row;
    row.values = {designation_value("4101"), text_value("A very long name"), text_value("\xD0\x9C\xD0\x98R"),
                  whole_value(7), real_value(5.125, 3), text_value("-"), absent_value(), designation_value("1234567")};
    const TextRowLayout layout{{{"|", 0, TextStyle::right_aligned, 6},
                                {"|", 1, TextStyle::blank_then_left, 11},
                                {"|", 2, TextStyle::left_padded, 3},
                                {"|", 3, TextStyle::integer, 3},
                                {"|", 4, TextStyle::fixed, 6, 2},
                                {"|", 5, TextStyle::character, 1},
                                {"|", 6, TextStyle::fixed, 4, 1},
                                {"|", 7, TextStyle::right_aligned, 6}},
                               "|\n"};
    EXPECT_EQ(text_row(row, layout), "|  4101| A very lon|\xD0\x9C |  7|  5.12|-|    |1234567|\n");
}

// A row whose last values are absent (a tracklet without candidates) ends
// at its last value shown: no blanks before the line end, whatever the
// style of the columns left empty; a row of nothing is an empty line.
TEST(TextReport, RowsEndWithoutBlanks)
{
    const TextRowLayout layout{{{"  ", 0, TextStyle::integer, 4},
                                {" ", 1, TextStyle::left_padded, 8},
                                {" ", 2, TextStyle::fixed, 7, 3},
                                {" ", 3, TextStyle::blank_then_left, 10},
                                {" ", 4, TextStyle::right_aligned, 6},
                                {" ", 5, TextStyle::character, 1}},
                               "\n"};
    struct Case {
        std::vector<RowValue> values;
        const char* line;
    };
    const Case cases[] = {
        {{whole_value(12), text_value("ab"), absent_value(), absent_value(), absent_value(), absent_value()},
         "    12 ab\n"},
        {{whole_value(12), text_value("ab"), real_value(1.5, 3)}, "    12 ab         1.500\n"},
        {{whole_value(3), text_value("ab   "), absent_value(), designation_value("X"), absent_value(), text_value("")},
         "     3 ab                X\n"},
        {{absent_value(), text_value("  ")}, "\n"},
        {{whole_value(1), text_value("a"), real_value(2.0, 3), designation_value("Ceres"), designation_value("7"),
          text_value("-")},
         "     1 a          2.000  Ceres          7 -\n"},
    };
    for (const Case& c : cases) {
        Row row;
        row.values = c.values;
        EXPECT_EQ(text_row(row, layout), c.line);
    }
}

// The columns of images and exposures: as many values as names for every
// combination, the pixel to 0.001 px, an exposure's places at full
// precision and its times to the millisecond, and empty fields (not zeros)
// where a row has no such value.
TEST(FrameRows, ExtraColumnsMatchTheirValues)
{
    RowExtras extras;
    extras.pixel = PixelPosition{12.34567, -0.0004};
    extras.exposure = true;
    extras.ra_start_deg = 0.1 + 0.2;
    extras.dec_start_deg = -1.0;
    extras.ra_end_deg = 359.5;
    extras.dec_end_deg = 2.0;
    extras.t_in_s = 1.23456;
    extras.t_out_s = 60.0;
    extras.pixel_end = PixelPosition{1.0, 2.0};
    const struct { bool image, exposure; const char* header; const char* line; } cases[] = {
        {false, false, "\n", "\n"},
        {true, false, "x,y\n", "12.346,-0.000\n"},
        {false, true, "ra_start_deg,dec_start_deg,ra_end_deg,dec_end_deg,t_in_s,t_out_s\n",
         "0.30000000000000004,-1,359.5,2,1.235,60.000\n"},
        {true, true, "x,y,ra_start_deg,dec_start_deg,ra_end_deg,dec_end_deg,t_in_s,t_out_s,x_start,y_start,x_end,y_end\n",
         "12.346,-0.000,0.30000000000000004,-1,359.5,2,1.235,60.000,,,1.000,2.000\n"},
    };
    for (const auto& c : cases) {
        const ExtraColumns extra{c.image, c.exposure};
        RowColumns columns;
        append_extra_columns(extra, columns);
        Row row;
        append_extra_values(extra, extras, row);
        ASSERT_EQ(row.values.size(), columns.size());
        EXPECT_EQ(csv_header_line(columns, false), c.header);
        EXPECT_EQ(csv_row_line(row, false, ""), c.line);
        Row none;
        append_extra_values(extra, RowExtras{}, none);
        EXPECT_EQ(csv_row_line(none, false, ""), std::string(columns.empty() ? 0 : columns.size() - 1, ',') + "\n");
    }
}
