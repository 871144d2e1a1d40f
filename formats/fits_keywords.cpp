#include "fits_keywords.hpp"

#include <fitsio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

namespace fieldsearch {

namespace {

constexpr std::size_t CARD = 80;

std::string trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

bool starts_with(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// True for the keywords of the primary header that describe its own data
// or structure rather than the observation, and so are never inherited.
bool is_structural(const std::string& keyword)
{
    static const std::set<std::string> names{"SIMPLE", "BITPIX", "NAXIS",   "EXTEND",   "XTENSION", "PCOUNT",
                                             "GCOUNT", "BSCALE", "BZERO",   "BLANK",    "BUNIT",    "CHECKSUM",
                                             "DATASUM", "INHERIT", "EXTNAME", "EXTVER", "EXTLEVEL", "GROUPS",
                                             "END"};
    if (names.count(keyword) != 0) {
        return true;
    }
    // NAXISn.
    return starts_with(keyword, "NAXIS") &&
           keyword.find_first_not_of("0123456789", 5) == std::string::npos;
}

// The matrix form a WCS keyword belongs to: 1 for CDi_j, 2 for PCi_j, CDELTi
// and CROTAi, 0 for any other keyword.
int matrix_form(const std::string& keyword)
{
    // The prefix followed by an axis number (PCOUNT is no PCi_j).
    const auto numbered = [&keyword](const char* prefix) {
        const std::size_t n = std::strlen(prefix);
        return starts_with(keyword, prefix) && keyword.size() > n && keyword[n] >= '0' && keyword[n] <= '9';
    };
    if (numbered("CDELT") || numbered("CROTA") || numbered("PC")) {
        return 2;
    }
    return numbered("CD") ? 1 : 0;
}

}  // namespace

KeywordCards keyword_cards(std::string_view header)
{
    KeywordCards cards;
    for (std::size_t at = 0; at + CARD <= header.size(); at += CARD) {
        std::string card(header.substr(at, CARD));
        if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
            break;
        }
        if (card.compare(8, 2, "= ") != 0) {
            continue;
        }
        char value[FLEN_VALUE] = {};
        char comment[FLEN_COMMENT] = {};
        int status = 0;
        fits_parse_value(card.data(), value, comment, &status);
        if (status != 0) {
            fits_clear_errmsg();
            continue;
        }
        cards.push_back({trimmed(std::string_view(card).substr(0, 8)), trimmed(value),
                         static_cast<int>(at / CARD) + 1, false});
    }
    return cards;
}

const KeywordCard* find_card(const KeywordCards& cards, std::string_view keyword)
{
    for (const KeywordCard& card : cards) {
        if (card.keyword == keyword) {
            return &card;
        }
    }
    return nullptr;
}

std::vector<const KeywordCard*> all_cards(const KeywordCards& cards, std::string_view keyword)
{
    std::vector<const KeywordCard*> found;
    for (const KeywordCard& card : cards) {
        if (card.keyword == keyword) {
            found.push_back(&card);
        }
    }
    return found;
}

bool is_text_value(const std::string& value)
{
    return value.size() >= 2 && value.front() == '\'' && value.back() == '\'';
}

std::string value_text(const std::string& value)
{
    if (!is_text_value(value)) {
        return trimmed(value);
    }
    std::string text;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        text += value[i];
        if (value[i] == '\'' && i + 2 < value.size() && value[i + 1] == '\'') {
            ++i;
        }
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::optional<double> value_number(const std::string& value)
{
    std::string number = trimmed(value_text(value));
    if (number.empty()) {
        return std::nullopt;
    }
    std::replace(number.begin(), number.end(), 'D', 'E');
    std::replace(number.begin(), number.end(), 'd', 'e');
    char* end = nullptr;
    const double parsed = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || *end != '\0' || !std::isfinite(parsed)) {
        return std::nullopt;
    }
    return parsed;
}

std::string written_card(const KeywordCard& card)
{
    std::string text = card.keyword + " = " + card.value;
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e) {
            c = '?';
        }
    }
    return text;
}

std::string card_place(const KeywordCard& card)
{
    return std::string(card.inherited ? "primary header card " : "header card ") + std::to_string(card.number);
}

KeywordCards inherited_cards(const KeywordCards& extension, const KeywordCards& primary)
{
    std::set<std::string> present;
    int forms = 0;
    for (const KeywordCard& card : extension) {
        present.insert(card.keyword);
        forms |= matrix_form(card.keyword);
    }
    KeywordCards cards = extension;
    for (const KeywordCard& card : primary) {
        if (present.count(card.keyword) != 0 || is_structural(card.keyword)) {
            continue;
        }
        const int form = matrix_form(card.keyword);
        if (form != 0 && forms != 0 && (forms & form) == 0) {
            continue;
        }
        KeywordCard taken = card;
        taken.inherited = true;
        cards.push_back(std::move(taken));
    }
    return cards;
}

bool inherits_primary(const KeywordCards& cards)
{
    const KeywordCard* inherit = find_card(cards, "INHERIT");
    return inherit != nullptr && inherit->value == "T";
}

}  // namespace fieldsearch
