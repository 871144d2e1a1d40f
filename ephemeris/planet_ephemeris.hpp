// The Sun, the eight planets and the Moon from ERFA: heliocentric and
// barycentric places, and a table of the bodies' heliocentric positions over
// a span of time that an orbit integration reads instead of the series.
//
// Every vector is on the mean equator and equinox of J2000.0. ERFA's planet
// series (eraPlan94) already are; its Earth (eraEpv00, BCRS axes) and its
// Moon (eraMoon98, GCRS axes) are turned onto the mean J2000 frame by the
// frame-bias matrix (eraBp06), a fixed rotation of some 23 mas.
#pragma once

#include <array>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

#include "constants.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The bodies that perturb an orbit, in the order of every per-body array.
enum class Body { mercury, venus, earth, mars, jupiter, saturn, uranus, neptune, moon };
inline constexpr int BODY_COUNT = 9;

// Position (AU) and velocity (AU/day).
struct StateVector {
    Vector3 position;
    Vector3 velocity;
};

// Mass ratios Sun / body (IAU 2009 system of astronomical constants; every
// planet with its satellites, except the Earth and the Moon, which are taken
// apart from the Sun / (Earth + Moon) ratio 328900.56 and the Earth / Moon
// ratio 81.30056).
inline constexpr double SUN_EARTH_MOON_MASS_RATIO = 328900.56;
inline constexpr double EARTH_MOON_MASS_RATIO = 81.30056;
inline constexpr std::array<double, BODY_COUNT> SUN_BODY_MASS_RATIOS{
    6023600.0,
    408523.719,
    SUN_EARTH_MOON_MASS_RATIO * (1.0 + 1.0 / EARTH_MOON_MASS_RATIO),
    3098703.59,
    1047.348644,
    3497.9018,
    22902.98,
    19412.26,
    SUN_EARTH_MOON_MASS_RATIO * (1.0 + EARTH_MOON_MASS_RATIO)};

// Upper bounds of each body's heliocentric speed, AU/day (perihelion speeds
// of the planets' orbits over centuries, a few per cent added; the Moon's is
// the Earth's plus its own geocentric speed).
inline constexpr std::array<double, BODY_COUNT> BODY_SPEED_LIMITS{
    0.0355, 0.0212, 0.0183, 0.0160, 0.0083, 0.0063, 0.0044, 0.0033, 0.0191};

// Equatorial radii (km), within which an orbit counts as having struck the body.
inline constexpr std::array<double, BODY_COUNT> BODY_RADII_KM{
    2440.5, 6051.8, 6378.1, 3396.2, 71492.0, 60268.0, 25559.0, 24764.0, 1738.1};

// Gravitational parameter of `body`, AU^3/day^2: the Sun's k^2 divided by
// its mass ratio.
double body_gravitational_parameter(Body body);

// Heliocentric state of `body` at TDB MJD `tdb` (AU, AU/day, mean J2000):
// eraPlan94 for the planets other than the Earth, eraEpv00 for the Earth's
// centre, the Earth plus eraMoon98 for the Moon. Outside 1900-2100 (Earth)
// or 1000-3000 (planets) the series lose accuracy but still answer.
StateVector body_heliocentric_state(Body body, double tdb);

// The Moon's geocentric state at TDB MJD `tdb` (AU, AU/day, mean J2000),
// from eraMoon98.
StateVector moon_geocentric_state(double tdb);

// The Earth's heliocentric state at TDB MJD `tdb` (AU, AU/day, mean J2000).
StateVector earth_heliocentric_state(double tdb);

// The Earth's state relative to the solar-system barycentre at TDB MJD `tdb`
// (AU, AU/day, mean J2000).
StateVector earth_barycentric_state(double tdb);

// The Sun's position relative to the solar-system barycentre at TDB MJD
// `tdb`, AU, mean J2000.
Vector3 sun_barycentric_position(double tdb);

// The Sun's geometric position seen from the Earth's centre at TDB MJD
// `tdb` (no light time, no aberration), km, mean J2000.
Vector3 sun_geocentric_position_km(double tdb);

// The Earth's heliocentric position at TDB MJD `tdb`, km, mean J2000.
Vector3 earth_heliocentric_position_km(double tdb);

