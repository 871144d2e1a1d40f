#include "element_set_history.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

namespace fieldsearch {

namespace {

// Catalogue numbers below this (every six-digit one) are told apart and
// grouped by tables indexed by the number, only as large as the largest
// number: a bitmap of 128 KiB and a table of places of 8 MiB at most.
constexpr long TABLE_NUMBERS = long{1} << 20;

// The largest catalogue number of `sets` when every number lies in
// [0, TABLE_NUMBERS); empty otherwise.
std::optional<long> largest_table_number(const std::vector<ElementSetEpoch>& sets)
{
    long largest = 0;
    for (const ElementSetEpoch& set : sets) {
        if (set.satellite < 0 || set.satellite >= TABLE_NUMBERS) {
            return std::nullopt;
        }
        largest = std::max(largest, set.satellite);
    }
    return largest;
}

// Whether a catalogue number below `largest` + 1 is given twice.
bool repeats_number(const std::vector<ElementSetEpoch>& sets, long largest)
{
    std::vector<std::uint64_t> seen(static_cast<std::size_t>(largest) / 64 + 1, 0);
    for (const ElementSetEpoch& set : sets) {
        std::uint64_t& word = seen[static_cast<std::size_t>(set.satellite) / 64];
        const std::uint64_t bit = std::uint64_t{1} << (set.satellite % 64);
        if ((word & bit) != 0) {
            return true;
        }
        word |= bit;
    }
    return false;
}

// The indices of `sets` by catalogue number, each number's in catalogue order.
std::vector<std::size_t> sets_by_number(const std::vector<ElementSetEpoch>& sets, std::optional<long> largest)
{
    std::vector<std::size_t> order(sets.size());
    if (largest) {
        // A counting sort: each number's first place, then the sets in turn.
        std::vector<std::size_t> place(static_cast<std::size_t>(*largest) + 2, 0);
        for (const ElementSetEpoch& set : sets) {
            ++place[static_cast<std::size_t>(set.satellite) + 1];
        }
        for (std::size_t k = 1; k < place.size(); ++k) {
            place[k] += place[k - 1];
        }
        for (std::size_t i = 0; i < sets.size(); ++i) {
            order[place[static_cast<std::size_t>(sets[i].satellite)]++] = i;
        }
        return order;
    }
    for (std::size_t i = 0; i < sets.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sets[a].satellite < sets[b].satellite; });
    return order;
}

}  // namespace

ElementSetHistory element_set_history(std::vector<ElementSetEpoch> sets)
{
    ElementSetHistory history;
    history.sets = std::move(sets);
    const std::size_t n = history.sets.size();
    const std::optional<long> largest = largest_table_number(history.sets);
    if (largest && !repeats_number(history.sets, *largest)) {
        // Every set its satellite's only one: no groups are needed.
        history.satellites = n;
        return history;
    }
    history.by_satellite = sets_by_number(history.sets, largest);
    history.group_start.resize(n);
    history.group_end.resize(n);
    const auto satellite_at = [&](std::size_t k) { return history.sets[history.by_satellite[k]].satellite; };
    for (std::size_t begin = 0; begin < n;) {
        std::size_t end = begin + 1;
        while (end < n && satellite_at(end) == satellite_at(begin)) {
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
    if (history.group_start.empty()) {
        return set;
    }
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
