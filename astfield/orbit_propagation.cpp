#include "orbit_propagation.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <vector>

#include "constants.hpp"
#include "osculating_elements.hpp"
#include "time_scales.hpp"

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

namespace {

std::atomic<std::uint64_t> next_tables_serial{1};

// The span a thread was handed last, by the serial of its tables and its
// bin: nearly every record of a catalogue asks for the span of the last.
struct LastSpan {
    std::uint64_t serial = 0;
    long bin = 0;
    const RunPlanetTables::Span* span = nullptr;
};
thread_local LastSpan last_span;

}  // namespace

RunPlanetTables::RunPlanetTables(double window_start_tt, double window_end_tt)
    : start_(std::min(window_start_tt, window_end_tt)), end_(std::max(window_start_tt, window_end_tt)),
      serial_(next_tables_serial.fetch_add(1))
{
}

const RunPlanetTables::Span& RunPlanetTables::for_epoch(double epoch_tt) const
{
    const long bin = static_cast<long>(std::floor(epoch_tt / EPOCH_BIN_DAYS));
    if (last_span.span != nullptr && last_span.serial == serial_ && last_span.bin == bin) {
        return *last_span.span;
    }
    // The map's lock only finds or makes the bin's slot; the span is made
    // under the slot's own, so that threads make the spans of different
    // bins at once.
    Slot* slot = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::unique_ptr<Slot>& kept = spans_[bin];
        if (!kept) {
            kept = std::make_unique<Slot>();
        }
        slot = kept.get();
    }
    const double bin_start = static_cast<double>(bin) * EPOCH_BIN_DAYS;
    // A light time of up to a few days before the window is reached too.
    const double first = std::min(bin_start, start_ - 4.0);
    const double last = std::max(bin_start + EPOCH_BIN_DAYS, end_);
    if (!slot->ready.load(std::memory_order_acquire)) {
        // While one thread makes the span, the others that need it fit its
        // pieces with it rather than wait.
        const PieceRange pieces = store_pieces(first, last);
        pieces_.fit_pieces(pieces.first, pieces.last);
    }
    std::call_once(slot->made, [&] {
        slot->span = std::make_unique<Span>();
        slot->span->table = planet_table(first, last, pieces_);
        slot->span->ranges = body_distance_ranges(slot->span->table);
        slot->ready.store(true, std::memory_order_release);
    });
    last_span = LastSpan{serial_, bin, slot->span.get()};
    return *slot->span;
}

IntegratedElements integrated_elements(const OrbitRecord& record, double target_tt, const RunPlanetTables& tables)
{
    IntegratedElements out{false, {}, {}};
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
    const Propagated carried = propagate_state(record_epoch_state(record), epoch, target_tt, span.table);
    if (carried.outcome != PropagationOutcome::reached) {
        out.failure = propagation_failure_reason(carried);
        return out;
    }
    out.elements = elements_from_state(carried.state, target_tt);
    if (!std::isfinite(out.elements.perihelion_distance) || !std::isfinite(out.elements.eccentricity)) {
        out.failure = "an integrated orbit that is no conic";
        return out;
    }
    out.ok = true;
    return out;
}

IntegratedOrbit integrated_orbit(const OrbitRecord& record, double reference_tt, double tt_minus_utc_days,
                                 const RunPlanetTables& tables)
{
    IntegratedOrbit out{false, {}, {}};
    const IntegratedElements integrated = integrated_elements(record, reference_tt, tables);
    if (!integrated.ok) {
        out.failure = integrated.failure;
        return out;
    }
    PerihelionElements elements = perihelion_elements_of(integrated.elements);
    elements.perihelion_time -= tt_minus_utc_days;
    if (!std::isfinite(elements.perihelion_time) || !std::isfinite(elements.q) || !std::isfinite(elements.e)) {
        out.failure = "an integrated orbit that is no conic";
        return out;
    }
    out.ok = true;
    out.elements = elements;
    return out;
}

namespace {

// The classes' cells: 1 % of perihelion and of aphelion distance.
constexpr double CELL_LOG_WIDTH = 0.01;

long distance_cell(double au)
{
    return static_cast<long>(std::floor(std::log(au) / CELL_LOG_WIDTH));
}

// The least and greatest distance of a cell, widened by the rounding of the
// logarithm and the exponential.
double cell_least_au(long cell)
{
    return std::exp(static_cast<double>(cell) * CELL_LOG_WIDTH) * (1.0 - 1e-9);
}

double cell_greatest_au(long cell)
{
    return std::exp(static_cast<double>(cell + 1) * CELL_LOG_WIDTH) * (1.0 + 1e-9);
}

// The bound of one class: its orbits' distances within the cells' range;
// their speeds below vis-viva at the least perihelion distance with the
// longest semimajor axis, v^2 = GM (2 / r - 1 / a); the span from the
// farther end of the epoch bin to the farther of the window's ends (a day
// of light time before its start included).
DeviationBound class_bound(long q_cell, long aphelion_cell, long bin, const RunPlanetTables& tables,
                           const BodyDistanceRanges& ranges)
{
    const double least = cell_least_au(q_cell);
    const double greatest = cell_greatest_au(aphelion_cell);
    const double longest_axis = 0.5 * (cell_greatest_au(q_cell) + greatest);
    const double gm = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;
    const double speed = std::sqrt(gm * (2.0 / least - 1.0 / longest_axis)) * (1.0 + 1e-9);
    const double bin_start = static_cast<double>(bin) * EPOCH_BIN_DAYS;
    const double bin_end = bin_start + EPOCH_BIN_DAYS;
    const double earliest = tables.window_start_tt() - 1.0;
    const double latest = tables.window_end_tt();
    const double span = std::max({std::fabs(latest - bin_start), std::fabs(latest - bin_end),
                                  std::fabs(earliest - bin_start), std::fabs(earliest - bin_end)});
    return range_deviation_bound(least, greatest, speed, span, ranges);
}

}  // namespace

