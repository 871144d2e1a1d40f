#include "csv_rows.hpp"

#include "formatted_text.hpp"

namespace fieldsearch {

std::string csv_field(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += '"';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string csv_value(const RowValue& value)
{
    switch (value.kind) {
    case ValueKind::absent:
        return {};
    case ValueKind::whole:
        return formatted("%lld", value.whole);
    case ValueKind::real:
        return value.decimals == ALL_DIGITS ? formatted("%.17g", value.real)
                                            : formatted("%.*f", value.decimals, value.real);
    case ValueKind::text:
        return csv_field(value.text);
    }
    return {};
}

std::string csv_header_line(const RowColumns& columns, bool field_column)
{
    std::string line = field_column ? "field" : "";
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (k > 0 || field_column) {
            line += ',';
        }
        line += columns[k];
    }
    line += '\n';
    return line;
}

std::string csv_row_line(const Row& row, bool field_column, std::string_view field_id)
{
    std::string line = field_column ? csv_field(field_id) : std::string();
    for (std::size_t k = 0; k < row.values.size(); ++k) {
        if (k > 0 || field_column) {
            line += ',';
        }
        line += csv_value(row.values[k]);
    }
    line += '\n';
    return line;
}

}  // namespace fieldsearch
