#include "catalogue_record.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <cstring>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fixed_columns.hpp"
#include "mpcorb_record.hpp"
#include "formatted_text.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"

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

// How a field that a record's evaluation reads may be written.
enum class FieldForm {
    decimal,  // blanks, an optional sign, digits with at most one point, blanks
    integer,  // blanks, an optional sign, digits, blanks
    date,     // yyyymmdd, eight digits of a day of the Gregorian calendar
};

// A field that the evaluation reads: its columns (1-based, inclusive), the
// form and the range of its values, and whether it may be left blank.
struct CheckedField {
    const char* name;
    int first;
    int last;
    FieldForm form;
    double minimum;
    double maximum;
    bool may_be_blank;
};

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of `text` when it is written in `form` (blanks around it
// allowed; a date's value is 0), empty when it is not or it is blank. One
// pass over the characters: every record of a catalogue goes through it.
// The digits are gathered into an integer and divided once by a power of
// ten, both exact, so the value is the correctly rounded one, as the
// library's conversion gives it; more digits than an integer holds exactly
// take the library's conversion.
std::optional<double> value_of_form(std::string_view text, FieldForm form)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    const std::size_t begin = i;
    if (form == FieldForm::date) {
        std::size_t end = n;
        while (end > begin && text[end - 1] == ' ') {
            --end;
        }
        const std::string_view body = text.substr(begin, end - begin);
        if (body.size() != 8 || !std::all_of(body.begin(), body.end(), is_digit)) {
            return std::nullopt;
        }
        const int year = integer_from_text(body.substr(0, 4));
        const int month = integer_from_text(body.substr(4, 2));
        const int day = integer_from_text(body.substr(6, 2));
        if (month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month)) {
            return 0.0;
        }
        return std::nullopt;
    }
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction_digits = 0;
    bool point = false;
    for (; i < n && text[i] != ' '; ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            if (digits < 18) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            }
            ++digits;
            fraction_digits += point ? 1 : 0;
        } else if (c == '.' && form == FieldForm::decimal && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    for (; i < n; ++i) {
        if (text[i] != ' ') {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    static constexpr double POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (digits > 15 || fraction_digits > 22) {
        return decimal_from_text(text.substr(begin));
    }
    const double magnitude = static_cast<double>(mantissa) / POWERS_OF_TEN[fraction_digits];
    return negative ? -magnitude : magnitude;
}

// What is wrong with the first of `fields` in `line` that does not hold what
// it may hold; empty when none. Columns past the end of the line are blank.
template <std::size_t N>
std::string field_problem(std::string_view line, const CheckedField (&fields)[N])
{
    for (const CheckedField& field : fields) {
        const std::string_view text = columns(line, field.first, field.last);
        const std::optional<double> value = value_of_form(text, field.form);
        if (value && (field.form == FieldForm::date || (*value >= field.minimum && *value <= field.maximum))) {
            continue;
        }
        if (is_blank_line(text)) {
            if (field.may_be_blank) {
                continue;
            }
            return formatted("%s (columns %d-%d) is blank, not evaluated", field.name, field.first, field.last);
        }
        const std::size_t begin = text.find_first_not_of(' ');
        const std::string shown(text.substr(begin, text.find_last_not_of(' ') + 1 - begin));
        if (!value) {
            return formatted("%s (columns %d-%d) '%s' is not %s, not evaluated", field.name, field.first, field.last,
                             shown.c_str(),
                             field.form == FieldForm::date      ? "a date yyyymmdd"
                             : field.form == FieldForm::integer ? "a whole number"
                                                                : "a number");
        }
        return formatted("%s (columns %d-%d) %s is outside %g to %g, not evaluated", field.name, field.first,
                         field.last, shown.c_str(), field.minimum, field.maximum);
    }
    return {};
}

constexpr double UNBOUNDED = 1.0e300;

// The fields of a fixed-column asteroid record that the search reads. The
// eccentricity's and semimajor axis's limits of an ellipse are checked with
// the orbit (has_elliptic_elements).
constexpr CheckedField ASTORB_FIELDS[] = {
    {"H", 42, 47, FieldForm::decimal, -10.0, 40.0, false},
    {"G", 48, 53, FieldForm::decimal, -1.0, 2.0, false},
    {"epoch", 107, 114, FieldForm::date, 0.0, 0.0, false},
    {"mean anomaly", 115, 125, FieldForm::decimal, 0.0, 360.0, false},
    {"argument of perihelion", 126, 136, FieldForm::decimal, 0.0, 360.0, false},
    {"node", 137, 147, FieldForm::decimal, 0.0, 360.0, false},
    {"inclination", 148, 157, FieldForm::decimal, 0.0, 180.0, false},
    {"eccentricity", 158, 168, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"semimajor axis", 169, 181, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"uncertainty", 191, 198, FieldForm::decimal, 0.0, UNBOUNDED, true},
    {"uncertainty rate", 199, 207, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, true},
    {"uncertainty date", 209, 216, FieldForm::date, 0.0, 0.0, true},
};

// The fields of an MPCORB record that the search reads (its packed epoch is
// checked as it is unpacked).
constexpr CheckedField MPCORB_FIELDS[] = {
    {"H", 8, 13, FieldForm::decimal, -10.0, 40.0, false},
    {"G", 14, 19, FieldForm::decimal, -1.0, 2.0, false},
    {"mean anomaly", 26, 35, FieldForm::decimal, 0.0, 360.0, false},
    {"argument of perihelion", 37, 46, FieldForm::decimal, 0.0, 360.0, false},
    {"node", 48, 57, FieldForm::decimal, 0.0, 360.0, false},
    {"inclination", 59, 68, FieldForm::decimal, 0.0, 180.0, false},
    {"eccentricity", 70, 79, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"semimajor axis", 92, 103, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
};

// The fields of a one-line comet record that the search reads; the
// perihelion's date, q and e are checked with the orbit
// (has_valid_comet_elements).
constexpr CheckedField COMET_FIELDS[] = {
    {"perihelion year", 15, 18, FieldForm::integer, -UNBOUNDED, UNBOUNDED, false},
    {"perihelion month", 20, 21, FieldForm::integer, -UNBOUNDED, UNBOUNDED, false},
    {"perihelion day", 23, 29, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"perihelion distance", 31, 39, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"eccentricity", 41, 49, FieldForm::decimal, -UNBOUNDED, UNBOUNDED, false},
    {"argument of perihelion", 51, 59, FieldForm::decimal, 0.0, 360.0, false},
    {"node", 61, 69, FieldForm::decimal, 0.0, 360.0, false},
    {"inclination", 71, 79, FieldForm::decimal, 0.0, 180.0, false},
    {"epoch", 82, 89, FieldForm::date, 0.0, 0.0, true},
    {"H", 91, 95, FieldForm::decimal, -10.0, 40.0, false},
    {"K", 96, 100, FieldForm::decimal, -100.0, 100.0, false},
};

CatalogueLine refused_line(std::string problem)
{
    return {CatalogueLine::Kind::bad_record, std::move(problem), AstorbRecord{}};
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
        if (std::string problem = field_problem(line, ASTORB_FIELDS); !problem.empty()) {
            return refused_line(std::move(problem));
        }
        return asteroid_line(parse_astorb_record(line), true);
    case CatalogueLayout::mpcorb: {
        const AstorbRecord record = parse_mpcorb_record(line);
        if (record.epoch_month == 0) {
            return asteroid_line(record, false);
        }
        if (std::string problem = field_problem(line, MPCORB_FIELDS); !problem.empty()) {
            return refused_line(std::move(problem));
        }
        return asteroid_line(record, true);
    }
    case CatalogueLayout::comets:
        if (std::string problem = field_problem(line, COMET_FIELDS); !problem.empty()) {
            return {CatalogueLine::Kind::bad_record, std::move(problem), CometRecord{}};
        }
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

namespace {

// The shape of a field: its characters with each digit written as '0'
// and columns past the line's end as blanks. A field's form (blanks, sign,
// digits, point) depends on its shape alone, not on which digits stand where.
constexpr std::size_t SHAPE_BYTES = 16;
using FieldShape = std::array<char, SHAPE_BYTES>;

FieldShape field_shape(std::string_view line, const CheckedField& field)
{
    FieldShape shape{};
    for (int column = field.first; column <= field.last; ++column) {
        const std::size_t k = static_cast<std::size_t>(column - 1);
        const char c = k < line.size() ? line[k] : ' ';
        shape[static_cast<std::size_t>(column - field.first)] = static_cast<unsigned char>(c - '0') < 10 ? '0' : c;
    }
    return shape;
}

constexpr std::size_t ASTORB_FIELD_COUNT = std::size(ASTORB_FIELDS);
static_assert(std::all_of(std::begin(ASTORB_FIELDS), std::end(ASTORB_FIELDS), [](const CheckedField& field) {
    return field.last - field.first + 1 <= static_cast<int>(SHAPE_BYTES);
}));

// A few shapes of one field found sound, most recent first.
constexpr std::size_t SHAPES_KEPT = 4;
struct SoundShapes {
    std::array<FieldShape, SHAPES_KEPT> shapes{};
    std::size_t count = 0;
};

// True when the field of `line` has one of the shapes in `known`. Every
// record of a catalogue goes through this, twelve fields each: where the
// line holds sixteen bytes from the field's start, they are compared at
// once.
bool has_known_shape(std::string_view line, const CheckedField& field, const SoundShapes& known)
{
    const auto begin = static_cast<std::size_t>(field.first - 1);
    const auto width = static_cast<std::size_t>(field.last - field.first + 1);
#if defined(__SSE2__)
    if (begin + SHAPE_BYTES <= line.size()) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + begin));
        const __m128i digit =
            _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(c, _mm_set1_epi8('9' + 1)));
        const __m128i shape = _mm_or_si128(_mm_andnot_si128(digit, c), _mm_and_si128(digit, _mm_set1_epi8('0')));
        const int wanted = (1 << width) - 1;
        for (std::size_t k = 0; k < known.count; ++k) {
            const __m128i kept = _mm_loadu_si128(reinterpret_cast<const __m128i*>(known.shapes[k].data()));
            if ((_mm_movemask_epi8(_mm_cmpeq_epi8(shape, kept)) & wanted) == wanted) {
                return true;
            }
        }
        return false;
    }
#endif
    for (std::size_t k = 0; k < known.count; ++k) {
        bool same = true;
        for (std::size_t j = 0; j < width && same; ++j) {
            const char c = begin + j < line.size() ? line[begin + j] : ' ';
            same = (static_cast<unsigned char>(c - '0') < 10 ? '0' : c) == known.shapes[k][j];
        }
        if (same) {
            return true;
        }
    }
    return false;
}

void remember_shape(SoundShapes& known, const FieldShape& shape)
{
    for (std::size_t k = 0; k < known.count; ++k) {
        if (known.shapes[k] == shape) {
            return;
        }
    }
    std::copy_backward(known.shapes.begin(), known.shapes.end() - 1, known.shapes.end());
    known.shapes[0] = shape;
    known.count = std::min(known.count + 1, SHAPES_KEPT);
}

// True when the eight digits yyyymmdd at `text` name a day of the calendar.
bool is_calendar_date(std::string_view text)
{
    auto digit = [&](std::size_t k) { return text[k] - '0'; };
    const int year = ((digit(0) * 10 + digit(1)) * 10 + digit(2)) * 10 + digit(3);
    const int month = digit(4) * 10 + digit(5);
    const int day = digit(6) * 10 + digit(7);
    return month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month);
}

