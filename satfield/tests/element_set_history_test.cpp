#include "element_set_history.hpp"

#include <cstddef>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace fieldsearch;

// Which set of a satellite places it at an instant: the nearest epoch, a tie
// to the later epoch, then to the later set of the catalogue; other
// satellites' sets never count, wherever they stand in the catalogue.
TEST(ElementSetHistory, ChoosesTheSetNearestTheInstant)
{
    struct Case {
        const char* what;
        std::vector<ElementSetEpoch> sets;
        std::size_t asked;      // the set whose satellite is asked for
        double utc_mjd;
        std::size_t expected;
    };
    const Case cases[] = {
        {"one set, however far its epoch", {{25544, 54600.0}}, 0, 54600.0 + 3650.0, 0},
        {"one set each: every set its own", {{1, 54600.0}, {2, 54610.0}, {3, 54590.0}}, 1, 54500.0, 1},
        {"the older set nearer", {{7, 54590.0}, {7, 54600.0}}, 1, 54591.0, 0},
        {"the newer set nearer", {{7, 54590.0}, {7, 54600.0}}, 0, 54599.0, 1},
        {"the instant between, nearer the later", {{7, 54590.0}, {7, 54600.0}}, 0, 54595.5, 1},
        {"a tie goes to the later epoch", {{7, 54600.0}, {7, 54590.0}}, 0, 54595.0, 0},
        {"a tie goes to the later epoch, listed last", {{7, 54590.0}, {7, 54600.0}}, 0, 54595.0, 1},
        {"the same epoch twice: the later in the catalogue", {{7, 54600.0}, {7, 54600.0}}, 0, 54601.0, 1},
        {"the same epoch twice, asked by the later", {{7, 54600.0}, {7, 54600.0}}, 1, 54590.0, 1},
        {"another satellite's nearer set does not count", {{7, 54500.0}, {8, 54600.0}, {7, 54400.0}}, 2, 54600.0, 0},
        {"sets of one satellite apart in an unsorted catalogue",
         {{9, 54000.0}, {3, 54600.0}, {5, 54600.0}, {9, 54601.0}, {3, 54000.0}, {9, 54599.0}}, 0, 54600.75, 3},
        {"far epochs: decades apart", {{11, 20000.0}, {11, 60000.0}, {11, 40000.0}}, 0, 55000.0, 1},
        {"an instant before every epoch", {{11, 54600.0}, {11, 54700.0}, {11, 54650.0}}, 2, 50000.0, 0},
        {"an instant after every epoch", {{11, 54600.0}, {11, 54700.0}, {11, 54650.0}}, 0, 60000.0, 1},
        {"catalogue number zero is a satellite too", {{0, 54600.0}, {1, 54600.0}, {0, 54610.0}}, 0, 54609.0, 2},
        {"nine-digit catalogue numbers", {{412345678, 54600.0}, {5, 54605.0}, {412345678, 54604.0}}, 0, 54605.0, 2},
        {"nine-digit numbers, the older nearer", {{412345678, 54600.0}, {5, 54605.0}, {412345678, 54604.0}}, 2,
         54601.0, 0},
    };
    for (const Case& c : cases) {
        const ElementSetHistory history = element_set_history(c.sets);
        EXPECT_EQ(nearest_element_set(history, c.asked, c.utc_mjd), c.expected) << c.what;
    }
}

// The sets superseded at an instant are the sets less the satellites, and
// only rows on each satellite's nearest set stay; a catalogue without
// repeats keeps every row.
TEST(ElementSetHistory, KeepsOnlyRowsOnTheNearestSets)
{
    struct Case {
        const char* what;
        std::vector<ElementSetEpoch> sets;
        std::vector<RowOnSet> rows;
        std::size_t superseded;
        std::vector<bool> kept;
    };
    const Case cases[] = {
        {"no catalogue", {}, {}, 0, {}},
        {"no repeats: every row kept, whatever the instant",
         {{1, 54600.0}, {2, 54600.0}, {3, 54600.0}}, {{0, 50000.0}, {2, 60000.0}, {1, 54600.0}}, 0,
         {true, true, true}},
        {"no repeats among nine-digit numbers", {{412345678, 54600.0}, {412345679, 54600.0}, {1, 54600.0}},
         {{0, 50000.0}, {1, 50000.0}}, 0, {true, true}},
        {"a repeat among nine-digit numbers", {{412345678, 54600.0}, {412345679, 54600.0}, {412345678, 54500.0}},
         {{0, 54510.0}, {1, 54510.0}, {2, 54510.0}}, 1, {false, true, true}},
        {"a history of three sets, rows on each at two instants",
         {{5, 54560.0}, {5, 54600.0}, {6, 54600.0}, {5, 54640.0}},
         {{0, 54562.0}, {1, 54562.0}, {2, 54562.0}, {3, 54639.0}, {1, 54639.0}}, 2,
         {true, false, true, true, false}},
        {"two satellites with histories", {{5, 54560.0}, {6, 54560.0}, {5, 54600.0}, {6, 54600.0}, {6, 54640.0}},
         {{0, 54590.0}, {2, 54590.0}, {1, 54590.0}, {3, 54590.0}, {4, 54590.0}}, 3,
         {false, true, false, true, false}},
    };
    for (const Case& c : cases) {
        const ElementSetHistory history = element_set_history(c.sets);
        EXPECT_EQ(superseded_set_count(history), c.superseded) << c.what;
        EXPECT_EQ(rows_on_nearest_sets(history, c.rows), c.kept) << c.what;
    }
}
