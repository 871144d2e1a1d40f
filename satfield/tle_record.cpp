#include "tle_record.hpp"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fixed_columns.hpp"
#include "formatted_text.hpp"

namespace fieldsearch {

namespace {

// Copies `text` into `field`, at most field.size() - 1 characters, and
// terminates it; the rest of the field is filled with `fill`.
template <std::size_t N>
void copy_text(std::array<char, N>& field, std::string_view text, char fill)
{
    field.fill(fill);
    const std::size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), n, field.begin());
    field[N - 1] = '\0';
    if (fill == '\0') {
        // A NUL byte inside the columns (a garbled set) becomes a blank, so
        // that the printed row keeps its width.
        std::replace(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(n), '\0', ' ');
        field[n] = '\0';
    }
}

// A field of the element format with an assumed decimal point and a power of
// ten: sign, five digits, the exponent's sign and digit (" 12345-4" is
// 0.12345e-4), converted as atof converts ".12345e-4" with the sign in front.
double assumed_decimal_field(std::string_view field)
{
    // The usual shape, sign, five digits, exponent sign and digit: the
    // value is m / 10^(5 - x), one correctly rounded division of exact
    // numbers (or an exact product), as atof rounds it.
    if (field.size() == 8 && (field[0] == ' ' || field[0] == '+' || field[0] == '-') &&
        std::all_of(field.begin() + 1, field.begin() + 6, [](char c) { return c >= '0' && c <= '9'; }) &&
        (field[6] == '+' || field[6] == '-') && field[7] >= '0' && field[7] <= '9') {
        double m = 0.0;
        for (std::size_t i = 1; i < 6; ++i) {
            m = 10.0 * m + (field[i] - '0');
        }
        const int exponent = (field[6] == '-' ? -1 : 1) * (field[7] - '0') - 5;
        const double magnitude = exponent < 0 ? m / FIXED_POINT_POWERS_OF_TEN[-exponent]
                                              : m * FIXED_POINT_POWERS_OF_TEN[exponent];
        return field[0] == '-' ? -magnitude : magnitude;
    }
    char text[16];
    std::size_t n = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (i == 1) {
            text[n++] = '.';
        } else if (i == 6) {
            text[n++] = 'e';
        }
        text[n++] = field[i];
    }
    return decimal_from_text(std::string_view(text, n));
}

bool is_ascii_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The leading digits 10 to 33 of the Alpha-5 letters, A to Z without I and O; -1 for other bytes.
int alpha5_leading_digits(char letter)
{
    if (letter < 'A' || letter > 'Z' || letter == 'I' || letter == 'O') {
        return -1;
    }
    return 10 + (letter - 'A') - (letter > 'I' ? 1 : 0) - (letter > 'O' ? 1 : 0);
}

bool is_blank(char c)
{
    return c == ' ';
}

// A field's text as a message shows it: printable ASCII kept, any other byte as '?'.
std::string shown(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c < ' ' || c > '~') {
            c = '?';
        }
    }
    return out;
}

// Blanks, an optional sign where one is allowed, decimal digits with at
// most one point among them (one digit at least), then blanks.
bool is_decimal_text(std::string_view text, bool sign_allowed)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) {
        ++i;
    }
    if (sign_allowed && i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size() && !is_blank(text[i]); ++i) {
        if (is_ascii_digit(text[i])) {
            ++digits;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    while (i < text.size() && is_blank(text[i])) {
        ++i;
    }
    return digits > 0 && i == text.size();
}

// Columns first..last of a line, cut where the line ends (columns() inline).
std::string_view field_text(std::string_view line, int first, int last)
{
    const std::size_t begin = static_cast<std::size_t>(first - 1);
    if (begin >= line.size()) {
        return {};
    }
    return line.substr(begin, std::min(static_cast<std::size_t>(last - first + 1), line.size() - begin));
}

// True when columns first..last hold blanks, then digits with the point
// `fraction_digits` columns from the end (the form the element format
// writes), checked on sixteen bytes at once; false for any other text, which
// may still be a decimal.
bool is_fixed_point_text(std::string_view line, int first, int last, int fraction_digits)
{
#if defined(__SSE2__)
    const int width = last - first + 1;
    if (width > 16 || last < 16 || static_cast<std::size_t>(last) > line.size()) {
        return false;
    }
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + (last - 16)));
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const unsigned field = (0xFFFFu << (16 - width)) & 0xFFFFu;
    const unsigned digits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values))) &
        field;
    const unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')))) & field;
    const unsigned points = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.')))) & field;
    const unsigned point = 1u << (15 - fraction_digits);
    const unsigned solid = digits | point;
    const unsigned first_solid = solid & (0u - solid);
    return points == point && (digits | blanks | point) == field && (blanks & ~(first_solid - 1)) == 0 && digits != 0;