// True when `line`, whose fields have the shape of a record found sound
// before, holds values within their ranges: the angles as `orbit` read
// them, H and G and the uncertainty read here, the dates checked as days.
// False does not mean unsound, only that the full check must decide.
bool has_sound_values_of_known_shape(std::string_view line, const AstorbRecord& orbit)
{
    const std::optional<double> h = value_of_form(columns(line, 42, 47), FieldForm::decimal);
    const std::optional<double> g = value_of_form(columns(line, 48, 53), FieldForm::decimal);
    if (!h || *h < -10.0 || *h > 40.0 || !g || *g < -1.0 || *g > 2.0) {
        return false;
    }
    if (!(orbit.mean_anomaly >= 0.0 && orbit.mean_anomaly <= 360.0 && orbit.perihelion_argument >= 0.0 &&
          orbit.perihelion_argument <= 360.0 && orbit.node >= 0.0 && orbit.node <= 360.0 &&
          orbit.inclination >= 0.0 && orbit.inclination <= 180.0)) {
        return false;
    }
    if (!is_calendar_date(columns(line, 107, 114))) {
        return false;
    }
    const std::string_view uncertainty = columns(line, 191, 198);
    if (uncertainty.find('-') != std::string_view::npos) {
        return false;
    }
    const std::string_view date = columns(line, 209, 216);
    return date.size() < 8 || date[0] == ' ' || is_calendar_date(date);
}

}  // namespace

bool has_sound_astorb_fields(std::string_view line, const AstorbRecord& orbit)
{
    // Nearly every field of a catalogue is written in one of a few shapes:
    // a record whose fields all have shapes already found sound needs only
    // its values checked. Whatever the cache holds, the answer is the full
    // check's.
    thread_local std::array<SoundShapes, ASTORB_FIELD_COUNT> known;
    bool all_known = true;
    for (std::size_t k = 0; k < ASTORB_FIELD_COUNT && all_known; ++k) {
        all_known = has_known_shape(line, ASTORB_FIELDS[k], known[k]);
    }
    if (all_known && has_sound_values_of_known_shape(line, orbit)) {
        return true;
    }
    if (!field_problem(line, ASTORB_FIELDS).empty()) {
        return false;
    }
    for (std::size_t k = 0; k < ASTORB_FIELD_COUNT; ++k) {
        remember_shape(known[k], field_shape(line, ASTORB_FIELDS[k]));
    }
    return true;
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
