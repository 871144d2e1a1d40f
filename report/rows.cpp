#include "rows.hpp"

#include <cmath>

namespace fieldsearch {

RowValue absent_value()
{
    return RowValue{};
}

RowValue whole_value(long long value)
{
    RowValue v;
    v.kind = ValueKind::whole;
    v.whole = value;
    return v;
}

RowValue real_value(double value, int decimals)
{
    if (!std::isfinite(value)) {
        return absent_value();
    }
    RowValue v;
    v.kind = ValueKind::real;
    v.real = value;
    v.decimals = decimals;
    return v;
}

RowValue text_value(std::string_view text)
{
    RowValue v;
    v.kind = ValueKind::text;
    v.text = std::string(text);
    return v;
}

RowValue designation_value(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return absent_value();
    }
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    // Up to 18 digits fit a long long whatever they are.
    if (text.size() > 18) {
        return text_value(text);
    }
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return text_value(text);
        }
        number = 10 * number + (c - '0');
    }
    return whole_value(number);
}

void append_place_columns(RowColumns& columns)
{
    columns.insert(columns.end(),
                   {"ra_deg", "dec_deg", "ra_h", "ra_m", "ra_s", "dec_sign", "dec_deg_part", "dec_arcmin", "dec_arcsec"});
}

void append_place_values(double ra_deg, double dec_deg, const HoursMinutesSeconds& ra,
                         const SignDegreesMinutesSeconds& dec, Row& row)
{
    row.values.insert(row.values.end(), {real_value(ra_deg, ALL_DIGITS), real_value(dec_deg, ALL_DIGITS),
                                         whole_value(ra.hours), whole_value(ra.minutes), real_value(ra.seconds, 6),
                                         text_value(std::string(1, dec.sign)), whole_value(dec.degrees),
                                         whole_value(dec.arcminutes), real_value(dec.arcseconds, 5)});
}

}  // namespace fieldsearch
