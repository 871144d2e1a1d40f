#include "catalogue_record.hpp"

#include <cerrno>
#include <cstring>

#include "fixed_columns.hpp"
#include "mpcorb_record.hpp"
#include "formatted_text.hpp"
#include "text_catalogue.hpp"

namespace fieldsearch {

namespace {

// Blanks around digits with one decimal point.
bool is_decimal_column(std::string_view text)
{
    const std::size_t point = text.find('.');
    return point != std::string_view::npos && text.find_first_not_of(" 0123456789.") == std::string_view::npos &&
           text.find('.', point + 1) == std::string_view::npos && text.find_first_of("0123456789") != std::string_view::npos;
}

// A line of at least ten dashes and nothing else but blanks ends a preamble.
bool is_dashes_line(std::string_view line)
{
    const std::string_view trimmed = line.substr(0, line.find_last_not_of(' ') + 1);
    return trimmed.size() >= 10 && trimmed.find_first_not_of('-') == std::string_view::npos;
}

// A fixed-column asteroid record: long enough, the epoch yyyymmdd in columns
// 107-114 and decimal numbers for e and a in columns 159-168 and 170-181.
bool looks_like_astorb_record(std::string_view line)
{
    if (line.size() < static_cast<std::size_t>(ASTORB_COLUMNS_READ)) {
        return false;
    }
    return line.substr(106, 8).find_first_not_of("0123456789") == std::string_view::npos &&
           is_decimal_column(columns(line, 159, 168)) && is_decimal_column(columns(line, 170, 181));
}

std::optional<CatalogueLayout> layout_of_line(std::string_view line)
{
    if (looks_like_astorb_record(line)) {
        return CatalogueLayout::astorb;
    }
    if (looks_like_mpcorb_record(line)) {
        return CatalogueLayout::mpcorb;
    }
    if (looks_like_comet_record(line)) {
        return CatalogueLayout::comets;
    }
    return std::nullopt;
}

// The columns a record of the layout needs.
int columns_read(CatalogueLayout layout)
{
    switch (layout) {
    case CatalogueLayout::astorb:
        return ASTORB_COLUMNS_READ;
    case CatalogueLayout::mpcorb:
        return MPCORB_COLUMNS_READ;
    case CatalogueLayout::comets:
        return COMET_COLUMNS_READ;
    }
    return ASTORB_COLUMNS_READ;
}

CatalogueLine asteroid_line(const AstorbRecord& record, bool epoch_is_date)
{
    if (!has_elliptic_elements(record)) {
        return {CatalogueLine::Kind::bad_record,
                formatted("elements describe no ellipse (e = %.8g, a = %.8g AU) or are not finite, not evaluated",
                          record.eccentricity, record.semimajor_axis),
                record};
    }
    if (!epoch_is_date) {
        return {CatalogueLine::Kind::bad_record, "the packed epoch in columns 21-25 is no date, not evaluated",
                record};
    }
    return {CatalogueLine::Kind::record, {}, record};
}

CatalogueLine comet_line(const CometRecord& record)
{
    if (!has_valid_comet_elements(record)) {
        return {CatalogueLine::Kind::bad_record,
                formatted("elements describe no conic (q = %.8g AU, e = %.8g, perihelion %d-%d-%.4f) or are not "
                          "finite, not evaluated",
                          record.perihelion_distance, record.eccentricity, record.perihelion_year,
                          record.perihelion_month, record.perihelion_day),
                record};
    }
    return {CatalogueLine::Kind::record, {}, record};
}

}  // namespace

const char* catalogue_layout_name(CatalogueLayout layout)
{
    switch (layout) {
    case CatalogueLayout::astorb:
        return "astorb";
    case CatalogueLayout::mpcorb:
        return "MPCORB";
    case CatalogueLayout::comets:
        return "comets";
    }
    return "astorb";
}

std::optional<CatalogueFormat> detect_catalogue_format(const std::vector<std::string>& first_lines,
                                                       std::optional<CatalogueLayout> forced)
{
    const std::size_t count = std::min<std::size_t>(first_lines.size(), LAYOUT_DETECTION_LINES);
    long header_lines = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (is_dashes_line(first_lines[k])) {
            header_lines = static_cast<long>(k) + 1;
            break;
        }
    }
    if (forced) {
        return CatalogueFormat{*forced, header_lines};
    }
    bool any_line = false;
    for (std::size_t k = static_cast<std::size_t>(header_lines); k < count; ++k) {
        if (is_blank_line(first_lines[k])) {
            continue;
        }
        any_line = true;
        if (const std::optional<CatalogueLayout> layout = layout_of_line(first_lines[k])) {
            return CatalogueFormat{*layout, header_lines};
        }
    }
    if (!any_line) {
        return CatalogueFormat{CatalogueLayout::astorb, header_lines};
    }
    return std::nullopt;
}

