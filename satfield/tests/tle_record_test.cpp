#include "tle_record.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

using namespace fieldsearch;

namespace {

const std::string LINE1 = "1 12345U 08012A   08138.51234567  .00002182  00000-0  12345-4 0  9991";
const std::string LINE2 = "2 12345  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537";

std::string with_columns(std::string line, int first, const std::string& text)
{
    line.replace(static_cast<std::size_t>(first - 1), text.size(), text);
    return line;
}

}  // namespace

// Every field is read from its own columns: a shifted column range or a
// field read from the wrong line changes one of these values (read off the
// element lines above).
TEST(TleRecord, ReadsEveryFieldFromItsColumns)
{
    const TleRecord r = parse_tle_record("TEST SAT", LINE1, LINE2);
    EXPECT_STREQ(r.name.data(), "TEST SAT      ");
    EXPECT_STREQ(r.cospar_id.data(), "08012A");
    EXPECT_STREQ(r.norad_id.data(), "12345U");
    EXPECT_EQ(r.epoch_year, 8);
    EXPECT_EQ(r.epoch_day, 138.51234567);
    EXPECT_EQ(r.ndot2, 2.182e-5);
    EXPECT_EQ(r.incl, 51.6416);
    EXPECT_EQ(r.node, 247.4627);
    EXPECT_EQ(r.ecc, 0.0006703);
    EXPECT_EQ(r.omega, 130.536);
    EXPECT_EQ(r.mean_anom, 325.0288);
    EXPECT_EQ(r.n, 15.72125391);
}

// The name is blank-padded or cut to 14 characters, keeps inner blanks, and
// a NUL ends it as in a C string; a copy without padding would print right-aligned.
TEST(TleRecord, NameIsFourteenCharactersPaddedOrCut)
{
    struct Case {
        std::string line;
        const char* name;
    };
    const Case cases[] = {
        {"ABC", "ABC           "},
        {"ABCDEFGHIJKLMNOPQRSTUVWX", "ABCDEFGHIJKLMN"},
        {"A B  C", "A B  C        "},
        {"", "              "},
        {std::string("AB\0CD", 5), "AB            "},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(parse_tle_record(c.line, LINE1, LINE2).name.data(), c.name);
    }
}

// atof semantics at the field level: the sign in place of the blank, the
// eccentricity's restored "0." stopping at a blank, and a year of 84 (the
// 21st century) read as 84, not as an octal or a shifted field.
TEST(TleRecord, ConvertsFieldsAsTheCLibraryDoes)
{
    EXPECT_EQ(parse_tle_record("X", with_columns(LINE1, 34, "-.00002182"), LINE2).ndot2, -2.182e-5);
    EXPECT_EQ(parse_tle_record("X", LINE1, with_columns(LINE2, 27, " 006703")).ecc, 0.0);
    EXPECT_EQ(parse_tle_record("X", with_columns(LINE1, 19, "84"), LINE2).epoch_year, 84);
    EXPECT_EQ(parse_tle_record("X", with_columns(LINE1, 19, "08"), LINE2).epoch_year, 8);
    EXPECT_EQ(parse_tle_record("X", LINE1, with_columns(LINE2, 53, "       abc")).n, 0.0);
}

// Short element lines are never read past their end (the sanitizers catch a
// read beyond the view) and are recognised: line 1 needs 43 characters, line
// 2 needs 63.
TEST(TleRecord, ShortLinesAreRecognisedAndReadSafely)
{
    struct Case {
        std::size_t length1, length2;
        bool complete;
    };
    const Case cases[] = {
        {69, 69, true}, {43, 63, true}, {42, 69, false}, {69, 62, false}, {0, 0, false}, {20, 30, false},
    };
    for (const Case& c : cases) {
        const std::string line1 = LINE1.substr(0, c.length1);
        const std::string line2 = LINE2.substr(0, c.length2);
        EXPECT_EQ(tle_line_length_problem(line1, line2) == nullptr, c.complete) << c.length1 << " " << c.length2;
        const TleRecord r = parse_tle_record("X", line1, line2);
        if (c.length2 < 53) {
            EXPECT_EQ(r.n, 0.0);
        }
    }
    const TleRecord cut = parse_tle_record("X", LINE1.substr(0, 12), LINE2.substr(0, 30));
    EXPECT_STREQ(cut.cospar_id.data(), "080");
    EXPECT_EQ(cut.incl, 51.6416);
    EXPECT_EQ(cut.ecc, 0.0006);
}