#else
    (void)line;
    (void)first;
    (void)last;
    (void)fraction_digits;
    return false;
#endif
}

// Blanks, then digits only (one at least).
bool is_whole_number_text(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) {
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), is_ascii_digit);
}

// A catalogue number's five columns: digits after blanks, or Alpha-5.
bool is_catalogue_number_text(std::string_view text)
{
    if (text.size() == 5 && alpha5_leading_digits(text[0]) >= 0) {
        return std::all_of(text.begin() + 1, text.end(), is_ascii_digit);
    }
    return is_whole_number_text(text);
}

// A field with an assumed decimal point and an exponent, as far as the line
// holds it: a sign or blank, up to five digits after blanks, the exponent's
// sign (or a blank) and digit; all blank reads as 0.
bool is_assumed_decimal_text(std::string_view text)
{
    // The form the element format writes: sign or blank, five digits, the exponent's sign and digit.
    if (text.size() == 8 && (text[0] == ' ' || text[0] == '-' || text[0] == '+') && is_ascii_digit(text[1]) &&
        is_ascii_digit(text[2]) && is_ascii_digit(text[3]) && is_ascii_digit(text[4]) && is_ascii_digit(text[5]) &&
        (text[6] == '-' || text[6] == '+') && is_ascii_digit(text[7])) {
        return true;
    }
    if (std::all_of(text.begin(), text.end(), is_blank)) {
        return true;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        bool fits = false;
        if (i == 0) {
            fits = c == ' ' || c == '+' || c == '-';
        } else if (i <= 5) {
            // Blanks only before the digits.
            fits = is_ascii_digit(c) || (c == ' ' && (i == 1 || text[i - 1] == ' '));
        } else if (i == 6) {
            fits = c == '+' || c == '-' || c == ' ';
        } else {
            fits = is_ascii_digit(c);
        }
        if (!fits) {
            return false;
        }
    }
    return true;
}

TleFieldProblem field_problem(int line, int first, int last, const char* field, std::string_view text,
                              const char* should_be)
{
    return {line, formatted("line %d columns %d-%d, the %s, \"%s\" is not %s", line, first, last, field,
                            shown(text).c_str(), should_be)};
}

// The year of a two-digit epoch year, as the element format counts them (00-84 are 2000-2084).
int epoch_full_year(int two_digits)
{
    return two_digits < 85 ? 2000 + two_digits : 1900 + two_digits;
}