double class_window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables, double light_time_days)
{
    const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record);
    if (asteroid == nullptr || !has_elliptic_elements(*asteroid) || !(light_time_days <= 1.0)) {
        return INFINITY;
    }
    const double epoch = record_epoch_tt(record);
    if (!epoch_taken(epoch)) {
        return INFINITY;
    }
    const double a = asteroid->semimajor_axis;
    const double e = asteroid->eccentricity;
    const double q = a * (1.0 - e);
    const double aphelion = a * (1.0 + e);
    if (!(q > 0.0) || !std::isfinite(aphelion)) {
        return INFINITY;
    }
    const long bin = static_cast<long>(std::floor(epoch / EPOCH_BIN_DAYS));
    const long q_cell = distance_cell(q);
    const long aphelion_cell = distance_cell(aphelion);
    if (q_cell < -30000 || aphelion_cell > 30000) {
        return INFINITY;
    }
    const std::uint64_t key = (static_cast<std::uint64_t>(q_cell + 32768) << 16) |
                              static_cast<std::uint64_t>(aphelion_cell + 32768);
    const RunPlanetTables::Span& span = tables.for_epoch(epoch);
    // The classes this thread looked up last, in front of the span's own.
    struct KeptClass {
        std::uint64_t serial = 0;
        long bin = 0;
        std::uint64_t key = 0;
        DeviationBound bound{};
    };
    // Room for the classes of a whole catalogue (some thousands), on the heap.
    constexpr int KEPT_BITS = 14;
    thread_local std::vector<KeptClass> kept(std::size_t{1} << KEPT_BITS);
    KeptClass& slot = kept[static_cast<std::size_t>(
        ((key ^ (static_cast<std::uint64_t>(bin) << 40)) * 0x9E3779B97F4A7C15ULL) >> (64 - KEPT_BITS))];
    DeviationBound bound{};
    if (slot.serial == tables.serial() && slot.bin == bin && slot.key == key) {
        bound = slot.bound;
    } else {
        const std::lock_guard<std::mutex> lock(span.classes_mutex);
        const auto found = span.classes.find(key);
        if (found != span.classes.end()) {
            bound = found->second;
        } else {
            bound = class_bound(q_cell, aphelion_cell, bin, tables, span.ranges);
            span.classes.emplace(key, bound);
        }
        slot = KeptClass{tables.serial(), bin, key, bound};
    }
    if (!(bound.distance < INFINITY)) {
        return INFINITY;
    }
    const double km = (bound.distance + bound.speed * light_time_days) * KM_PER_AU + EARTH_EPHEMERIS_ALLOWANCE_KM;
    return std::isfinite(km) ? km : INFINITY;
}

namespace {

// The pieces of a record's shell bound, and the shortest piece of its bounds.
constexpr int SHELL_PIECES = 12;
constexpr double SHORTEST_PIECE_DAYS = 4.0;

}  // namespace

double window_deviation_km(const OrbitRecord& record, const RunPlanetTables& tables, double light_time_days,
                           int path_pieces, double give_up_km)
{
    const double give_up_au = give_up_km / KM_PER_AU;
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
    // The bound grows with the time from the epoch (every piece's comparison
    // function and its rate grow over the piece), so the bound at the
    // window's end farthest from the epoch holds over the whole window on
    // that side of it: one instant, or both ends when the epoch lies within.
    const double earliest = start - light_time_days;
    std::vector<double> instants;
    if (epoch < end) {
        instants.push_back(end);
    }
    if (epoch > earliest) {
        instants.push_back(earliest);
    }
    for (const double tt : instants) {
        // Pieces of at least SHORTEST_PIECE_DAYS: over a short span more
        // pieces cost more than they tighten the bound.
        const auto pieces_for = [&](int most) {
            const double needed = std::ceil(std::fabs(tt - epoch) / SHORTEST_PIECE_DAYS);
            return needed < most ? std::max(1, static_cast<int>(needed)) : most;
        };
        DeviationBound bound = shells ? shell_deviation_bound(elements, epoch, tt, span.ranges,
                                                              pieces_for(SHELL_PIECES), give_up_au)
                                      : DeviationBound{INFINITY, INFINITY};
        if (!(bound.distance < INFINITY)) {
            shells = false;
            bound = path_deviation_bound(elements, epoch, tt, span.table, span.ranges, pieces_for(path_pieces),
                                         give_up_au);
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

AstorbRecord conic_record(const AstorbRecord& record, const PerihelionElements& conic, double utc_mjd)
{
    AstorbRecord out = record;
    const CalendarDate date = calendar_date_from_mjd(std::floor(utc_mjd));
    out.epoch_year = date.year;
    out.epoch_month = date.month;
    out.epoch_day = date.day;
    const double a = conic.q / (1.0 - conic.e);
    out.semimajor_axis = a;
    out.eccentricity = conic.e;
    out.inclination = conic.inclination;
    out.node = conic.node;
    out.perihelion_argument = conic.perihelion_argument;
    double m = std::fmod(mean_motion(a) * (epoch_mjd(out) - conic.perihelion_time) * RAD_TO_DEG, 360.0);
    if (m < 0.0) {
        m += 360.0;
    }
    out.mean_anomaly = m;
    return out;
}

}  // namespace fieldsearch
