// The fields of a run made ready for the element sets of a catalogue: the
// squares grouped by instant (sharing the instant's observer, matrices and
// each set's place there, and the cones of the orbit-plane rule-out), the
// images and exposures each with its region, and the exposures grouped by
// their start. Every scan of a catalogue (a file read in blocks, sets kept
// in memory, a night's observations) evaluates its sets through it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "frame_rows.hpp"
#include "satellite_evaluation.hpp"
#include "search_plan.hpp"
#include "tle_record.hpp"

namespace fieldsearch {

// How a scan evaluates the element sets at the fields' instants: `fast`
// first rules out, by Vinti's theory, the sets whose orbit plane keeps them
// out of every field of an instant (orbit_plane_rule_out.hpp) and places only
// the others; `full` places every set at every instant. Both find the same.
enum class SatelliteScan { fast, full };

// What is called for each field a set lies in: the field's index in the
// plan, the sighting at the field's rows' instant and the extra columns of an
// image or exposure.
using SatelliteFound =
    std::function<void(std::size_t field, const SatelliteSighting& sighting, const RowExtras& extras)>;

// Why a set could not be evaluated (by every theory asked for), or by SGP4
// alone with both theories; nullptr when it could.
struct SatelliteProblems {
    const char* problem = nullptr;
    const char* sgp4_problem = nullptr;
};

// The theory named "vinti", "sgp4" or "both"; empty for any other name.
std::optional<SatelliteTheory> satellite_theory_from_name(std::string_view name);

class SatelliteFields {
public:
    // Prepares the fields of `plan` (which must outlive this) for the theory
    // plan.theory names (Vinti's when empty).
    SatelliteFields(const SearchPlan& plan, SatelliteScan scan);

    // Calls `found` for each field the set lies in, squares first (by
    // instant), then images and exposures; returns why it could not be
    // evaluated. With the plan's sunlit_only, only where it is lit: at the
    // rows' instant of a square or an image, and over an exposure where it
    // is in the field and lit (t_in_s, t_out_s bound that part of its stay).
    // The plan's standard magnitudes go before the set's own. Safe to call
    // from several threads at once.
    SatelliteProblems evaluate(const TleRecord& record, const SatelliteFound& found) const;

    SatelliteTheory theory() const;
    const ExtraColumns& extra() const;

    struct State;

private:
    std::shared_ptr<const State> state_;
};

}  // namespace fieldsearch
