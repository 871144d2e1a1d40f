#include "field_list.hpp"

#include <string>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Columns go by name in any order, other columns are ignored, quoted fields
// keep their commas and doubled quotes, blank lines are skipped and the
// optional columns may stay empty: a reader that goes by position, splits
// inside quotes or takes an empty exposure for 0 fails here.
TEST(FieldList, ReadsColumnsByNameWithQuotesAndOptionalValues)
{
    const FieldListResult list = field_list_from_text(
        "note,side_arcmin,dec_deg,time,ra_deg,id,exposure_s\r\n"
        "x,120,0.5,2008-05-20T05:14:00,0.0416667,f001,\r\n"
        "\n"
        "\"a, b\",60,-89.5,2008-05-20T05:20:00.5Z,359.5,\"f \"\"2\"\"\",30\n");
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].line, 2);
    EXPECT_EQ(list.rows[0].id, "f001");
    EXPECT_EQ(*list.rows[0].side_arcmin, 120.0);
    EXPECT_EQ(*list.rows[0].ra_deg, 0.0416667);
    EXPECT_FALSE(list.rows[0].exposure_s.has_value());
    EXPECT_EQ(list.rows[1].line, 4);
    EXPECT_EQ(list.rows[1].id, "f \"2\"");
    EXPECT_EQ(*list.rows[1].dec_deg, -89.5);
    EXPECT_EQ(list.rows[1].time->second, 0.5);
    EXPECT_EQ(*list.rows[1].exposure_s, 30.0);
    EXPECT_EQ(csv_fields("a,\"b,c\",\"d\"\"e\", f ").value(), (std::vector<std::string>{"a", "b,c", "d\"e", " f "}));
    EXPECT_FALSE(csv_fields("a,\"open").has_value());
}

// Each kind of bad line is refused with its line number (the header is line
// 1) before any search: a missing column, a time that does not exist, an
// angle or side out of range, an empty list; an image row needs no centre.
TEST(FieldList, RefusesBadLinesNamingThem)
{
    const std::string header = "id,time,ra_deg,dec_deg,side_arcmin\n";
    const struct { std::string text; const char* part; } cases[] = {
        {"id,time,ra_deg,dec_deg\nf,2008-05-20T05:14:00,1,2\n", "side_arcmin"},
        {header + "f,2008-02-30T00:00:00,1,2,60\n", "line 2"},
        {header + "a,2008-05-20T05:14:00,1,2,60\nb,2008-05-20T05:14:00,360,2,60\n", "line 3"},
        {header + "f,2008-05-20T05:14:00,1,91,60\n", "line 2"},
        {header + "f,2008-05-20T05:14:00,1,2,0\n", "line 2"},
        {header + "f,2008-05-20T05:14:00,1,2,10800\n", "line 2"},
        {header + "f,2008-05-20T05:14:00,x,2,60\n", "line 2"},
        {header, "no field"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const FieldListResult list = field_list_from_text(c.text);
        EXPECT_NE(list.error, "") << c.text;
        EXPECT_NE(list.error.find(c.part), std::string::npos) << c.text << " -> " << list.error;
        EXPECT_TRUE(list.rows.empty()) << c.text;
    }
    const FieldListResult image = field_list_from_text("id,time,ra_deg,dec_deg,side_arcmin,image\nf,,,,,frame.fits\n");
    ASSERT_EQ(image.error, "");
    EXPECT_EQ(image.rows[0].image, "frame.fits");
    EXPECT_FALSE(image.rows[0].time.has_value());
}