// Elements that describe no orbit are refused before the theory sees them:
// a mean motion of 0 or below, a field that is infinite or not a number, an
// eccentricity of 1 or more written with an exponent.
TEST(TleRecord, RefusesElementsWithoutAnOrbit)
{
    struct Case {
        std::string line2;
        bool acceptable;
    };
    const Case cases[] = {
        {LINE2, true},
        {with_columns(LINE2, 53, " 0.00000000"), false},
        {with_columns(LINE2, 53, "-1.00000000"), false},
        {with_columns(LINE2, 53, "        inf"), false},
        {with_columns(LINE2, 9, "     nan"), false},
        {with_columns(LINE2, 27, "1e+300 "), false},
    };
    for (const Case& c : cases) {
        const TleRecord r = parse_tle_record("X", LINE1, c.line2);
        EXPECT_EQ(tle_element_problem(r) == nullptr, c.acceptable) << c.line2;
    }
}

// A NUL byte in the designator or catalogue-number columns of a garbled set
// would cut the printed row short; it reads as a blank and keeps the width.
TEST(TleRecord, NulBytesInTheDesignationsReadAsBlanks)
{
    std::string line1 = LINE1;
    line1[3] = '\0';
    line1[14] = '\0';
    const TleRecord r = parse_tle_record("SAT", line1, LINE2);
    EXPECT_EQ(std::string(r.norad_id.data()), "1 345U");
    EXPECT_EQ(std::string(r.cospar_id.data()), "08012 ");
}

// The second derivative and B* carry an assumed decimal point before five
// digits and a signed exponent: " 12345-4" is 0.12345e-4. A point put after
// the digits, a lost sign or exponent, or a field read one column off changes
// these values (written out by hand from the fields); a line that ends before
// the field reads 0.
TEST(TleRecord, ReadsSecondDerivativeAndDragTermWithTheirExponents)
{
    struct Case {
        std::string line1;
        double nddot6, bstar;
    };
    const Case cases[] = {
        {LINE1, 0.0, 0.12345e-4},
        {with_columns(with_columns(LINE1, 45, " 13844-3"), 54, " 66816-4"), 0.13844e-3, 0.66816e-4},
        {with_columns(with_columns(LINE1, 45, "-30915-6"), 54, "-11606+1"), -0.30915e-6, -1.1606},
        {with_columns(LINE1, 54, "+00000+0"), 0.0, 0.0},
        {with_columns(LINE1, 54, " 10000  "), 0.0, 0.1},
        {LINE1.substr(0, 58), 0.0, 0.1234},
        {LINE1.substr(0, 43), 0.0, 0.0},
    };
    for (const Case& c : cases) {
        const TleRecord r = parse_tle_record("X", c.line1, LINE2);
        EXPECT_DOUBLE_EQ(r.nddot6, c.nddot6) << c.line1;
        EXPECT_DOUBLE_EQ(r.bstar, c.bstar) << c.line1;
    }
}

// The drag fields of line 1 with their assumed decimal point and power of
// ten, and the catalogue number in full. Alpha-5 as published: a capital
// letter stands for the leading 10 to 33, I and O skipped (A0000 = 100000,
// J0000 = 180000 because I is skipped, P0000 = 230000 because O is, Z9999 =
// 339999); anything else reads as atoi reads the five columns.
TEST(TleRecord, ReadsDragFieldsAndCatalogueNumbersInFull)
{
    const TleRecord r = parse_tle_record("X", with_columns(LINE1, 45, "-12345-3 -67890+1"), LINE2);
    EXPECT_EQ(r.nddot6, -0.12345e-3);
    EXPECT_EQ(r.bstar, -0.6789e1);
    EXPECT_EQ(parse_tle_record("X", LINE1, LINE2).bstar, 0.12345e-4);
    EXPECT_EQ(parse_tle_record("X", LINE1, LINE2).nddot6, 0.0);

    struct Case {
        const char* columns;
        long number;
    };
    const Case cases[] = {
        {"25544", 25544}, {"00005", 5},       {"  123", 123},       {"A0000", 100000}, {"A0001", 100001},
        {"H9999", 179999}, {"J0000", 180000}, {"N9999", 229999},    {"P0000", 230000}, {"Z9999", 339999},
        {"I0000", 0},      {"O1234", 0},      {"a1234", 0},         {"A12 4", 0},      {"", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(catalogue_number_from_text(c.columns), c.number) << c.columns;
        std::string five = c.columns;
        five.resize(5, ' ');
        EXPECT_EQ(parse_tle_record("X", with_columns(LINE1, 3, five), LINE2).norad_number, c.number) << c.columns;
    }
}

// The numeric fields are converted without the C library where their shape
// allows: each must still give strtod's value of the text bit for bit, for
// fields of the usual shape and for garbled ones.
TEST(TleRecord, NumericFieldsAgreeWithStrtodBitForBit)
{
    std::uint64_t state = 1957;
    auto next = [&state](unsigned range) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 33) % range;
    };
    auto digits = [&](int count) {
        std::string text;
        for (int k = 0; k < count; ++k) {
            text += static_cast<char>('0' + next(10));
        }
        return text;
    };
    const char signs[] = " +-";
    const char garble[] = "0123456789 .-+eE";
    for (int i = 0; i < 100000; ++i) {
        // Drag term: sign, five digits, exponent sign and digit.
        std::string drag = std::string(1, signs[next(3)]) + digits(5) + (next(2) == 0 ? "-" : "+") + digits(1);
        // Eccentricity: seven digits; a degree field ddd.dddd; a mean motion dd.dddddddd.
        std::string eccentricity = digits(7);
        std::string degrees = digits(3) + "." + digits(4);
        std::string motion = digits(2) + "." + digits(8);
        if (i % 4 == 0) {
            std::string* fields[] = {&drag, &eccentricity, &degrees, &motion};
            std::string& field = *fields[next(4)];
            field[next(static_cast<unsigned>(field.size()))] = garble[next(sizeof garble - 1)];
        }
        if (i % 7 == 0 && degrees[0] == '0') {
            degrees[0] = ' ';
        }
        const std::string line1 = with_columns(LINE1, 54, drag);
        const std::string line2 = with_columns(with_columns(with_columns(LINE2, 27, eccentricity), 18, degrees), 53, motion);
        const TleRecord r = parse_tle_record("X", line1, line2);

        const std::string drag_text = drag.substr(0, 1) + "." + drag.substr(1, 5) + "e" + drag.substr(6);
        const double expected[] = {std::strtod(drag_text.c_str(), nullptr), std::strtod(("0." + eccentricity).c_str(), nullptr),
                                   std::strtod(degrees.c_str(), nullptr), std::strtod(motion.c_str(), nullptr)};
        const double got[] = {r.bstar, r.ecc, r.node, r.n};
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(std::signbit(got[k]), std::signbit(expected[k])) << line1 << "\n" << line2 << " field " << k;
            ASSERT_EQ(got[k], expected[k]) << line1 << "\n" << line2 << " field " << k;
        }
    }
}

