#include "orbit_propagation.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "osculating_elements.hpp"

namespace fieldsearch {

namespace {

// Room (km) for the observer's Earth: the search may place the observer by
// the solar series where the integrated orbits are seen from ERFA's Earth;
// the two differ by well under a thousand km over 1900-2100.
constexpr double EARTH_EPHEMERIS_ALLOWANCE_KM = 5000.0;

bool epoch_taken(double epoch_tt)
{
    return epoch_tt >= EARLIEST_EPOCH_TT && epoch_tt < LATEST_EPOCH_TT;
}

bool elements_valid(const OrbitRecord& record)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return has_elliptic_elements(*asteroid);
    }
    return has_valid_comet_elements(std::get<CometRecord>(record));
}

}  // namespace

double record_epoch_tt(const OrbitRecord& record)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return epoch_mjd(*asteroid);
    }
    const CometRecord& comet = std::get<CometRecord>(record);
    return std::isnan(comet.epoch_mjd) ? perihelion_elements(comet).perihelion_time : comet.epoch_mjd;
}

StateVector record_epoch_state(const OrbitRecord& record)
{
    if (const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record)) {
        return state_from_elements(elements_aei(*asteroid), elements_angles(*asteroid));
    }
    const CometRecord& comet = std::get<CometRecord>(record);
    return state_from_perihelion_elements(perihelion_elements(comet), record_epoch_tt(record));
}

RunPlanetTables::RunPlanetTables(double window_start_tt, double window_end_tt)
    : start_(std::min(window_start_tt, window_end_tt)), end_(std::max(window_start_tt, window_end_tt))
{
}

const RunPlanetTables::Span& RunPlanetTables::for_epoch(double epoch_tt) const
{
    const long bin = static_cast<long>(std::floor(epoch_tt / EPOCH_BIN_DAYS));
    const std::lock_guard<std::mutex> lock(mutex_);
    std::unique_ptr<Span>& span = spans_[bin];
    if (!span) {
        const double bin_start = static_cast<double>(bin) * EPOCH_BIN_DAYS;
        // A light time of up to a few days before the window is reached too.
        const double first = std::min(bin_start, start_ - 4.0);
        const double last = std::max(bin_start + EPOCH_BIN_DAYS, end_);
        span = std::make_unique<Span>();
        span->table = planet_table(first, last);
        span->ranges = body_distance_ranges(span->table);
    }
    return *span;
}

IntegratedOrbit integrated_orbit(const OrbitRecord& record, double reference_tt, double tt_minus_utc_days,
                                 const RunPlanetTables& tables)
{
    IntegratedOrbit out{false, {}, {}};
    if (!elements_valid(record)) {
        out.failure = "elements that describe no orbit";
        return out;
    }
    const double epoch = record_epoch_tt(record);
    if (!epoch_taken(epoch)) {
        out.failure = "epoch outside 1900-2099";
        return out;
    }
    const RunPlanetTables::Span& span = tables.for_epoch(epoch);
    const Propagated carried = propagate_state(record_epoch_state(record), epoch, reference_tt, span.table);
    if (carried.outcome != PropagationOutcome::reached) {
        out.failure = propagation_failure_reason(carried);
        return out;
    }
    PerihelionElements elements = perihelion_elements_of(elements_from_state(carried.state, reference_tt));
    elements.perihelion_time -= tt_minus_utc_days;
    if (!std::isfinite(elements.perihelion_time) || !std::isfinite(elements.q) || !std::isfinite(elements.e)) {
        out.failure = "an integrated orbit that is no conic";
        return out;
    }
    out.ok = true;
    out.elements = elements;
    return out;
}

double window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables, double light_time_days)
{
    if (!elements_valid(record)) {
        return INFINITY;
    }
    const double epoch = record_epoch_tt(record);
    if (!epoch_taken(epoch)) {
        return INFINITY;
    }
    const RunPlanetTables::Span& span = tables.for_epoch(epoch);
    const double start = tables.window_start_tt();
    const double end = tables.window_end_tt();
    double distance = 0.0;
    double speed = 0.0;
    // The shell bound first (a few hundred operations); where it cannot
    // hold (the orbit's distances from the Sun overlap a planet's) the
    // bound from where the bodies are.
    const bool asteroid = std::holds_alternative<AstorbRecord>(record);
    const PerihelionElements elements = asteroid ? record_perihelion_elements(std::get<AstorbRecord>(record))
                                                 : perihelion_elements(std::get<CometRecord>(record));
    bool shells = true;
    // A single instant's window has start == end: two instants then.
    std::vector<double> instants{start - light_time_days, end};
    if (start != end) {
        instants.push_back(start);
    }
    for (const double tt : instants) {
        DeviationBound bound = shells ? shell_deviation_bound(elements, epoch, tt, span.ranges)
                                      : DeviationBound{INFINITY, INFINITY};
        if (!(bound.distance < INFINITY)) {
            shells = false;
            bound = path_deviation_bound(elements, epoch, tt, span.table, span.ranges);
        }
        if (!(bound.distance < INFINITY)) {
            return INFINITY;
        }
        distance = std::max(distance, bound.distance);
        speed = std::max(speed, bound.speed);
    }
    const double km = (distance + speed * light_time_days) * KM_PER_AU + EARTH_EPHEMERIS_ALLOWANCE_KM;
    return std::isfinite(km) ? km : INFINITY;
}

}  // namespace fieldsearch
