#include "fixed_columns.hpp"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>

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

}  // namespace

// Both conversions round correctly, so std::from_chars gives strtod's value
// bit for bit; it is used for the plain decimal texts that make up nearly
// every catalogue field, and strtod for everything else (a leading '+', hex
// texts, values out of range, no number at all).
double decimal_from_text(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && is_c_space(text[start])) {
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
    const auto [stop, error] = std::from_chars(begin, end, value);
    (void)stop;
    if (error != std::errc()) {
        return decimal_from_text_by_strtod(text);
    }
    return value;
}

int integer_from_text(std::string_view text)
{
    long value = 0;
    if (text.size() < SCRATCH_BYTES) {
        char scratch[SCRATCH_BYTES];
        text.copy(scratch, text.size());
        scratch[text.size()] = '\0';
        value = std::strtol(scratch, nullptr, 10);
    } else {
        const std::string copy(text);
        value = std::strtol(copy.c_str(), nullptr, 10);
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}
