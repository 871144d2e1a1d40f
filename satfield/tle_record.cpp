#include "tle_record.hpp"

#include <algorithm>
#include <cmath>

#include "fixed_columns.hpp"

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

}  // namespace

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
