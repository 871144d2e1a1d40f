#include "text_values.hpp"

#include <charconv>
#include <cmath>

namespace fieldsearch {

namespace {

// Exactly `digits` decimal digits.
std::optional<int> digits_from_text(std::string_view text, std::size_t digits)
{
    if (text.size() != digits) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = 10 * value + (c - '0');
    }
    return value;
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<double> number_from_text(std::string_view text)
{
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<CalendarInstant> instant_from_text(std::string_view text)
{
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        text.remove_suffix(1);
    }
    // YYYY-MM-DDTHH:MM:SS, then an optional fraction of the second.
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const std::optional<int> year = digits_from_text(text.substr(0, 4), 4);
    const std::optional<int> month = digits_from_text(text.substr(5, 2), 2);
    const std::optional<int> day = digits_from_text(text.substr(8, 2), 2);
    const std::optional<int> hour = digits_from_text(text.substr(11, 2), 2);
    const std::optional<int> minute = digits_from_text(text.substr(14, 2), 2);
    const std::string_view second_text = text.substr(17);
    if (second_text.size() > 2 && second_text[2] != '.') {
        return std::nullopt;
    }
    if (!digits_from_text(second_text.substr(0, 2), 2) || second_text.size() == 3) {
        return std::nullopt;
    }
    const std::optional<double> second = number_from_text(second_text);
    if (!year || !month || !day || !hour || !minute || !second) {
        return std::nullopt;
    }
    if (*year < 1900 || *year > 2099 || *month < 1 || *month > 12 || *day < 1 || *day > days_in_month(*year, *month) ||
        *hour > 23 || *minute > 59 || *second >= 60.0) {
        return std::nullopt;
    }
    return CalendarInstant{*year, *month, *day, *hour, *minute, *second};
}

std::optional<SexagesimalValue> sexagesimal_from_text(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    double values[3] = {0.0, 0.0, 0.0};
    int count = 0;
    bool whole_is_integer = false;
    while (!text.empty()) {
        if (count == 3) {
            return std::nullopt;
        }
        // A part: digits, then a fraction only in the last part.
        std::size_t n = 0;
        while (n < text.size() && is_digit(text[n])) {
            ++n;
        }
        std::size_t end = n;
        if (end < text.size() && text[end] == '.') {
            ++end;
            while (end < text.size() && is_digit(text[end])) {
                ++end;
            }
        }
        if (n == 0 && end <= 1) {
            return std::nullopt;
        }
        const std::string_view part = text.substr(0, end);
        text.remove_prefix(end);
        const bool last = text.empty();
        if (!last) {
            if (end != n || (text.front() != ':' && text.front() != ' ')) {
                return std::nullopt;  // a fraction before the last part, or a stray character
            }
            const char separator = text.front();
            text.remove_prefix(1);
            while (separator == ' ' && !text.empty() && text.front() == ' ') {
                text.remove_prefix(1);
            }
            if (text.empty()) {
                return std::nullopt;
            }
        }
        double value = 0.0;
        const auto [stop, error] = std::from_chars(part.data(), part.data() + part.size(), value, std::chars_format::fixed);
        if (error != std::errc() || stop != part.data() + part.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        if (count == 0) {
            whole_is_integer = end == n && n <= 3;
        }
        values[count++] = value;
    }
    if (count == 0 || values[1] >= 60.0 || values[2] >= 60.0) {
        return std::nullopt;
    }
    return SexagesimalValue{count, values[0], values[1], values[2], whole_is_integer};
}

double sexagesimal_units(const SexagesimalValue& value)
{
    return value.whole + (value.minutes + value.seconds / 60.0) / 60.0;
}

std::optional<double> degrees_from_text(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::optional<SexagesimalValue> value = sexagesimal_from_text(text);
    if (!value) {
        return std::nullopt;
    }
    const double degrees = sexagesimal_units(*value);
    return negative ? -degrees : degrees;
}

}  // namespace fieldsearch
