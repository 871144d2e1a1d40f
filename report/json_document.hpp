// The JSON document of a run: the program, the catalogue, every field's
// scenario, the records read, and every row as an object under the CSV's
// column names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rows.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

// The JSON form of one value: null when absent, whole numbers as JSON
// integers, real numbers as the number the CSV prints (rounded to its
// decimals), texts as strings (bytes that are not UTF-8 replaced by U+FFFD).
std::string json_value_text(const RowValue& value);

// One row as a JSON object on one line: "field" with the field's id first,
// then each column under its name, in the columns' order.
std::string json_row_text(const Row& row, const RowColumns& columns, std::string_view field_id);

// The scenario of one field as a JSON object: id, time_utc (its start),
// start_utc_mjd, exposure_s, rows_utc_mjd, centre_ra_deg, centre_dec_deg,
// side_arcmin, observer_earth_fixed_km, mag_limit.
std::string json_field_text(const FieldSearch& field);

// The whole document, line end included: `row_texts` holds the rows of each
// field in turn (json_row_text, one per line), in the order of the plan.
std::string json_document(const SearchPlan& plan, std::string_view program, std::string_view catalogue,
                          const std::vector<std::string>& row_texts, int records_read);

}  // namespace fieldsearch
