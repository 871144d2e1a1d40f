#include "fixed_columns.hpp"

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

}  // namespace

double decimal_from_text(std::string_view text)
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
