#include "element_set_history.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace fieldsearch {

ElementSetHistory element_set_history(std::vector<ElementSetEpoch> sets)
{
    ElementSetHistory history;
    history.sets = std::move(sets);
    const std::size_t n = history.sets.size();
    history.by_satellite.resize(n);
    std::iota(history.by_satellite.begin(), history.by_satellite.end(), std::size_t{0});
    const auto satellite_of = [&](std::size_t i) { return history.sets[i].satellite; };
    // Catalogues are mostly in catalogue-number order: then no sort is needed.
    const bool ordered = std::is_sorted(history.by_satellite.begin(), history.by_satellite.end(),
                                        [&](std::size_t a, std::size_t b) { return satellite_of(a) < satellite_of(b); });
    if (!ordered) {
        std::stable_sort(history.by_satellite.begin(), history.by_satellite.end(),
                         [&](std::size_t a, std::size_t b) { return satellite_of(a) < satellite_of(b); });
    }
    history.group_start.resize(n);
    history.group_end.resize(n);
    for (std::size_t begin = 0; begin < n;) {
        std::size_t end = begin + 1;
        while (end < n && satellite_of(history.by_satellite[end]) == satellite_of(history.by_satellite[begin])) {
            ++end;
        }
        for (std::size_t k = begin; k < end; ++k) {
            history.group_start[history.by_satellite[k]] = begin;
            history.group_end[history.by_satellite[k]] = end;
        }
        ++history.satellites;
        begin = end;
    }
    return history;
}

std::size_t superseded_set_count(const ElementSetHistory& history)
{
    return history.sets.size() - history.satellites;
}

std::size_t nearest_element_set(const ElementSetHistory& history, std::size_t set, double utc_mjd)
{
    std::size_t best = set;
    double best_distance = INFINITY;
    for (std::size_t k = history.group_start[set]; k < history.group_end[set]; ++k) {
        // The group is in catalogue order, so a later set wins a full tie.
        const std::size_t candidate = history.by_satellite[k];
        const double epoch = history.sets[candidate].epoch_utc_mjd;
        const double distance = std::fabs(utc_mjd - epoch);
        if (distance < best_distance ||
            (distance == best_distance && epoch >= history.sets[best].epoch_utc_mjd)) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

std::vector<bool> rows_on_nearest_sets(const ElementSetHistory& history, const std::vector<RowOnSet>& rows)
{
    std::vector<bool> kept(rows.size(), true);
    if (history.satellites == history.sets.size()) {
        return kept;
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        kept[r] = nearest_element_set(history, rows[r].set, rows[r].utc_mjd) == rows[r].set;
    }
    return kept;
}

}  // namespace fieldsearch
