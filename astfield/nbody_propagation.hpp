// Perturbed heliocentric orbits: a state carried from one instant to another
// under the Sun (with its first post-Newtonian term), the eight planets and
// the Moon, by a Gauss-Radau integrator of order 15 with automatic step
// control. States are heliocentric, AU and AU/day on the mean equator and
// equinox of J2000.0; instants are TT MJDs.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "constants.hpp"
#include "planet_ephemeris.hpp"

namespace fieldsearch {

// Speed of light, AU/day.
inline constexpr double SPEED_OF_LIGHT_AU_PER_DAY = SPEED_OF_LIGHT_KM_S * SECONDS_PER_DAY / KM_PER_AU;

// The table's instants one thread asked for last, 2^SlotBits of them by a
// hash of the instant: what a table holds at an instant depends only on
// where it starts, its pieces and the instant, so those are the key, and a
// kept instant is the table's own to the bit.
template <int SlotBits>
class TableInstantCache {
public:
    // table_instant(table, tt), from the cache when it holds it.
    const TabulatedInstant& at(const PlanetTable& table, double tt)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &tt, sizeof bits);
        Kept& slot = kept_[static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ULL) >> (64 - SlotBits))];
        if (!(slot.tt == tt && slot.start_tt == table.start_tt && slot.pieces == table.pieces)) {
            slot.instant = table_instant(table, tt);
            slot.start_tt = table.start_tt;
            slot.pieces = table.pieces;
            slot.tt = tt;
        }
        return slot.instant;
    }

private:
    struct Kept {
        double start_tt = NAN;
        int pieces = 0;
        double tt = NAN;
        TabulatedInstant instant{};
    };
    std::array<Kept, std::size_t{1} << SlotBits> kept_{};
};

// What acts on the orbit. The planets and the Moon as point masses (the
// heliocentric frame's indirect terms included), the Sun's Schwarzschild
// term; either may be left out to compare with simpler motion.
struct ForceModel {
    bool planets = true;
    bool relativity = true;
};

// The heliocentric acceleration (AU/day^2) of a massless body at `state`
// when the nine bodies stand at `body_positions` (heliocentric, AU).
Vector3 heliocentric_acceleration(const StateVector& state, const std::array<Vector3, BODY_COUNT>& body_positions,
                                  const ForceModel& model);

// The integrator's control: the relative size of the last term of the
// acceleration series that a step may leave (IAS15's epsilon); the change of
// that term, relative to the acceleration, below which the predictor-
// corrector iterations of a step stop; and the most steps an integration
// may take per day of its span (plus a thousand).
// The defaults keep a main-belt orbit within 1e-10 AU of a far tighter
// integration over three years in some six steps a year. The iterations
// stop once the last term changes by a tenth of its own size (the
// tolerance): what they leave is then a tenth of what the series leaves
// out; stopping a hundred times later moves none of the test orbits (main
// belt to comets and close approaches to the Earth) by more than 4e-10 AU in
// three years.
struct IntegratorControl {
    double tolerance = 1e-5;
    double convergence = 1e-6;
    double steps_per_day = 100.0;
};

// How an integration ended.
enum class PropagationOutcome {
    reached,        // the target instant
    collision,      // the orbit passed within a body's radius (or the Sun's)
    step_vanished,  // the step shrank below a millisecond
    step_limit,     // more steps than the control allows
    not_finite,     // the state became NaN or infinite
    outside_table,  // the planet table does not cover the span
};

// The state at `tt` (the target, or where the integration stopped), how it
// ended, the body struck in a collision (-1 the Sun) and the steps taken.
struct Propagated {
    StateVector state;
    double tt;
    PropagationOutcome outcome;
    int body;
    int steps;
};

// A line (no line end) saying why an integration did not reach its target;
// empty when it did.
std::string propagation_failure_reason(const Propagated& result);

// The heliocentric state `start` at TT MJD `start_tt` carried to `end_tt`
// (either direction) under `model`, the bodies taken from `table`, which
// must cover both instants.
Propagated propagate_state(const StateVector& start, double start_tt, double end_tt, const PlanetTable& table,
                           const ForceModel& model = {}, const IntegratorControl& control = {});

// The same with a table made for the span.
Propagated propagate_state(const StateVector& start, double start_tt, double end_tt);

}  // namespace fieldsearch