bool is_leap_year(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

int tle_line_kind(std::string_view line)
{
    if (line.size() < 2 || line[1] != ' ') {
        return 0;
    }
    return line[0] == '1' ? 1 : line[0] == '2' ? 2 : 0;
}

TleFieldProblem tle_field_problem(std::string_view line1, std::string_view line2, const TleRecord& r)
{
    // Line 1.
    const std::string_view number1 = field_text(line1, 3, 7);
    if (!is_catalogue_number_text(number1)) {
        return field_problem(1, 3, 7, "catalogue number", number1, "a catalogue number");
    }
    const std::string_view year = field_text(line1, 19, 20);
    if (!is_whole_number_text(year)) {
        return field_problem(1, 19, 20, "epoch year", year, "two digits");
    }
    const std::string_view day = field_text(line1, 21, 32);
    if (!is_fixed_point_text(line1, 21, 32, 8) && !is_decimal_text(day, false)) {
        return field_problem(1, 21, 32, "epoch day", day, "a number");
    }
    const int full_year = epoch_full_year(r.epoch_year);
    const double last_day = is_leap_year(full_year) ? 366.0 : 365.0;
    if (!(r.epoch_day >= 1.0 && r.epoch_day < last_day + 1.0)) {
        return {1, formatted("line 1 columns 21-32, the epoch day, \"%s\" is not a day of %d (1 to below %.0f)",
                             shown(day).c_str(), full_year, last_day + 1.0)};
    }
    const std::string_view ndot = field_text(line1, 34, 43);
    if (!is_fixed_point_text(line1, 34, 43, 8) && !is_decimal_text(ndot, true)) {
        return field_problem(1, 34, 43, "first derivative of the mean motion", ndot, "a number");
    }
    if (!(std::fabs(r.ndot2) < 1.0)) {
        return field_problem(1, 34, 43, "first derivative of the mean motion", ndot, "below 1 in size");
    }
    const std::string_view nddot = field_text(line1, 45, 52);
    if (!is_assumed_decimal_text(nddot)) {
        return field_problem(1, 45, 52, "second derivative of the mean motion", nddot,
                             "five digits with an exponent");
    }
    const std::string_view bstar = field_text(line1, 54, 61);
    if (!is_assumed_decimal_text(bstar)) {
        return field_problem(1, 54, 61, "drag term B*", bstar, "five digits with an exponent");
    }
    // Line 2.
    const std::string_view number2 = field_text(line2, 3, 7);
    if (!is_catalogue_number_text(number2)) {
        return field_problem(2, 3, 7, "catalogue number", number2, "a catalogue number");
    }
    if (number2 != number1 && catalogue_number_from_text(number2) != r.norad_number) {
        return field_problem(2, 3, 7, "catalogue number", number2, "line 1's");
    }
    struct Angle {
        int first;
        int last;
        const char* field;
        double largest;
        double value;
    };
    const Angle angles[] = {{9, 16, "inclination", 180.0, r.incl},
                            {18, 25, "right ascension of the ascending node", 360.0, r.node},
                            {35, 42, "argument of perigee", 360.0, r.omega},
                            {44, 51, "mean anomaly", 360.0, r.mean_anom}};
    for (const Angle& a : angles) {
        const std::string_view text = field_text(line2, a.first, a.last);
        if (!is_fixed_point_text(line2, a.first, a.last, 4) && !is_decimal_text(text, false)) {
            return field_problem(2, a.first, a.last, a.field, text, "a number");
        }
        if (!(a.value <= a.largest)) {
            return field_problem(2, a.first, a.last, a.field, text,
                                 a.largest == 180.0 ? "0 to 180 deg" : "0 to 360 deg");
        }
    }
    const std::string_view eccentricity = field_text(line2, 27, 33);
    if (eccentricity.size() != 7 || !std::all_of(eccentricity.begin(), eccentricity.end(), is_ascii_digit)) {
        return field_problem(2, 27, 33, "eccentricity", eccentricity, "seven digits");
    }
    const std::string_view motion = field_text(line2, 53, 63);
    if (!is_fixed_point_text(line2, 53, 63, 8) && !is_decimal_text(motion, false)) {
        return field_problem(2, 53, 63, "mean motion", motion, "a number");
    }
    if (!(r.n > 0.0)) {
        return field_problem(2, 53, 63, "mean motion", motion, "positive");
    }
    return {};
}

int tle_line_checksum(std::string_view line)
{
    const std::string_view counted = line.substr(0, 68);
    unsigned sum = 0;
    std::size_t at = 0;
#if defined(__SSE2__)
    // Sixteen columns at a time: each digit's value and 1 for each minus
    // sign, summed across the bytes.
    __m128i total = _mm_setzero_si128();
    for (; at + 16 <= counted.size(); at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(counted.data() + at));
        const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
        const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
        const __m128i minus = _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')), _mm_set1_epi8(1));
        const __m128i counts = _mm_or_si128(_mm_and_si128(values, is_digit), minus);
        total = _mm_add_epi64(total, _mm_sad_epu8(counts, _mm_setzero_si128()));
    }
    sum = static_cast<unsigned>(_mm_cvtsi128_si32(total)) +
          static_cast<unsigned>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(total, total)));
#endif
    for (; at < counted.size(); ++at) {
        const char c = counted[at];
        const unsigned digit = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
        sum += (digit <= 9 ? digit : 0u) + (c == '-' ? 1u : 0u);
    }
    return static_cast<int>(sum % 10);
}

std::string tle_checksum_problem(std::string_view line1, std::string_view line2)
{
    std::string problem;
    const std::string_view lines[] = {line1, line2};
    for (int k = 0; k < 2; ++k) {
        if (lines[k].size() < 69 || lines[k][68] == ' ') {
            continue;
        }
        const char given = lines[k][68];
        const int sum = tle_line_checksum(lines[k]);
        if (given == '0' + sum) {
            continue;
        }
        problem += problem.empty() ? "" : "; ";
        problem += is_ascii_digit(given)
                       ? formatted("line %d checksum %c, its columns 1-68 give %d", k + 1, given, sum)
                       : formatted("line %d column 69, the checksum, \"%s\" is not a digit", k + 1,
                                   shown(lines[k].substr(68, 1)).c_str());
    }
    return problem;
}

