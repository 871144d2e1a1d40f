// A catalogue carried to a new epoch of osculation: each record's orbit
// integrated from its own epoch (TT) to the new one under the Sun, the
// planets and the Moon, and its line written again in the layout it was
// read in, the epoch and the elements replaced and every other byte kept.
#pragma once

#include <string>
#include <string_view>

#include "catalogue_record.hpp"
#include "orbit_propagation.hpp"
#include "osculating_elements.hpp"

namespace fieldsearch {

// What becomes of one catalogue line.
struct ReepochedLine {
    enum class Kind {
        copied,     // not a record (preamble, blank): copied unchanged
        rewritten,  // a record at the new epoch
        refused,    // a record that could not be carried: copied unchanged, reported
    };
    Kind kind;
    std::string text;    // the line to write, no line end
    std::string reason;  // for refused: one line, no line end
};

// Line `line_number` (1-based) of a catalogue of `format` (`line` as read,
// `full_length` its length before any cut, which must not exceed
// line.size()) carried to 0h TT of the date `year`-`month`-`day` (whose TT
// MJD is `target_tt`), written in the layout it was read in.
ReepochedLine reepoched_line(const CatalogueFormat& format, long line_number, std::string_view line,
                             int year, int month, int day, double target_tt, const RunPlanetTables& tables);

}  // namespace fieldsearch
