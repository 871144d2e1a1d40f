// The keyword cards of a FITS header as plain values: each keyword with the
// value CFITSIO splits from its comment, the lookup of a keyword's text or
// number, and the inheritance of keywords from the primary header that an
// extension asks for with INHERIT = T.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fieldsearch {

// One "KEYWORD = value" card: the keyword without its trailing blanks, the
// value as written (a text in its quotes, a logical T or F, a number), and
// where the card stands: its number from 1 in its header, and whether it
// came from the primary header by inheritance.
struct KeywordCard {
    std::string keyword;
    std::string value;
    int number;
    bool inherited;
};

using KeywordCards = std::vector<KeywordCard>;

// The value cards of `header` (80-character cards up to END), in order.
// Commentary cards, cards without "= " in columns 9 and 10 and cards whose
// value CFITSIO cannot split from its comment are left out.
KeywordCards keyword_cards(std::string_view header);

// The first card of `keyword`, or null.
const KeywordCard* find_card(const KeywordCards& cards, std::string_view keyword);

// Every card of `keyword`, in order (record-valued keywords repeat).
std::vector<const KeywordCard*> all_cards(const KeywordCards& cards, std::string_view keyword);

// True when the value is a text in quotes.
bool is_text_value(const std::string& value);

// The text of a value: the characters within the quotes, doubled quotes
// made single, trailing blanks dropped (leading ones kept, as FITS says);
// a value that is not quoted is returned with its blanks trimmed.
std::string value_text(const std::string& value);

// The number a value holds (an exponent may be written with D), also when
// written as a quoted text; empty when it holds none or it is not finite.
std::optional<double> value_number(const std::string& value);

// "KEY = value" as the card writes it, for one-line messages: a byte other
// than printable ASCII is shown as '?'.
std::string written_card(const KeywordCard& card);

// Where a card stands, for messages: "header card 12" or, for one taken from
// the primary header, "primary header card 12".
std::string card_place(const KeywordCard& card);

// The cards of an extension that says INHERIT = T: its own, then those of
// the primary header whose keywords it lacks, marked inherited. The
// primary's structural keywords (SIMPLE, BITPIX, NAXISn, EXTEND, the data
// scaling, checksums) and its INHERIT are never taken; nor are its PCi_j,
// CDELTi and CROTAi when the extension gives a CDi_j matrix, nor its CDi_j
// when the extension gives a PCi_j matrix or CDELTi, lest the two forms of
// the matrix mix.
KeywordCards inherited_cards(const KeywordCards& extension, const KeywordCards& primary);

// True when the cards hold INHERIT = T.
bool inherits_primary(const KeywordCards& cards);

}  // namespace fieldsearch