long catalogue_number_from_text(std::string_view text)
{
    const int leading = text.empty() ? -1 : alpha5_leading_digits(text[0]);
    if (leading >= 0 && text.size() == 5 && is_ascii_digit(text[1]) && is_ascii_digit(text[2]) &&
        is_ascii_digit(text[3]) && is_ascii_digit(text[4])) {
        return leading * 10000L + integer_from_text(text.substr(1));
    }
    return integer_from_text(text);
}

std::array<char, 7> catalogue_number_column(long number, char classification)
{
    constexpr char LETTERS[] = "ABCDEFGHJKLMNPQRSTUVWXYZ";  // 10 to 33
    std::array<char, 7> column{};
    if (number < 0 || number > 999999) {
        std::copy_n("******", 7, column.begin());
    } else if (number >= 340000) {
        // Six digits: the width holds them once the letter gives way.
        for (int i = 5; i >= 0; --i, number /= 10) {
            column[static_cast<std::size_t>(i)] = static_cast<char>('0' + number % 10);
        }
    } else {
        long rest = number % 10000;
        for (int i = 4; i >= 1; --i, rest /= 10) {
            column[static_cast<std::size_t>(i)] = static_cast<char>('0' + rest % 10);
        }
        const long leading = number / 10000;
        column[0] = leading < 10 ? static_cast<char>('0' + leading) : LETTERS[leading - 10];
        column[5] = classification;
    }
    column[6] = '\0';
    return column;
}

TleRecord parse_tle_record(std::string_view name_line, std::string_view line1, std::string_view line2)
{
    TleRecord r{};
    const std::size_t nul = name_line.find('\0');
    copy_text(r.name, name_line.substr(0, nul), ' ');
    const std::string_view whole = name_line.substr(0, nul);
    const std::size_t last = whole.find_last_not_of(' ');
    r.full_name.assign(last == std::string_view::npos ? std::string_view() : whole.substr(0, last + 1));
    copy_text(r.cospar_id, columns(line1, 10, 15), '\0');
    copy_text(r.norad_id, columns(line1, 3, 8), '\0');
    r.epoch_year = integer_from_text(columns(line1, 19, 20));
    // The fields with their point in place: ddd.dddddddd, .dddddddd, ddd.dddd, dd.dddddddd.
    r.epoch_day = fixed_point_field(line1, 21, 32, 8);
    r.ndot2 = fixed_point_field(line1, 34, 43, 8);
    r.nddot6 = assumed_decimal_field(columns(line1, 45, 52));
    r.bstar = assumed_decimal_field(columns(line1, 54, 61));
    r.norad_number = catalogue_number_from_text(columns(line1, 3, 7));
    r.mean_anom = fixed_point_field(line2, 44, 51, 4);
    r.omega = fixed_point_field(line2, 35, 42, 4);
    r.node = fixed_point_field(line2, 18, 25, 4);
    r.incl = fixed_point_field(line2, 9, 16, 4);
    // The format leaves out the leading "0." of the eccentricity: seven
    // digits are m / 10^7, as atof rounds "0.ddddddd".
    const std::string_view digits = columns(line2, 27, 33);
    if (digits.size() == 7 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        double m = 0.0;
        for (const char c : digits) {
            m = 10.0 * m + (c - '0');
        }
        r.ecc = m / 1e7;
    } else {
        char eccentricity[10] = {'0', '.'};
        digits.copy(eccentricity + 2, digits.size());
        r.ecc = decimal_from_text(std::string_view(eccentricity, 2 + digits.size()));
    }
    r.n = fixed_point_field(line2, 53, 63, 8);
    return r;
}

const char* tle_line_length_problem(std::string_view line1, std::string_view line2)
{
    if (line1.size() < TLE_LINE1_MIN_LENGTH) {
        return "line 1 is shorter than 43 characters";
    }
    if (line2.size() < TLE_LINE2_MIN_LENGTH) {
        return "line 2 is shorter than 63 characters";
    }
    return nullptr;
}

const char* tle_element_problem(const TleRecord& r)
{
    const double fields[] = {r.epoch_day, r.ndot2, r.mean_anom, r.omega, r.node, r.incl, r.ecc, r.n};
    for (const double x : fields) {
        if (!std::isfinite(x)) {
            return "a numeric field is not a finite number";
        }
    }
    if (!(r.n > 0.0)) {
        return "the mean motion is not positive";
    }
    if (r.ecc >= 1.0) {
        return "the eccentricity is not below 1";
    }
    return nullptr;
}

}  // namespace fieldsearch