// The report's catalogue-number column keeps its six characters whatever
// the number: five digits or Alpha-5 with the classification letter, six
// digits alone past Z9999, stars past six digits.
TEST(TleRecord, CatalogueNumberColumnKeepsItsWidth)
{
    struct Case {
        long number;
        char classification;
        const char* column;
    };
    const Case cases[] = {
        {5, 'U', "00005U"},       {99999, 'U', "99999U"},   {100000, 'U', "A0000U"}, {179999, 'C', "H9999C"},
        {180000, 'U', "J0000U"},  {230000, 'S', "P0000S"},  {339999, 'U', "Z9999U"}, {340000, 'U', "340000"},
        {999999, 'U', "999999"},  {1000000, 'U', "******"}, {-1, 'U', "******"},
    };
    for (const Case& c : cases) {
        const std::array<char, 7> column = catalogue_number_column(c.number, c.classification);
        EXPECT_STREQ(column.data(), c.column) << c.number;
        if (c.number >= 0 && c.number <= 339999) {
            EXPECT_EQ(catalogue_number_from_text(std::string_view(column.data(), 5)), c.number);
        }
    }
}

// Each field the search reads is checked for what it may hold; the problem
// names the line and the field's columns. Text where a number stands, an
// epoch day the year has not, an angle beyond its range and a catalogue
// number of line 2 unlike line 1's are each caught; sound fields, the leap
// year's day 366, a blank second derivative and Alpha-5 numbers are not.
TEST(TleRecord, FieldsAreCheckedForWhatTheyMayHold)
{
    struct Case {
        const char* what;
        std::string line1;
        std::string line2;
        int line;              // 0 when the set may be read
        const char* columns;   // in the problem's text
    };
    const Case cases[] = {
        {"sound set", LINE1, LINE2, 0, ""},
        {"eccentricity of letters", LINE1, with_columns(LINE2, 27, "ABCDEFG"), 2, "columns 27-33, the eccentricity"},
        {"eccentricity with a blank", LINE1, with_columns(LINE2, 27, " 006703"), 2, "columns 27-33"},
        {"inclination of letters", LINE1, with_columns(LINE2, 9, "      qq"), 2, "columns 9-16, the inclination"},
        {"inclination 999.9999", LINE1, with_columns(LINE2, 9, "999.9999"), 2, "is not 0 to 180 deg"},
        {"inclination 180", LINE1, with_columns(LINE2, 9, "180.0000"), 0, ""},
        {"node 360.0001", LINE1, with_columns(LINE2, 18, "360.0001"), 2, "columns 18-25"},
        {"node 360", LINE1, with_columns(LINE2, 18, "360.0000"), 0, ""},
        {"perigee negative", LINE1, with_columns(LINE2, 35, "-30.5360"), 2, "columns 35-42"},
        {"mean anomaly of letters", LINE1, with_columns(LINE2, 44, "3x5.0288"), 2, "columns 44-51"},
        {"mean motion of letters", LINE1, with_columns(LINE2, 53, "15.7212539x"), 2, "columns 53-63"},
        {"mean motion zero", LINE1, with_columns(LINE2, 53, " 0.00000000"), 2, "is not positive"},
        {"epoch day 000", with_columns(LINE1, 21, "000.00000000"), LINE2, 1, "is not a day of 2008 (1 to below 367)"},
        {"epoch day 400", with_columns(LINE1, 21, "400.00000000"), LINE2, 1, "columns 21-32"},
        {"epoch day garbage", with_columns(LINE1, 21, "1a8.51234567"), LINE2, 1, "columns 21-32"},
        {"day 366.5 of leap year 2008", with_columns(LINE1, 21, "366.50000000"), LINE2, 0, ""},
        {"day 366.5 of 2007", with_columns(with_columns(LINE1, 21, "366.50000000"), 19, "07"), LINE2, 1,
         "is not a day of 2007 (1 to below 366)"},
        {"day 366.5 of 2000", with_columns(with_columns(LINE1, 21, "366.50000000"), 19, "00"), LINE2, 0, ""},
        {"day 366.5 of 1999", with_columns(with_columns(LINE1, 21, "366.50000000"), 19, "99"), LINE2, 1,
         "a day of 1999"},
        {"epoch year of letters", with_columns(LINE1, 19, "x8"), LINE2, 1, "columns 19-20"},
        {"derivative of letters", with_columns(LINE1, 34, " .0000z182"), LINE2, 1, "columns 34-43"},
        {"derivative of 1", with_columns(LINE1, 34, " 1.0000000"), LINE2, 1, "below 1 in size"},
        {"second derivative blank", with_columns(LINE1, 45, "        "), LINE2, 0, ""},
        {"second derivative of letters", with_columns(LINE1, 45, " ABCDE-0"), LINE2, 1, "columns 45-52"},
        {"B* without exponent digit", with_columns(LINE1, 54, " 12345-x"), LINE2, 1, "columns 54-61, the drag term"},
        {"B* negative", with_columns(LINE1, 54, "-11606-4"), LINE2, 0, ""},
        {"catalogue number of letters", with_columns(LINE1, 3, "1x345"), LINE2, 1, "columns 3-7"},
        {"line 2 of another number", LINE1, with_columns(LINE2, 3, "12346"), 2, "is not line 1's"},
        {"Alpha-5 numbers", with_columns(LINE1, 3, "A2345"), with_columns(LINE2, 3, "A2345"), 0, ""},
        {"Alpha-5 on one line only", with_columns(LINE1, 3, "A2345"), LINE2, 2, "columns 3-7"},
    };
    for (const Case& c : cases) {
        const TleFieldProblem problem = tle_field_problem(c.line1, c.line2, parse_tle_record("X", c.line1, c.line2));
        EXPECT_EQ(problem.line, c.line) << c.what << ": " << problem.what;
        if (c.line != 0) {
            EXPECT_NE(problem.what.find(c.columns), std::string::npos) << c.what << ": " << problem.what;
            EXPECT_EQ(problem.what.rfind("line " + std::to_string(c.line) + " columns ", 0), 0u) << problem.what;
        }
    }
}

