// The fields of a run made ready for the asteroids and comets of a
// catalogue: each field's request, the observer's positions, its region and
// longitude window, and for several fields or exposures the night's index
// that names the few fields a record may reach. Every scan of a catalogue
// (a file read in blocks, records kept in memory, a night's observations)
// evaluates its records through it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "asteroid_evaluation.hpp"
#include "catalogue_record.hpp"
#include "field_prefilter.hpp"
#include "field_region.hpp"
#include "frame_rows.hpp"
#include "night_candidates.hpp"
#include "orbit_propagation.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

// How a scan evaluates its records: `fast` first rules out, from the
// geometric place alone, the records that cannot be in the field and
// evaluates only the others in full; `straightforward` evaluates every
// record in full. Both find the same.
enum class AsteroidScan { fast, straightforward };

// What is called for each field a record lies in: the field's index in the
// plan, the sighting at the field's rows' instant and the extra columns of
// an image or exposure.
using AsteroidFound = std::function<void(std::size_t field, const AsteroidSighting& sighting, const RowExtras& extras)>;

// An upper bound of the light time (days) from the record's object to an
// observer near the Earth: over its aphelion distance and 1.1 AU; a day for
// an open orbit.
double light_time_allowance_days(const OrbitRecord& record);

// A bound (km) of how far the record's integrated place may lie from its
// two-body place over the window of `tables`, looser and cheaper than
// window_deviation_km with light_time_allowance_days (its class's bound, or
// else the bound from the bodies' paths over a few pieces), to rule records
// out before their own; infinite when none holds.
double loose_window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables);

class AsteroidFields {
public:
    // Prepares the fields of `plan` (which must outlive this). With the
    // plan's n-body propagation every record that may lie in a field is
    // integrated once, to the middle of the run's window, and seen from
    // ERFA's Earth.
    AsteroidFields(const SearchPlan& plan, AsteroidScan scan);

    // True for one square at one instant of a fast scan: its longitude
    // window may rule an orbit out before the rest of its record is read.
    bool lone_square() const { return lone_square_; }

    // For a lone square: false when the orbit cannot lie in the square.
    bool may_hold(const AstorbRecord& orbit) const;

    // Calls `found` for each field the record lies in, in the order of the
    // plan. `prefiltered`: the record already passed may_hold. Safe to call
    // from several threads at once.
    // With integrated orbits, `failure` (when given) is set to why the
    // integrator could not carry an orbit that may reach a field; the record
    // then gives no rows.
    void evaluate(const OrbitRecord& record, bool prefiltered, const AsteroidFound& found,
                  std::string* failure = nullptr) const;

    // The extra columns of the plan's rows (images, exposures).
    const ExtraColumns& extra() const { return extra_; }

private:
    // Everything the evaluation of one field needs.
    struct Work {
        const FieldSearch* field;
        SearchRequest request;       // at the rows' instant
        ObserverPositions observer;  // at the rows' instant and a motion step either side
        FieldPrefilter prefilter;    // for a square at one instant
        bool plain;                  // a square at one instant: the place at that instant decides
        FieldRegion region;
        Vector3 observer_start;      // heliocentric, at the exposure's start and end
        Vector3 observer_end;
    };

    std::optional<RowExtras> exposure_crossing_extras(const Work& work, const OrbitRecord& record,
                                                      const PerihelionElements* integrated) const;
    std::optional<AsteroidSighting> sighting_in_region(const Work& work, const OrbitRecord& record,
                                                       const PerihelionElements* integrated, RowExtras& extras) const;
    void candidate_fields_of(const OrbitRecord& record, double deviation_km, std::vector<int>& candidates) const;
    double deviation_km(const OrbitRecord& record) const;
    // n-body: bounds as deviation_km's, looser and cheaper, to rule records
    // out before their own; none for two-body runs.
    std::vector<double> loose_deviations_km(const OrbitRecord& record) const;

    std::vector<Work> fields_;
    bool use_night_ = false;  // the night's index names each record's candidate fields
    NightPlan night_{};
    bool lone_square_ = false;
    ExtraColumns extra_{};
    // n-body: the tables of the run's window, the reference instant (TT)
    // and TT - UTC there (days); empty for two-body motion.
    std::shared_ptr<const RunPlanetTables> tables_{};
    double reference_tt_ = 0.0;
    double tt_minus_utc_days_ = 0.0;
};

}  // namespace fieldsearch
