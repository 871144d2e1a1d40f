// Fields of fixed-column text records, and their conversion to numbers with
// the behaviour of the C library's atof and atoi.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>

namespace fieldsearch {
#endif

// Columns first..last (1-based, inclusive) of `line`, cut where the line ends.
std::string_view columns(std::string_view line, int first, int last);

// The text converted as atof converts it: leading white space skipped, the
// longest valid prefix taken, 0.0 when there is none. A NUL ends the text.
double decimal_from_text(std::string_view text);

// The text converted as atoi converts it: leading white space skipped, an
// optional sign and decimal digits, 0 when there are none. Values beyond the
// range of int are clamped to it.
int integer_from_text(std::string_view text);

// The decimal in columns first..last (1-based, inclusive) of a line, as
// decimal_from_text converts it.
double decimal_field(std::string_view line, int first, int last);

// The integer in columns first..last of a line, as integer_from_text converts it.
int integer_field(std::string_view line, int first, int last);

// The powers of ten 10^0 .. 10^16, exact as doubles.
inline constexpr double FIXED_POINT_POWERS_OF_TEN[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7, 1e8,
                                                       1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

// decimal_field(line, first, last), out of line: the general way of
// fixed_point_field.
double fixed_point_field_in_general(std::string_view line, int first, int last);

// The value of the eight decimal digits of `chunk` (byte values 0..9, the
// first byte the most significant digit): pairs, then fours, then all eight
// are combined by three multiplications.
inline std::uint64_t eight_digits_value(std::uint64_t chunk)
{
    chunk = ((chunk & 0x0F0F0F0F0F0F0F0FULL) * 2561) >> 8;
    chunk = ((chunk & 0x00FF00FF00FF00FFULL) * 6553601) >> 16;
    return ((chunk & 0x0000FFFF0000FFFFULL) * 42949672960001ULL) >> 32;
}

// decimal_field of columns first..last when they hold a number written with
// its point at a fixed place, `fraction_digits` digits after it: blanks,
// then digits and the point (at most 16 columns, the last at least column
// 16, all within the line). Such a field is converted from its sixteen bytes
// at once, without a branch per character; any other text gives
// decimal_field's value the general way. The result is the same double.
// Inline, so that constant columns fold into the code of the caller.
inline double fixed_point_field(std::string_view line, int first, int last, int fraction_digits)
{
#if defined(__SSE2__)
    // The sixteen bytes that end at column `last`: byte b is column last - 15 + b.
    const int width = last - first + 1;
    if (first < 1 || width > 16 || fraction_digits < 0 || width < fraction_digits + 2 || last < 16 ||
        static_cast<std::size_t>(last) > line.size() ||
        line[static_cast<std::size_t>(last - fraction_digits - 1)] != '.') {
        return fixed_point_field_in_general(line, first, last);
    }
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + (last - 16)));
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    const __m128i in_field = _mm_cmpgt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                            _mm_set1_epi8(static_cast<char>(15 - width)));
    const unsigned field = (0xFFFFu << (16 - width)) & 0xFFFFu;
    const int point_byte = 15 - fraction_digits;
    const unsigned point = 1u << point_byte;
    const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(is_digit)) & field;
    const unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')))) & field;
    // Blanks, then digits with the point among them, nothing else: any
    // other text (a sign, a blank between digits) goes the general way.
    const unsigned solid = digits | point;
    const unsigned first_solid = solid & (0u - solid);
    if ((digits | blanks | point) != field || (blanks & ~(first_solid - 1)) != 0 || digits == 0) {
        return fixed_point_field_in_general(line, first, last);
    }
    std::uint64_t words[2];
    const __m128i kept = _mm_and_si128(_mm_and_si128(values, is_digit), in_field);
    std::memcpy(words, &kept, sizeof words);
    // The point's byte taken out: the bytes before it move one place on.
    std::uint64_t low = words[0];
    std::uint64_t high = words[1];
    if (point_byte >= 8) {
        const std::uint64_t before = (std::uint64_t{1} << (8 * (point_byte - 8))) - 1;
        high = (high & ~before) | ((high & before) << 8) | (low >> 56);
        low <<= 8;
    } else {
        const std::uint64_t before = (std::uint64_t{1} << (8 * point_byte)) - 1;
        low = (low & ~before) | ((low & before) << 8);
    }
    // At most 15 digits: m < 10^15 < 2^53, so that m / 10^k rounds once, as
    // the plain path of decimal_from_text does.
    const std::uint64_t m = eight_digits_value(low) * 100000000ULL + eight_digits_value(high);
    return static_cast<double>(static_cast<std::int64_t>(m)) / FIXED_POINT_POWERS_OF_TEN[fraction_digits];
#else
    (void)fraction_digits;
    return fixed_point_field_in_general(line, first, last);
#endif
}

}  // namespace fieldsearch
