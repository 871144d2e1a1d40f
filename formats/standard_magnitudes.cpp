#include "standard_magnitudes.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <utility>

#include "text_catalogue.hpp"

namespace fieldsearch {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The leading run of `text` up to a blank or a comma, taken off its front.
std::string_view take_field(std::string_view& text)
{
    std::size_t end = 0;
    while (end < text.size() && !is_blank(text[end]) && text[end] != ',') {
        ++end;
    }
    const std::string_view field = text.substr(0, end);
    text.remove_prefix(end);
    return field;
}

void skip_blanks(std::string_view& text)
{
    while (!text.empty() && is_blank(text.front())) {
        text.remove_prefix(1);
    }
}

// A catalogue number of one to nine decimal digits.
std::optional<long> catalogue_number(std::string_view field)
{
    if (field.empty() || field.size() > 9) {
        return std::nullopt;
    }
    long number = 0;
    for (const char c : field) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = 10 * number + (c - '0');
    }
    return number;
}

// A decimal number, with an optional sign and exponent, spanning the whole
// field; "inf" and "nan" are not numbers here.
std::optional<double> decimal_number(std::string_view field)
{
    if (field.size() >= 2 && field[0] == '+' && field[1] != '-') {
        field.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value,
                                              std::chars_format::general);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

StandardMagnitudesResult refused(long line, std::string error)
{
    return {std::nullopt, line, std::move(error)};
}

}  // namespace

StandardMagnitudesResult standard_magnitudes_from_text(std::string_view text)
{
    StandardMagnitudes magnitudes;
    std::map<long, long> line_of;  // catalogue number -> the line that gave it
    long line_number = 0;
    while (!text.empty()) {
        std::string_view line = take_text_line(text);
        ++line_number;
        line = line.substr(0, line.find('#'));
        skip_blanks(line);
        if (line.empty()) {
            continue;
        }
        const std::string_view number_field = take_field(line);
        skip_blanks(line);
        if (!line.empty() && line.front() == ',') {
            line.remove_prefix(1);
            skip_blanks(line);
        }
        const std::string_view magnitude_field = take_field(line);
        skip_blanks(line);
        if (number_field.empty()) {
            return refused(line_number, "no catalogue number before the comma");
        }
        if (magnitude_field.empty()) {
            return refused(line_number, line.empty() ? "a catalogue number without a standard magnitude"
                                                     : "an empty field between commas");
        }
        if (!line.empty()) {
            return refused(line_number, "more than two fields (a catalogue number and a standard magnitude)");
        }
        const std::optional<long> number = catalogue_number(number_field);
        if (!number) {
            return refused(line_number, "the catalogue number is not a whole number of one to nine digits");
        }
        const std::optional<double> magnitude = decimal_number(magnitude_field);
        if (!magnitude) {
            return refused(line_number, "the standard magnitude is not a number");
        }
        if (!(std::fabs(*magnitude) <= LARGEST_STANDARD_MAGNITUDE)) {
            const int limit = static_cast<int>(LARGEST_STANDARD_MAGNITUDE);
            return refused(line_number, "the standard magnitude lies outside -" + std::to_string(limit) + " to " +
                                            std::to_string(limit));
        }
        const auto [earlier, inserted] = line_of.emplace(*number, line_number);
        if (!inserted) {
            return refused(line_number, "catalogue number " + std::to_string(*number) +
                                            " was given on line " + std::to_string(earlier->second) + " already");
        }
        magnitudes.by_catalogue_number.emplace(*number, *magnitude);
    }
    return {std::move(magnitudes), 0, std::string()};
}

std::optional<double> standard_magnitude_of(const StandardMagnitudes& magnitudes, long catalogue_number)
{
    const auto found = magnitudes.by_catalogue_number.find(catalogue_number);
    if (found == magnitudes.by_catalogue_number.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace fieldsearch
