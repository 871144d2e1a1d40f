#include "packed_designations.hpp"

#include <algorithm>

namespace fieldsearch {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of one base-62 digit (0-9, A-Z, a-z), or -1.
int base62_value(char c)
{
    if (is_digit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 36;
    }
    return -1;
}

// The value of the decimal digits text[first, first + count), or -1.
int decimal_digits(std::string_view text, std::size_t first, std::size_t count)
{
    int value = 0;
    for (std::size_t k = first; k < first + count; ++k) {
        if (!is_digit(text[k])) {
            return -1;
        }
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

// The century of a century letter (I, J, K ... as 18, 19, 20 ...), or -1.
int century(char c)
{
    return c >= 'A' && c <= 'L' ? c - 'A' + 10 : -1;
}

// Month or day of a packed date: 1-9, then A = 10 onwards.
int packed_day_value(char c)
{
    if (c >= '1' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'V') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<long> unpacked_number(std::string_view packed)
{
    if (packed.size() != 5) {
        return std::nullopt;
    }
    if (packed[0] == '~') {
        long value = 0;
        for (std::size_t k = 1; k < 5; ++k) {
            const int digit = base62_value(packed[k]);
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 62 + digit;
        }
        return 620000 + value;
    }
    const int lead = base62_value(packed[0]);
    const int rest = decimal_digits(packed, 1, 4);
    if (lead < 0 || rest < 0) {
        return std::nullopt;
    }
    return static_cast<long>(lead) * 10000 + rest;
}

std::optional<std::string> packed_number(long number)
{
    constexpr char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    constexpr long base62_count = 62L * 62L * 62L * 62L;
    if (number < 1 || number >= 620000 + base62_count) {
        return std::nullopt;
    }
    std::string packed(5, '0');
    if (number >= 620000) {
        packed[0] = '~';
        long rest = number - 620000;
        for (std::size_t k = 4; k >= 1; --k) {
            packed[k] = digits[rest % 62];
            rest /= 62;
        }
        return packed;
    }
    long rest = number % 10000;
    for (std::size_t k = 4; k >= 1; --k) {
        packed[k] = digits[rest % 10];
        rest /= 10;
    }
    packed[0] = digits[number / 10000];
    return packed;
}

std::optional<std::string> packed_provisional(std::string_view readable)
{
    auto all_digits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
    };
    const std::size_t blank = readable.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= readable.size()) {
        return std::nullopt;
    }
    const std::string_view first = readable.substr(0, blank);
    const std::string_view second = readable.substr(blank + 1);
    // The survey designations: "2040 P-L" = "PLS2040", "3138 T-1" = "T1S3138".
    if (all_digits(first) && first.size() <= 4 && first.front() != '0' &&
        (second == "P-L" || second == "T-1" || second == "T-2" || second == "T-3")) {
        std::string packed = second == "P-L" ? "PLS" : std::string{'T', second[2], 'S'};
        packed.append(4 - first.size(), '0');
        packed.append(first);
        return packed;
    }
    if (first.size() != 4 || !all_digits(first) || second.size() < 2) {
        return std::nullopt;
    }
    const int year = decimal_digits(first, 0, 4);
    const char half_month = second[0];
    const char order = second[1];
    const std::string_view cycle_text = second.substr(2);
    const bool letters_valid = half_month >= 'A' && half_month <= 'Y' && half_month != 'I' && order >= 'A' &&
                               order <= 'Z' && order != 'I';
    if (year < 1000 || year > 2199 || !letters_valid || cycle_text.size() > 3 ||
        (!cycle_text.empty() && (!all_digits(cycle_text) || cycle_text.front() == '0'))) {
        return std::nullopt;
    }
    const int cycle = cycle_text.empty() ? 0 : decimal_digits(cycle_text, 0, cycle_text.size());
    if (cycle > 619) {
        return std::nullopt;
    }
    constexpr char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string packed(7, ' ');
    packed[0] = static_cast<char>('A' + (year / 100 - 10));
    packed[1] = first[2];
    packed[2] = first[3];
    packed[3] = half_month;
    packed[4] = digits[cycle / 10];
    packed[5] = static_cast<char>('0' + cycle % 10);
    packed[6] = order;
    return packed;
}

std::optional<std::string> unpacked_provisional(std::string_view packed)
{
    if (packed.size() != 7) {
        return std::nullopt;
    }
    // The survey designations: "PLS2040" = "2040 P-L", "T1S3138" = "3138 T-1".
    const int survey_number = decimal_digits(packed, 3, 4);
    if (packed[2] == 'S' && survey_number >= 0) {
        if (packed.substr(0, 2) == "PL") {
            std::string text = std::to_string(survey_number);
            text.append(" P-L");
            return text;
        }
        if (packed[0] == 'T' && packed[1] >= '1' && packed[1] <= '3') {
            std::string text = std::to_string(survey_number);
            text.append(" T-");
            text.push_back(packed[1]);
            return text;
        }
    }
    const int hundreds = century(packed[0]);
    const int year = decimal_digits(packed, 1, 2);
    const char half_month = packed[3];
    const char order = packed[6];
    const int cycle_high = base62_value(packed[4]);
    const bool valid = hundreds >= 0 && year >= 0 && half_month >= 'A' && half_month <= 'Y' && half_month != 'I' &&
                       order >= 'A' && order <= 'Z' && order != 'I' && cycle_high >= 0 && is_digit(packed[5]);
    if (!valid) {
        return std::nullopt;
    }
    std::string text = std::to_string(hundreds * 100 + year);
    text.push_back(' ');
    text.push_back(half_month);
    text.push_back(order);
    const int cycle = cycle_high * 10 + (packed[5] - '0');
    if (cycle > 0) {
        text.append(std::to_string(cycle));
    }
    return text;
}

std::optional<CalendarDate> unpacked_date(std::string_view packed)
{
    if (packed.size() != 5) {
        return std::nullopt;
    }
    const int hundreds = century(packed[0]);
    const int year = decimal_digits(packed, 1, 2);
    const int month = packed_day_value(packed[3]);
    const int day = packed_day_value(packed[4]);
    if (hundreds < 0 || year < 0 || month < 1 || month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    return CalendarDate{hundreds * 100 + year, month, day};
}

std::optional<std::string> packed_date(const CalendarDate& date)
{
    constexpr char values[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
    if (date.year < 1000 || date.year > 2199 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > 31) {
        return std::nullopt;
    }
    const int year = date.year % 100;
    return std::string{static_cast<char>('A' + date.year / 100 - 10), static_cast<char>('0' + year / 10),
                       static_cast<char>('0' + year % 10), values[date.month], values[date.day]};
}

std::string_view trimmed_text(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string designation_column(std::string_view text, std::size_t width, bool right_aligned)
{
    const std::size_t shown = right_aligned ? text.size() : std::min(text.size(), width > 0 ? width - 1 : 0);
    const std::size_t start = right_aligned ? (width > shown ? width - shown : 0) : 1;
    std::string column(std::max(width, start + shown), ' ');
    for (std::size_t k = 0; k < shown; ++k) {
        const char c = text[k];
        column[start + k] = static_cast<unsigned char>(c) < ' ' ? ' ' : c;
    }
    return column;
}

}  // namespace fieldsearch
