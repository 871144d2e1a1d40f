#include "leap_seconds_list.hpp"

#include <array>
#include <charconv>
#include <cstdint>

#include <openssl/evp.h>

#include "text_catalogue.hpp"

namespace fieldsearch {

namespace {

constexpr std::int64_t WHOLE_SECONDS_PER_DAY = 86400;
// Beyond about the year 5000 a time is taken for garbage.
constexpr std::int64_t LARGEST_NTP_SECONDS = 100'000'000'000;
// TAI - UTC was 10 s in 1972 and moves by a second at a time.
constexpr std::int64_t LARGEST_TAI_MINUS_UTC = 1000;

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view without_leading_blanks(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) {
        ++i;
    }
    return text.substr(i);
}

// The non-negative integer of decimal digits at the start of `text`,
// advancing past it; empty when there is none or it exceeds `largest`.
std::optional<std::int64_t> leading_integer(std::string_view& text, std::int64_t largest)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value < 0 || value > largest) {
        return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// True when `text` holds nothing more than blanks and an optional '#' comment.
bool is_rest_of_line_empty(std::string_view text)
{
    text = without_leading_blanks(text);
    return text.empty() || text.front() == '#';
}

// The NTP time of a "#@" or "#$" line (its first two characters dropped).
std::optional<std::int64_t> special_line_time(std::string_view rest)
{
    rest = without_leading_blanks(rest);
    const std::optional<std::int64_t> seconds = leading_integer(rest, LARGEST_NTP_SECONDS);
    if (!seconds || !without_leading_blanks(rest).empty()) {
        return std::nullopt;
    }
    return seconds;
}

double mjd_from_ntp_seconds(std::int64_t seconds)
{
    return NTP_EPOCH_MJD + static_cast<double>(seconds / WHOLE_SECONDS_PER_DAY);
}

// The digits of `text`, in order: what the list's hash covers of a line.
std::string digits_of(std::string_view text)
{
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    return digits;
}

// The five 32-bit words of the SHA-1 digest of `text`; empty if the library
// cannot compute it.
std::optional<std::array<std::uint32_t, 5>> sha1_words(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha1(), nullptr) != 1 || length != 20) {
        return std::nullopt;
    }
    std::array<std::uint32_t, 5> words{};
    for (std::size_t k = 0; k < 20; ++k) {
        words[k / 4] = (words[k / 4] << 8) | digest[k];
    }
    return words;
}

// The five words of a "#h" line (its first two characters dropped): hex
// numbers of up to eight digits (some lists drop a word's leading zeros).
std::optional<std::array<std::uint32_t, 5>> hash_line_words(std::string_view rest)
{
    std::array<std::uint32_t, 5> words{};
    for (std::uint32_t& word : words) {
        rest = without_leading_blanks(rest);
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), word, 16);
        if (error != std::errc() || end == rest.data() || end - rest.data() > 8) {
            return std::nullopt;
        }
        rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
    }
    if (!without_leading_blanks(rest).empty()) {
        return std::nullopt;
    }
    return words;
}

LeapSecondListResult refused(long line, std::string error)
{
    return {std::nullopt, line, std::move(error)};
}

}  // namespace