// The checksum of column 69 is the digits of columns 1-68 summed, a minus
// sign counting 1, modulo 10. The published set of 2008 September 20 has 7
// on both lines; a changed column 69, or a digit changed before it, is
// named; a line without column 69, or with it blank, carries no checksum.
TEST(TleRecord, ChecksumsAreChecked)
{
    const std::string published1 = "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  2927";
    const std::string published2 = "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.72125391563537";
    struct Case {
        std::string line1;
        std::string line2;
        const char* problem;
    };
    const Case cases[] = {
        {published1, published2, ""},
        {with_columns(published1, 69, "3"), published2, "line 1 checksum 3, its columns 1-68 give 7"},
        {published1, with_columns(published2, 10, "52"), "line 2 checksum 7, its columns 1-68 give 8"},
        // A minus sign for a blank adds 1.
        {with_columns(published1, 45, "-"), published2, "line 1 checksum 7, its columns 1-68 give 8"},
        {with_columns(published1, 69, "3"), with_columns(published2, 69, "0"),
         "line 1 checksum 3, its columns 1-68 give 7; line 2 checksum 0, its columns 1-68 give 7"},
        {with_columns(published1, 69, "x"), published2, "line 1 column 69, the checksum, \"x\" is not a digit"},
        {with_columns(published1, 69, " "), published2.substr(0, 68), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tle_checksum_problem(c.line1, c.line2), c.problem) << c.line1 << "\n" << c.line2;
        EXPECT_EQ(tle_field_problem(c.line1, c.line2, parse_tle_record("X", c.line1, c.line2)).line, 0) << c.line1;
    }
}