// The heliocentric positions of the nine bodies over a span of TT MJDs, and
// the displacement that the indirect acceleration alone gives (see
// indirect_displacement), as Chebyshev series in pieces of TABLE_PIECE_DAYS:
// each body's position fitted at 14 Chebyshev nodes of a piece to the series
// evaluated at the TDB of the node; the indirect acceleration fitted the
// same way at 14 nodes and integrated twice term by term, continuous from
// piece to piece. A piece holds TABLE_TERMS rows of TABLE_COLUMNS values:
// row m the coefficients of T_m for x, y, z of each body in turn, then for
// the displacement's x, y, z and its rate's, so one sweep evaluates them all.
// Jupiter to Neptune move less than 0.012 radians in a piece: their terms
// from T_8 on are below 1e-17 AU, rounding apart, and are not summed.
inline constexpr double TABLE_PIECE_DAYS = 8.0;
inline constexpr int TABLE_TERMS = 16;
inline constexpr int OUTER_PLANET_TERMS = 8;
inline constexpr int TABLE_COLUMNS = 3 * BODY_COUNT + 6;
struct PlanetTable {
    double start_tt;
    double end_tt;
    double piece_days;
    int pieces;
    std::vector<double> coefficients;
};

// A table covering TT MJDs from min(a, b) to max(a, b) (widened by a day on
// either side). Its positions agree with body_heliocentric_state to better
// than 1e-10 AU.
PlanetTable planet_table(double a_tt, double b_tt);

// The bodies' position pieces on the fixed grid of TABLE_PIECE_DAYS (piece g
// starts at TT MJD g * TABLE_PIECE_DAYS), each fitted once, by the first
// thread to ask for it, and kept, so that tables of overlapping spans made
// from one store call the series once per piece. Safe to use from several
// threads at once: a thread asking for a piece another is fitting waits for
// it, and threads fitting a run of pieces at once share them out.
class PlanetPieceStore {
public:
    // The TABLE_TERMS rows of the 3 * BODY_COUNT position columns of piece g.
    const std::vector<double>& piece(long g);

    // Fits the pieces first..last that no thread has fitted or is fitting.
    void fit_pieces(long first, long last);

private:
    struct Entry {
        bool ready = false;
        std::vector<double> values;
    };
    // The entry of piece g, fitted here when no thread has claimed it;
    // with `wait`, not before it is ready.
    Entry* claimed_or_fitted(long g, bool wait);

    std::mutex mutex_;
    std::condition_variable fitted_;
    std::map<long, Entry> pieces_;
};

// The grid pieces a table of the store covering TT MJDs from min(a, b) to
// max(a, b) is made of.
struct PieceRange {
    long first;
    long last;
};
PieceRange store_pieces(double a_tt, double b_tt);

// As planet_table, the pieces on the store's grid (so the table may start up
// to a piece earlier) and the positions taken from the store.
PlanetTable planet_table(double a_tt, double b_tt, PlanetPieceStore& store);

// True when TT MJD `tt` lies inside the table's span.
bool table_covers(const PlanetTable& table, double tt);

// Heliocentric positions (AU, mean J2000) of the nine bodies at TT MJD `tt`
// from the table, in the order of Body. `tt` must lie in the table's span.
std::array<Vector3, BODY_COUNT> table_positions(const PlanetTable& table, double tt);

// Everything the table holds at TT MJD `tt` (in its span), from one sweep:
// the bodies' positions as table_positions and the indirect displacement.
struct TabulatedInstant {
    std::array<Vector3, BODY_COUNT> positions;
    StateVector displacement;
};
TabulatedInstant table_instant(const PlanetTable& table, double tt);

// The indirect acceleration of the heliocentric frame at TT MJD `tt`,
// -sum GM_j r_j / |r_j|^3 over the nine bodies at their tabulated
// heliocentric positions r_j (AU/day^2, mean J2000): minus the Sun's own
// acceleration, felt alike by every body referred to the Sun.
Vector3 indirect_acceleration(const PlanetTable& table, double tt);

// The displacement D (AU) and its rate (AU/day) at TT MJD `tt` that the
// indirect acceleration alone gives: D'' = indirect_acceleration, D and D'
// zero at the table's start. A heliocentric motion is the sum of D (less
// its value and rate at the motion's start) and a motion under the direct
// forces alone, which are far smoother than the indirect term (that one
// follows Mercury's and Venus's short periods).
StateVector indirect_displacement(const PlanetTable& table, double tt);

// The least and greatest heliocentric distance (AU) each body reaches within
// the table's span: the extremes over samples an eighth of a day apart,
// widened by what the body's speed can add between two samples.
struct BodyDistanceRanges {
    std::array<double, BODY_COUNT> least;
    std::array<double, BODY_COUNT> greatest;
};
BodyDistanceRanges body_distance_ranges(const PlanetTable& table);

}  // namespace fieldsearch
