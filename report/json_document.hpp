// The JSON document of a run: the program, the catalogue, every field's
// scenario, the records read, and every row as an object under the CSV's
// column names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rows.hpp"
#include "search_plan.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The JSON form of one value: null when absent, whole numbers as JSON
// integers, real numbers as the number the CSV prints (rounded to its
// decimals), texts as strings (bytes that are not UTF-8 replaced by U+FFFD).
std::string json_value_text(const RowValue& value);

// One row as a JSON object on one line: "field" with the field's id first,
// then each column under its name, in the columns' order.
std::string json_row_text(const Row& row, const RowColumns& columns, std::string_view field_id);

// One row as a JSON object on one line: each column under its name, in the
// columns' order.
std::string json_object_text(const Row& row, const RowColumns& columns);

// A text as a JSON string, quotes included (bytes that are not UTF-8
// replaced by U+FFFD).
std::string json_string_text(std::string_view text);

// The Sun's geometric geocentric position (km, mean equator and equinox of
// J2000.0) at a TDB MJD: the ephemeris a program hands to its writers.
using SunPositionFunction = Vector3 (*)(double tdb);

// The sky of a field at its start (the exposure's start, or its instant)
// as its site sees it: the geometric altitudes, degrees, of the field's
// centre and of the Sun (no refraction, above the plane normal to the
// ellipsoid at the site, from the programs' own Earth-fixed frame; the Sun
// seen from the site, its parallax included). Empty for an observer at the
// Earth's centre, and the Sun's without an ephemeris.
struct FieldSky {
    std::optional<double> centre_altitude_deg;
    std::optional<double> sun_altitude_deg;
};

// The sky of `field` at its start, the Sun from `sun` (none when null).
FieldSky field_sky(const FieldSearch& field, SunPositionFunction sun);

// The scenario of one field as a JSON object: id, time_utc (its start),
// start_utc_mjd, exposure_s, rows_utc_mjd, centre_ra_deg, centre_dec_deg,
// side_arcmin, observer_earth_fixed_km, mag_limit, centre_altitude_deg and
// sun_altitude_deg (from `sky`, to 1e-6 deg; null where empty).
std::string json_field_text(const FieldSearch& field, const FieldSky& sky = {});

// The whole document, line end included: `row_texts` holds the rows of each
// field in turn (json_row_text, one per line), in the order of the plan;
// `skies` the sky of each field (a field beyond it has none). A count of
// superseded element sets above zero follows records_read as superseded_sets.
std::string json_document(const SearchPlan& plan, std::string_view program, std::string_view catalogue,
                          const std::vector<std::string>& row_texts, int records_read,
                          const std::vector<FieldSky>& skies = {}, int superseded_sets = 0);

}  // namespace fieldsearch
