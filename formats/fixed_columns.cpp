#include "fixed_columns.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace fieldsearch {
#endif

std::string_view columns(std::string_view line, int first, int last)
{
    if (first < 1 || last < first) {
        return {};
    }
    const auto begin = static_cast<std::size_t>(first - 1);
    if (begin >= line.size()) {
        return {};
    }
    return line.substr(begin, static_cast<std::size_t>(last - first + 1));
}

namespace {

// The text with a terminating NUL, as the C conversions need it.
constexpr std::size_t SCRATCH_BYTES = 64;

// atof through the C library, for the texts the fast path leaves to it.
double decimal_from_text_by_strtod(std::string_view text)
{
    if (text.size() < SCRATCH_BYTES) {
        char scratch[SCRATCH_BYTES];
        text.copy(scratch, text.size());
        scratch[text.size()] = '\0';
        return std::strtod(scratch, nullptr);
    }
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The powers of ten that a double holds exactly.
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t LARGEST_EXACT_INTEGER = std::uint64_t{1} << 53;

// The digits from p on, accumulated into m; returns where they stop.
const char* take_digits(const char* p, const char* end, std::uint64_t& m)
{
    for (; p < end; ++p) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9) {
            break;
        }
        m = 10 * m + digit;
    }
    return p;
}

// The value of a plain decimal text "[-]digits[.digits]" that stops before
// anything that cannot continue a number, when it has at most 19 digits and
// they form an integer m that a double holds exactly, at most 22 of them
// after the point: then m / 10^k is one correctly rounded division of exact
// values, the same double as the correctly rounded conversion of the text.
// False for anything else.
bool plain_decimal_value(const char* p, const char* end, double& value)
{
    const bool negative = *p == '-';
    p += negative ? 1 : 0;
    std::uint64_t m = 0;
    const char* first = p;
    p = take_digits(p, end, m);
    std::ptrdiff_t digits = p - first;
    std::ptrdiff_t fraction_digits = 0;
    if (p < end && *p == '.') {
        const char* fraction = ++p;
        p = take_digits(p, end, m);
        fraction_digits = p - fraction;
        digits += fraction_digits;
    }
    if (digits == 0 || digits > 19 || m > LARGEST_EXACT_INTEGER || (p < end && (*p == 'e' || *p == 'E'))) {
        return false;
    }
    const double magnitude = static_cast<double>(static_cast<std::int64_t>(m)) / EXACT_POWERS_OF_TEN[fraction_digits];
    value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

// strtod, std::from_chars and the plain-decimal path all round correctly, so
// they give the same double: the plain path serves the short decimal texts
// that make up nearly every catalogue field, from_chars longer ones and
// exponents, and strtod everything else (a leading '+', hex texts, values
// out of range, no number at all).
double decimal_from_text(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || is_c_space(text[start]))) {
        ++start;
    }
    const char* begin = text.data() + start;
    const char* end = text.data() + text.size();
    if (begin == end) {
        return 0.0;
    }
    const char* digits = (*begin == '-') ? begin + 1 : begin;
    if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.') ||
        (*digits == '0' && digits + 1 < end && (digits[1] == 'x' || digits[1] == 'X'))) {
        return decimal_from_text_by_strtod(text);
    }
    double value = 0.0;
    if (plain_decimal_value(begin, end, value)) {
        return value;
    }
    const auto [stop, error] = std::from_chars(begin, end, value);
    (void)stop;
    if (error != std::errc()) {
        return decimal_from_text_by_strtod(text);
    }
    return value;
}

int integer_from_text(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_c_space(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    // Beyond the range of int the value is clamped, so growth can stop there.
    constexpr std::int64_t CLAMP = std::int64_t{INT_MAX} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        value = std::min(10 * value + (text[i] - '0'), CLAMP);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

double decimal_field(std::string_view line, int first, int last)
{
    return decimal_from_text(columns(line, first, last));
}

int integer_field(std::string_view line, int first, int last)
{
    return integer_from_text(columns(line, first, last));
}

double fixed_point_field_in_general(std::string_view line, int first, int last)
{
    return decimal_field(line, first, last);
}

}  // namespace fieldsearch
