// A catalogue that holds several element sets of one satellite (a history of
// sets, as archives deliver them): at each instant a satellite is placed by
// its set whose epoch is nearest, and its other sets are superseded there.
#pragma once

#include <cstddef>
#include <vector>

namespace fieldsearch {

// One element set of a catalogue as the choice between a satellite's sets
// sees it: the satellite's catalogue number and the set's epoch, UTC MJD.
struct ElementSetEpoch {
    long satellite;
    double epoch_utc_mjd;
};

// The sets of a catalogue (in catalogue order) grouped by satellite, for the
// choice of each satellite's set at an instant. The groups are left empty
// when no satellite has more than one set.
struct ElementSetHistory {
    std::vector<ElementSetEpoch> sets;
    std::vector<std::size_t> by_satellite;  // indices into sets, by satellite, then catalogue order
    std::vector<std::size_t> group_start;   // per set: where its satellite's group starts in by_satellite
    std::vector<std::size_t> group_end;     // per set: where that group ends
    std::size_t satellites = 0;             // distinct satellites
};

// The history of `sets` (in catalogue order).
ElementSetHistory element_set_history(std::vector<ElementSetEpoch> sets);

// Sets superseded at any one instant: the sets less the satellites.
std::size_t superseded_set_count(const ElementSetHistory& history);

// The index of the set of the satellite of set `set` whose epoch is nearest
// `utc_mjd` (UTC MJD): on a tie the later epoch, then the later in the
// catalogue; `set` itself when it is its satellite's only one.
std::size_t nearest_element_set(const ElementSetHistory& history, std::size_t set, double utc_mjd);

// A row found on one set (an index into the history's sets) at its rows'
// instant, UTC MJD.
struct RowOnSet {
    std::size_t set;
    double utc_mjd;
};

// For each of `rows`, whether it rests on its satellite's nearest set at its
// instant (every row does when no satellite has more than one set).
std::vector<bool> rows_on_nearest_sets(const ElementSetHistory& history, const std::vector<RowOnSet>& rows);

}  // namespace fieldsearch