LeapSecondListResult leap_second_table_from_text(std::string_view text)
{
    LeapSecondTable table{{}, 0.0};
    std::optional<std::int64_t> expiry;
    std::int64_t previous = -1;
    std::int64_t previous_tai_minus_utc = -1;
    long line_number = 0;
    // The hash covers the digits of the last-update time, of the expiry and
    // of the data lines, in that order.
    std::string update_digits;
    std::string expiry_digits;
    std::string data_digits;
    long hash_line = 0;
    std::optional<std::array<std::uint32_t, 5>> hash;
    while (!text.empty()) {
        const std::string_view line = take_text_line(text);
        ++line_number;
        if (line.size() >= 2 && line[0] == '#' && line[1] == '@') {
            if (expiry) {
                return refused(line_number, "a second expiry line (#@)");
            }
            expiry = special_line_time(line.substr(2));
            if (!expiry) {
                return refused(line_number, "the expiry line (#@) holds no NTP time in seconds");
            }
            expiry_digits = digits_of(line.substr(2));
            continue;
        }
        if (line.size() >= 2 && line[0] == '#' && line[1] == '$') {
            if (!special_line_time(line.substr(2))) {
                return refused(line_number, "the last-update line (#$) holds no NTP time in seconds");
            }
            update_digits = digits_of(line.substr(2));
            continue;
        }
        if (line.size() >= 2 && line[0] == '#' && line[1] == 'h') {
            if (hash_line != 0) {
                return refused(line_number, "a second hash line (#h)");
            }
            hash_line = line_number;
            hash = hash_line_words(line.substr(2));
            if (!hash) {
                return refused(line_number, "the hash line (#h) holds no five hexadecimal words");
            }
            continue;
        }
        if (is_rest_of_line_empty(line)) {
            continue;  // a blank line, a comment or the "#h" hash
        }
        std::string_view rest = without_leading_blanks(line);
        const std::optional<std::int64_t> seconds = leading_integer(rest, LARGEST_NTP_SECONDS);
        if (!seconds || rest.empty() || !is_blank(rest.front())) {
            return refused(line_number, "not a line of NTP seconds and TAI - UTC");
        }
        rest = without_leading_blanks(rest);
        const std::optional<std::int64_t> tai_minus_utc = leading_integer(rest, LARGEST_TAI_MINUS_UTC);
        if (!tai_minus_utc || !is_rest_of_line_empty(rest)) {
            return refused(line_number, "not a line of NTP seconds and TAI - UTC");
        }
        if (*seconds % WHOLE_SECONDS_PER_DAY != 0) {
            return refused(line_number, "the step does not fall at 0h UTC of a day");
        }
        if (*seconds <= previous) {
            return refused(line_number, "the step is not later than the one before it");
        }
        if (previous_tai_minus_utc >= 0 && *tai_minus_utc != previous_tai_minus_utc + 1) {
            return refused(line_number, "TAI - UTC " + std::to_string(*tai_minus_utc) + " s does not follow " +
                                            std::to_string(previous_tai_minus_utc) +
                                            " s by one leap second");
        }
        previous = *seconds;
        previous_tai_minus_utc = *tai_minus_utc;
        data_digits += std::to_string(*seconds) + std::to_string(*tai_minus_utc);
        table.steps.push_back(
            {mjd_from_ntp_seconds(*seconds), static_cast<double>(*tai_minus_utc) + TT_MINUS_TAI_SECONDS});
    }
    if (table.steps.empty()) {
        return refused(0, "no leap-second lines");
    }
    if (!expiry) {
        return refused(0, "no expiry line (#@)");
    }
    if (*expiry <= previous) {
        return refused(0, "the list expires before its last step");
    }
    if (hash) {
        const auto computed = sha1_words(update_digits + expiry_digits + data_digits);
        if (!computed) {
            return refused(hash_line, "the hash (#h) cannot be computed: SHA-1 is not available");
        }
        if (*computed != *hash) {
            return refused(hash_line, "the hash (#h) does not match the list's data (SHA-1 of the update, expiry "
                                      "and data lines' digits)");
        }
    }
    // Published lists expire at 0h of a day; any other time keeps its fraction.
    table.expiry_mjd = NTP_EPOCH_MJD + static_cast<double>(*expiry) / static_cast<double>(WHOLE_SECONDS_PER_DAY);
    return {std::move(table), 0, {}};
}

LeapSecondTable preferred_leap_second_table(const std::optional<std::string>& candidate_text,
                                            const LeapSecondTable& compiled)
{
    if (!candidate_text) {
        return compiled;
    }
    const LeapSecondListResult candidate = leap_second_table_from_text(*candidate_text);
    if (!candidate.table || !(candidate.table->expiry_mjd > compiled.expiry_mjd)) {
        return compiled;
    }
    // Either side of every compiled step, so that a step moved or missing shows.
    for (const LeapSecondStep& step : compiled.steps) {
        for (const double day : {step.mjd - 1.0, step.mjd}) {
            if (tt_from_utc(day, *candidate.table).tt_minus_utc_days != tt_from_utc(day, compiled).tt_minus_utc_days) {
                return compiled;
            }
        }
    }
    return *candidate.table;
}

}  // namespace fieldsearch
