#include "field_list.hpp"

#include <cmath>

#include "text_values.hpp"
#include "text_catalogue.hpp"

namespace fieldsearch {

std::optional<std::vector<std::string>> csv_fields(std::string_view line)
{
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool was_quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && (field.empty() || field.find_first_not_of(' ') == std::string::npos) && !was_quoted) {
            field.clear();
            quoted = true;
            was_quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            was_quoted = false;
        } else {
            field += c;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    fields.push_back(std::move(field));
    return fields;
}

namespace {

std::string trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// The column of each name, or -1.
struct Columns {
    int id = -1;
    int time = -1;
    int ra = -1;
    int dec = -1;
    int side = -1;
    int exposure = -1;
    int image = -1;
};

std::string line_error(long line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

namespace {

FieldListResult read_field_list(std::string_view text)
{
    FieldListResult result;
    long line_number = 0;
    bool header_seen = false;
    Columns columns;
    std::size_t column_count = 0;
    while (!text.empty()) {
        const std::string_view line = take_text_line(text);
        ++line_number;
        if (trimmed(line).empty()) {
            continue;
        }
        const std::optional<std::vector<std::string>> fields = csv_fields(line);
        if (!fields) {
            result.error = line_error(line_number, "a quoted field is not closed");
            return result;
        }
        if (!header_seen) {
            header_seen = true;
            column_count = fields->size();
            for (std::size_t i = 0; i < fields->size(); ++i) {
                const std::string name = trimmed((*fields)[i]);
                const int at = static_cast<int>(i);
                int* slot = name == "id"            ? &columns.id
                            : name == "time"        ? &columns.time
                            : name == "ra_deg"      ? &columns.ra
                            : name == "dec_deg"     ? &columns.dec
                            : name == "side_arcmin" ? &columns.side
                            : name == "exposure_s"  ? &columns.exposure
                            : name == "image"       ? &columns.image
                                                    : nullptr;
                if (slot != nullptr && *slot >= 0) {
                    result.error = line_error(line_number, "the column '" + name + "' is named twice");
                    return result;
                }
                if (slot != nullptr) {
                    *slot = at;
                }
            }
            for (const auto& [name, at] : {std::pair<const char*, int>{"id", columns.id},
                                           {"time", columns.time},
                                           {"ra_deg", columns.ra},
                                           {"dec_deg", columns.dec},
                                           {"side_arcmin", columns.side}}) {
                // A list of images alone needs no instant, centre or side.
                const bool needed = std::string_view(name) == "id" || columns.image < 0;
                if (at < 0 && needed) {
                    result.error = line_error(line_number, std::string("the header has no column '") + name + "'");
                    return result;
                }
            }
            continue;
        }
        if (fields->size() != column_count) {
            result.error = line_error(line_number, std::to_string(fields->size()) + " fields where the header names " +
                                                       std::to_string(column_count));
            return result;
        }
        auto cell = [&](int at) { return at < 0 ? std::string() : trimmed((*fields)[static_cast<std::size_t>(at)]); };
        FieldListRow row;
        row.line = line_number;
        row.id = cell(columns.id);
        row.image = cell(columns.image);
        if (row.id.empty()) {
            result.error = line_error(line_number, "the field has no id");
            return result;
        }
        const bool from_image = !row.image.empty();
        // A number of the row: empty is allowed only where an image gives it.
        auto number = [&](int at, const char* name, std::optional<double>& out, bool may_be_empty) {
            const std::string text = cell(at);
            if (text.empty()) {
                if (!may_be_empty) {
                    result.error = line_error(line_number, std::string(name) + " is empty");
                }
                return may_be_empty;
            }
            out = number_from_text(text);
            if (!out) {
                result.error = line_error(line_number, std::string(name) + " '" + text + "' is not a number");
            }
            return out.has_value();
        };
        const std::string time = cell(columns.time);
        if (!time.empty()) {
            row.time = instant_from_text(time);
            if (!row.time) {
                result.error = line_error(line_number, "time '" + time +
                                                           "' is not an existing UTC date and time "
                                                           "YYYY-MM-DDTHH:MM:SS[.sss] between the years 1900 and 2099");
                return result;
            }
        } else if (!from_image) {
            result.error = line_error(line_number, "time is empty");
            return result;
        }
        if (!number(columns.ra, "ra_deg", row.ra_deg, from_image) ||
            !number(columns.dec, "dec_deg", row.dec_deg, from_image) ||
            !number(columns.side, "side_arcmin", row.side_arcmin, from_image) ||
            !number(columns.exposure, "exposure_s", row.exposure_s, true)) {
            return result;
        }
        if (row.ra_deg && (*row.ra_deg < 0.0 || *row.ra_deg >= 360.0)) {
            result.error = line_error(line_number, "ra_deg " + cell(columns.ra) + " is not in [0, 360)");
            return result;
        }
        if (row.dec_deg && std::fabs(*row.dec_deg) > 90.0) {
            result.error = line_error(line_number, "dec_deg " + cell(columns.dec) + " is not in [-90, 90]");
            return result;
        }
        if (row.side_arcmin && (*row.side_arcmin <= 0.0 || *row.side_arcmin >= 10800.0)) {
            result.error = line_error(line_number, "side_arcmin " + cell(columns.side) +
                                                       " is not greater than 0 and less than 10800");
            return result;
        }
        if (row.exposure_s && (*row.exposure_s < 0.0 || *row.exposure_s > 86400.0)) {
            result.error = line_error(line_number, "exposure_s " + cell(columns.exposure) +
                                                       " is not a length from 0 to 86400 seconds");
            return result;
        }
        if (from_image && (row.ra_deg || row.dec_deg || row.side_arcmin)) {
            result.error = line_error(line_number, "a field from an image takes its centre and side from the frame: "
                                                   "leave ra_deg, dec_deg and side_arcmin empty");
            return result;
        }
        result.rows.push_back(std::move(row));
    }
    if (!header_seen) {
        result.error = "the list is empty: no header line";
    } else if (result.rows.empty()) {
        result.error = "the list holds no field";
    }
    return result;
}

}  // namespace

FieldListResult field_list_from_text(std::string_view text)
{
    FieldListResult result = read_field_list(text);
    if (!result.error.empty()) {
        result.rows.clear();
    }
    return result;
}

}  // namespace fieldsearch