CatalogueLine parse_catalogue_line(const CatalogueFormat& format, long line_number, std::string_view line,
                                   std::size_t full_length)
{
    if (line_number <= format.header_lines) {
        return {CatalogueLine::Kind::skipped, {}, AstorbRecord{}};
    }
    const int needed = columns_read(format.layout);
    if (full_length < static_cast<std::size_t>(needed)) {
        if (is_blank_line(line)) {
            return {CatalogueLine::Kind::skipped, {}, AstorbRecord{}};
        }
        return {CatalogueLine::Kind::not_a_record,
                formatted("record shorter than %d characters (%zu), skipped", needed, full_length), AstorbRecord{}};
    }
    switch (format.layout) {
    case CatalogueLayout::astorb:
        return asteroid_line(parse_astorb_record(line), true);
    case CatalogueLayout::mpcorb: {
        const AstorbRecord record = parse_mpcorb_record(line);
        return asteroid_line(record, record.epoch_month != 0);
    }
    case CatalogueLayout::comets:
        return comet_line(parse_comet_record(line));
    }
    return {CatalogueLine::Kind::skipped, {}, AstorbRecord{}};
}

std::optional<CatalogueFormat> read_catalogue_format(const CatalogueDiagnostics& diagnostics,
                                                     std::optional<CatalogueLayout> forced)
{
    std::FILE* file = std::fopen(diagnostics.path, "rb");
    if (file == nullptr) {
        std::fprintf(diagnostics.err, "%s: cannot open %s: %s\n", diagnostics.program, diagnostics.path,
                     std::strerror(errno));
        return std::nullopt;
    }
    std::vector<std::string> lines;
    bool read_error = false;
    {
        TextCatalogueReader reader(file, is_compressed_catalogue(diagnostics.path));
        std::string_view line;
        while (lines.size() < static_cast<std::size_t>(LAYOUT_DETECTION_LINES) && reader.next_line(line)) {
            lines.emplace_back(line);
        }
        // A read error past the lines looked at is the scan's to report.
        read_error = reader.read_error() && lines.size() < static_cast<std::size_t>(LAYOUT_DETECTION_LINES);
    }
    std::fclose(file);
    const std::optional<CatalogueFormat> format = detect_catalogue_format(lines, forced);
    if (!format && !read_error) {
        std::fprintf(diagnostics.err,
                     "%s: %s: lines 1-%zu match no catalogue layout (astorb: 181 columns, epoch yyyymmdd in "
                     "columns 107-114; MPCORB: packed epoch in columns 21-25; comets: orbit type in column 5, "
                     "perihelion year in columns 15-18), not read\n",
                     diagnostics.program, diagnostics.path, lines.size());
    }
    if (!format && read_error) {
        // The scan that follows reports the read error itself.
        return CatalogueFormat{forced.value_or(CatalogueLayout::astorb), 0};
    }
    return format;
}

std::optional<CatalogueLayout> catalogue_layout_from_name(std::string_view name)
{
    if (name == "astorb") {
        return CatalogueLayout::astorb;
    }
    if (name == "mpcorb") {
        return CatalogueLayout::mpcorb;
    }
    if (name == "comets") {
        return CatalogueLayout::comets;
    }
    return std::nullopt;
}

}  // namespace fieldsearch
