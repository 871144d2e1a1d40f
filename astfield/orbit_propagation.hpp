// The orbits of catalogue records carried by integration to the window of a
// run: each record's state at its epoch (TT) integrated under the Sun, the
// planets and the Moon to one reference instant, and its osculating conic
// there, which serves every instant of the window (a night at most) within
// the accuracy the integration keeps; and how far the integrated place can
// lie from the record's two-body place over the window, so that a search
// rules most records out before integrating any.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "catalogue_record.hpp"
#include "nbody_propagation.hpp"
#include "osculating_elements.hpp"
#include "perturbation_bound.hpp"
#include "two_body.hpp"

namespace fieldsearch {

// The epochs the integrator takes (TT MJDs of 1900-01-01 and 2100-01-01):
// the span of ERFA's Earth series.
inline constexpr double EARLIEST_EPOCH_TT = 15020.0;
inline constexpr double LATEST_EPOCH_TT = 88069.0;

// TT MJD of the epoch the record's elements osculate at: an asteroid's 0h
// of its date, a comet's epoch or, when it gives none, its perihelion time.
double record_epoch_tt(const OrbitRecord& record);

// The record's heliocentric state at that epoch (AU, AU/day, mean J2000).
StateVector record_epoch_state(const OrbitRecord& record);

// The planet tables for the spans the records of a run need, each from a
// bin of EPOCH_BIN_DAYS of epochs to the run's window (TT), with the
// bodies' distance ranges over it: made on first use and kept. Safe to use
// from several threads at once.
inline constexpr double EPOCH_BIN_DAYS = 64.0;
class RunPlanetTables {
public:
    RunPlanetTables(double window_start_tt, double window_end_tt);

    struct Span {
        PlanetTable table;
        BodyDistanceRanges ranges;
        // The bounds of the classes of orbits (class_window_deviation_km)
        // with epochs in the bin, by their cells.
        mutable std::mutex classes_mutex;
        mutable std::unordered_map<std::uint64_t, DeviationBound> classes;
    };

    // The span for a record whose epoch is `epoch_tt` (within the epochs the
    // integrator takes).
    const Span& for_epoch(double epoch_tt) const;

    double window_start_tt() const { return start_; }

    // A number no other set of tables of this process has.
    std::uint64_t serial() const { return serial_; }
    double window_end_tt() const { return end_; }

private:
    double start_;
    double end_;
    std::uint64_t serial_;
    struct Slot {
        std::once_flag made;
        std::atomic<bool> ready{false};
        std::unique_ptr<Span> span;
    };
    mutable std::mutex mutex_;
    mutable std::map<long, std::unique_ptr<Slot>> spans_;
    // The spans overlap: the planets' series are called once per piece.
    mutable PlanetPieceStore pieces_;
};

// A record's orbit integrated to the reference instant: the osculating conic
// there, its perihelion time on the UTC axis of the run's instants; or why
// the integration could not be done.
struct IntegratedOrbit {
    bool ok;
    PerihelionElements elements;
    std::string failure;  // when not ok: one line, no line end
};

// A record's osculating elements at a TT instant, integrated from its epoch;
// or, when not ok, why the orbit could not be carried there (one line, no
// line end).
struct IntegratedElements {
    bool ok;
    OsculatingElements elements;
    std::string failure;
};

// The record integrated from its epoch to TT MJD `target_tt` with the
// planets of `tables`. Not ok when the elements are not valid, the epoch lies
// outside 1900-2099, the integrator cannot carry it or the state there is no
// conic.
IntegratedElements integrated_elements(const OrbitRecord& record, double target_tt, const RunPlanetTables& tables);

// The record integrated from its epoch to TT MJD `reference_tt`, whose UTC
// MJD is reference_tt - tt_minus_utc_days. Not ok when the elements are not
// valid, the epoch lies outside 1900-2099 or the integrator cannot carry it.
IntegratedOrbit integrated_orbit(const OrbitRecord& record, double reference_tt, double tt_minus_utc_days,
                                 const RunPlanetTables& tables);

// The asteroid record with its elements replaced by the elliptic conic
// `conic` (perihelion time on the UTC axis), osculating at 0h of the UTC
// date of `utc_mjd`: its two-body places are the conic's, to within
// CONIC_RECORD_ALLOWANCE_KM of rounding, so that the tests made for
// records rule integrated orbits in and out as sharply. Every other field is
// the record's.
inline constexpr double CONIC_RECORD_ALLOWANCE_KM = 10.0;
AstorbRecord conic_record(const AstorbRecord& record, const PerihelionElements& conic, double utc_mjd);

// An upper bound (km) of the distance between the record's integrated and
// two-body heliocentric places at any instant of the window, the light time
// back from it included (up to `light_time_days`), with room for the
// observer's Earth taken from ERFA rather than the solar series; infinite
// when no bound holds. Where the distance shells give none, the bound from
// where the bodies are, over `path_pieces` pieces (fewer: cheaper, looser,
// more often infinite). A bound that would pass `give_up_km` is given up
// as infinite early: a caller that cannot use one so wide saves its cost.
inline constexpr int FINE_PATH_PIECES = 48;
double window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables, double light_time_days,
                           int path_pieces = FINE_PATH_PIECES, double give_up_km = INFINITY);

// A looser bound of the same (km), one for each class of asteroid orbits:
// elliptic orbits whose perihelion and aphelion distances fall in the same
// cells of 1 % and whose epochs fall in the same bin of EPOCH_BIN_DAYS
// share the bound of the widest orbit of the class over the longest span
// from the bin to the window (range_deviation_bound), made once; at least
// window_deviation_km of each of them. Infinite for comets and open orbits
// and where the class's distances overlap a body's, and for what
// window_deviation_km refuses.
double class_window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables, double light_time_days);

}  // namespace fieldsearch
