#include "planet_ephemeris.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include <erfa.h>

#include "angles.hpp"
#include "constants.hpp"
#include "time_scales.hpp"

namespace fieldsearch {

namespace {

constexpr double MJD_ZERO_JD = 2400000.5;

// eraPlan94's planet numbers, in the order of Body (the Earth and the Moon
// come from other series).
constexpr std::array<int, BODY_COUNT> PLAN94_NUMBER{1, 2, 0, 4, 5, 6, 7, 8, 0};

// The frame-bias matrix from GCRS (and BCRS) axes to the mean equator and
// equinox of J2000.0; it does not depend on the date.
struct FrameBias {
    double rb[3][3];
};

FrameBias frame_bias()
{
    FrameBias bias{};
    double rp[3][3];
    double rbp[3][3];
    eraBp06(2451545.0, 0.0, bias.rb, rp, rbp);
    return bias;
}

const FrameBias& frame_bias_matrix()
{
    static const FrameBias bias = frame_bias();
    return bias;
}

Vector3 biased(const double v[3])
{
    const FrameBias& bias = frame_bias_matrix();
    Vector3 w{};
    for (int i = 0; i < 3; ++i) {
        w.element[static_cast<std::size_t>(i)] = bias.rb[i][0] * v[0] + bias.rb[i][1] * v[1] + bias.rb[i][2] * v[2];
    }
    return w;
}

StateVector biased_state(double pv[2][3])
{
    return StateVector{biased(pv[0]), biased(pv[1])};
}

Vector3 sum(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(1) + b(1), a(2) + b(2), a(3) + b(3)}};
}

Vector3 scaled(double s, const Vector3& a)
{
    return Vector3{{s * a(1), s * a(2), s * a(3)}};
}

// eraEpv00 at TDB MJD `tdb`: heliocentric and barycentric Earth, BCRS axes.
struct EarthStates {
    double heliocentric[2][3];
    double barycentric[2][3];
};

EarthStates earth_states(double tdb)
{
    EarthStates states{};
    eraEpv00(MJD_ZERO_JD, tdb, states.heliocentric, states.barycentric);
    return states;
}

}  // namespace

double body_gravitational_parameter(Body body)
{
    return GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT / SUN_BODY_MASS_RATIOS[static_cast<std::size_t>(body)];
}

StateVector earth_heliocentric_state(double tdb)
{
    EarthStates states = earth_states(tdb);
    return biased_state(states.heliocentric);
}

StateVector earth_barycentric_state(double tdb)
{
    EarthStates states = earth_states(tdb);
    return biased_state(states.barycentric);
}

Vector3 sun_barycentric_position(double tdb)
{
    const EarthStates states = earth_states(tdb);
    // Barycentre to Sun = (barycentre to Earth) - (Sun to Earth).
    const double p[3] = {states.barycentric[0][0] - states.heliocentric[0][0],
                         states.barycentric[0][1] - states.heliocentric[0][1],
                         states.barycentric[0][2] - states.heliocentric[0][2]};
    return biased(p);
}

Vector3 sun_geocentric_position_km(double tdb)
{
    return scaled(-KM_PER_AU, earth_heliocentric_state(tdb).position);
}

Vector3 earth_heliocentric_position_km(double tdb)
{
    return scaled(KM_PER_AU, earth_heliocentric_state(tdb).position);
}

StateVector moon_geocentric_state(double tdb)
{
    double pv[2][3];
    // eraMoon98 takes TT; TDB differs from it by under 2 ms, some 2 m of the
    // Moon's geocentric path.
    eraMoon98(MJD_ZERO_JD, tdb, pv);
    return biased_state(pv);
}

StateVector body_heliocentric_state(Body body, double tdb)
{
    if (body == Body::earth) {
        return earth_heliocentric_state(tdb);
    }
    if (body == Body::moon) {
        const StateVector earth = earth_heliocentric_state(tdb);
        const StateVector moon = moon_geocentric_state(tdb);
        return StateVector{sum(earth.position, moon.position), sum(earth.velocity, moon.velocity)};
    }
    double pv[2][3];
    eraPlan94(MJD_ZERO_JD, tdb, PLAN94_NUMBER[static_cast<std::size_t>(body)], pv);
    return StateVector{Vector3{{pv[0][0], pv[0][1], pv[0][2]}}, Vector3{{pv[1][0], pv[1][1], pv[1][2]}}};
}

namespace {

constexpr double TABLE_MARGIN_DAYS = 1.0;
// Each body's position is fitted at POSITION_NODES Chebyshev nodes of a
// piece, the indirect acceleration at ACCELERATION_NODES (its series,
// integrated twice, fills all TABLE_TERMS rows of the displacement).
constexpr int POSITION_NODES = 14;
constexpr int ACCELERATION_NODES = TABLE_TERMS - 2;
constexpr int DISPLACEMENT_COLUMN = 3 * BODY_COUNT;
// Jupiter to Neptune, in turn, and the Moon's columns.
constexpr int OUTER_PLANET_COLUMN = 3 * static_cast<int>(Body::jupiter);
constexpr int MOON_COLUMN = 3 * static_cast<int>(Body::moon);
static_assert(static_cast<int>(Body::neptune) + 1 == static_cast<int>(Body::moon) &&
              static_cast<int>(Body::moon) + 1 == BODY_COUNT);
constexpr int DISPLACEMENT_RATE_COLUMN = DISPLACEMENT_COLUMN + 3;

double* piece_coefficients(PlanetTable& table, int k)
{
    return table.coefficients.data() + static_cast<std::ptrdiff_t>(k) * TABLE_TERMS * TABLE_COLUMNS;
}

// The Chebyshev coefficients c_0 .. c_{n-1} of the values f(x_j) at the n
// nodes x_j = cos(pi (j + 1/2) / n), written to out[m * stride].
void chebyshev_fit(const double* values, int n, double* out, int stride)
{
    // The cosines of the fits of POSITION_NODES values, which every fit
    // here is, taken once.
    static const std::array<double, POSITION_NODES * POSITION_NODES> node_cosines = [] {
        std::array<double, POSITION_NODES * POSITION_NODES> c{};
        for (int m = 0; m < POSITION_NODES; ++m) {
            for (int j = 0; j < POSITION_NODES; ++j) {
                c[static_cast<std::size_t>(m * POSITION_NODES + j)] = std::cos(PI * m * (j + 0.5) / POSITION_NODES);
            }
        }
        return c;
    }();
    for (int m = 0; m < n; ++m) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            sum += values[j] * (n == POSITION_NODES ? node_cosines[static_cast<std::size_t>(m * n + j)]
                                                    : std::cos(PI * m * (j + 0.5) / n));
        }
        out[static_cast<std::ptrdiff_t>(m) * stride] = (m == 0 ? 1.0 : 2.0) * sum / n;
    }
}

double chebyshev_node(int j, int n)
{
    return std::cos(PI * (j + 0.5) / n);
}

// The heliocentric positions of the nine bodies over the piece of
// `piece_days` from TT MJD `piece_start`, fitted to the series evaluated at
// the TDB of each node: the coefficient of T_m for column c (x, y, z of each
// body in turn) written to out[m * stride + c].
void fit_positions(double piece_start, double piece_days, double* out, int stride)
{
    double values[3 * BODY_COUNT][POSITION_NODES];
    for (int j = 0; j < POSITION_NODES; ++j) {
        const double tt = piece_start + 0.5 * piece_days * (chebyshev_node(j, POSITION_NODES) + 1.0);
        const double tdb = tdb_from_tt(tt);
        // The Earth once for itself and the Moon.
        const Vector3 earth = earth_heliocentric_state(tdb).position;
        for (int b = 0; b < BODY_COUNT; ++b) {
            const Body body = static_cast<Body>(b);
            const Vector3 p = body == Body::earth  ? earth
                              : body == Body::moon ? sum(earth, moon_geocentric_state(tdb).position)
                                                   : body_heliocentric_state(body, tdb).position;
            for (int axis = 0; axis < 3; ++axis) {
                values[3 * b + axis][j] = p.element[static_cast<std::size_t>(axis)];
            }
        }
    }
    for (int column = 0; column < 3 * BODY_COUNT; ++column) {
        chebyshev_fit(values[column], POSITION_NODES, out + column, stride);
    }
}

// The n + 1 Chebyshev coefficients of the integral, from x = -1 (where it
// takes `start`), of `scale` times the series c[0..n-1] over x.
void integrated_series(const double* c, int n, double scale, double start, double* out)
{
    const auto coefficient = [&](int m) { return m < n ? c[m] : 0.0; };
    double at_minus_one = 0.0;
    for (int m = 1; m <= n; ++m) {
        const double value = m == 1 ? coefficient(0) - 0.5 * coefficient(2)
                                    : (coefficient(m - 1) - coefficient(m + 1)) / (2.0 * m);
        out[m] = scale * value;
        at_minus_one += (m % 2 == 0 ? 1.0 : -1.0) * out[m];
    }
    out[0] = start - at_minus_one;
}

// The displacement and its rate over piece k, continuing from `position`
// and `velocity` at the piece's start (updated to their values at its end).
void fit_displacement(PlanetTable& table, int k, std::array<double, 3>& position, std::array<double, 3>& velocity)
{
    const double piece_start = table.start_tt + k * table.piece_days;
    double values[3][ACCELERATION_NODES];
    for (int j = 0; j < ACCELERATION_NODES; ++j) {
        const double tt = piece_start + 0.5 * table.piece_days * (chebyshev_node(j, ACCELERATION_NODES) + 1.0);
        const Vector3 a = indirect_acceleration(table, tt);
        for (int axis = 0; axis < 3; ++axis) {
            values[axis][j] = a.element[static_cast<std::size_t>(axis)];
        }
    }
    double* c = piece_coefficients(table, k);
    for (int axis = 0; axis < 3; ++axis) {
        const auto a = static_cast<std::size_t>(axis);
        double acceleration[ACCELERATION_NODES];
        chebyshev_fit(values[axis], ACCELERATION_NODES, acceleration, 1);
        double rate[TABLE_TERMS] = {};
        double displacement[TABLE_TERMS] = {};
        integrated_series(acceleration, ACCELERATION_NODES, 0.5 * table.piece_days, velocity[a], rate);
        integrated_series(rate, ACCELERATION_NODES + 1, 0.5 * table.piece_days, position[a], displacement);
        velocity[a] = 0.0;
        position[a] = 0.0;
        for (int m = 0; m < TABLE_TERMS; ++m) {
            velocity[a] += rate[m];  // the series at x = +1
            position[a] += displacement[m];
            c[m * TABLE_COLUMNS + DISPLACEMENT_COLUMN + axis] = displacement[m];
            c[m * TABLE_COLUMNS + DISPLACEMENT_RATE_COLUMN + axis] = rate[m];
        }
    }
}

const std::array<double, BODY_COUNT>& gravitational_parameters()
{
    static const std::array<double, BODY_COUNT> gm = [] {
        std::array<double, BODY_COUNT> values{};
        for (int b = 0; b < BODY_COUNT; ++b) {
            values[static_cast<std::size_t>(b)] = body_gravitational_parameter(static_cast<Body>(b));
        }
        return values;
    }();
    return gm;
}

}  // namespace

namespace {

// The pieces of TABLE_PIECE_DAYS from TT MJD `start_tt` to `end_tt`.
int table_piece_count(double start_tt, double end_tt)
{
    return std::max(1, static_cast<int>(std::ceil((end_tt - start_tt) / TABLE_PIECE_DAYS)));
}

// A table from TT MJD `start_tt` to `end_tt` in pieces of TABLE_PIECE_DAYS,
// each piece's positions from `positions` (piece k, its coefficients with
// the table's stride), the displacement fitted over them in turn.
template <typename Positions>
PlanetTable fitted_table(double start_tt, double end_tt, Positions positions)
{
    PlanetTable table{};
    table.start_tt = start_tt;
    table.end_tt = end_tt;
    table.piece_days = TABLE_PIECE_DAYS;
    table.pieces = table_piece_count(start_tt, end_tt);
    table.coefficients.assign(static_cast<std::size_t>(table.pieces) * TABLE_TERMS * TABLE_COLUMNS, 0.0);
    std::array<double, 3> position{};
    std::array<double, 3> velocity{};
    for (int k = 0; k < table.pieces; ++k) {
        positions(table, k);
        fit_displacement(table, k, position, velocity);
    }
    return table;
}

}  // namespace

PlanetTable planet_table(double a_tt, double b_tt)
{
    return fitted_table(std::fmin(a_tt, b_tt) - TABLE_MARGIN_DAYS, std::fmax(a_tt, b_tt) + TABLE_MARGIN_DAYS,
                        [](PlanetTable& table, int k) {
                            fit_positions(table.start_tt + k * table.piece_days, table.piece_days,
                                          piece_coefficients(table, k), TABLE_COLUMNS);
                        });
}

PlanetPieceStore::Entry* PlanetPieceStore::claimed_or_fitted(long g, bool wait)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto [found, claimed] = pieces_.try_emplace(g);
    Entry& entry = found->second;
    if (!claimed) {
        if (wait) {
            fitted_.wait(lock, [&] { return entry.ready; });
        }
        return &entry;
    }
    // The room for it is made while no other thread can see the claim (so
    // that a failed allocation leaves no claim for others to wait on), the
    // fit outside the lock, so that threads fit different pieces at once;
    // no thread reads the values before they are ready.
    try {
        entry.values.assign(static_cast<std::size_t>(TABLE_TERMS) * 3 * BODY_COUNT, 0.0);
    } catch (...) {
        pieces_.erase(found);
        throw;
    }
    lock.unlock();
    fit_positions(static_cast<double>(g) * TABLE_PIECE_DAYS, TABLE_PIECE_DAYS, entry.values.data(), 3 * BODY_COUNT);
    lock.lock();
    entry.ready = true;
    lock.unlock();
    fitted_.notify_all();
    return &entry;
}

const std::vector<double>& PlanetPieceStore::piece(long g)
{
    return claimed_or_fitted(g, true)->values;
}

void PlanetPieceStore::fit_pieces(long first, long last)
{
    for (long g = first; g <= last; ++g) {
        claimed_or_fitted(g, false);
    }
}

PieceRange store_pieces(double a_tt, double b_tt)
{
    const long first = static_cast<long>(std::floor((std::fmin(a_tt, b_tt) - TABLE_MARGIN_DAYS) / TABLE_PIECE_DAYS));
    const double start = static_cast<double>(first) * TABLE_PIECE_DAYS;
    const int pieces = table_piece_count(start, std::fmax(a_tt, b_tt) + TABLE_MARGIN_DAYS);
    return PieceRange{first, first + pieces - 1};
}

PlanetTable planet_table(double a_tt, double b_tt, PlanetPieceStore& store)
{
    const PieceRange range = store_pieces(a_tt, b_tt);
    // Those no other thread fits first, then the table from them all.
    store.fit_pieces(range.first, range.last);
    return fitted_table(static_cast<double>(range.first) * TABLE_PIECE_DAYS, std::fmax(a_tt, b_tt) + TABLE_MARGIN_DAYS,
                        [&](PlanetTable& table, int k) {
                            const std::vector<double>& p = store.piece(range.first + k);
                            double* c = piece_coefficients(table, k);
                            for (int m = 0; m < TABLE_TERMS; ++m) {
                                std::copy_n(p.data() + m * 3 * BODY_COUNT, 3 * BODY_COUNT, c + m * TABLE_COLUMNS);
                            }
                        });
}

bool table_covers(const PlanetTable& table, double tt)
{
    return tt >= table.start_tt && tt <= table.end_tt;
}

// The sweep over the columns is the integrations' inner loop: where the
// compiler can, it is also built for AVX2 and the processor's own chosen at
// run time. Each column's sum keeps its order, and with contraction off no
// multiply and add are fused, so both give the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FIELDSEARCH_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define FIELDSEARCH_WIDE_VECTORS
#endif

FIELDSEARCH_WIDE_VECTORS TabulatedInstant table_instant(const PlanetTable& table, double tt)
{
    const double offset = tt - table.start_tt;
    const int k = std::clamp(static_cast<int>(std::floor(offset / table.piece_days)), 0, table.pieces - 1);
    const double x = 2.0 * (offset - k * table.piece_days) / table.piece_days - 1.0;
    // T_0 .. T_15 at x, then every column summed over them in one sweep.
    double t[TABLE_TERMS];
    t[0] = 1.0;
    t[1] = x;
    for (int m = 2; m < TABLE_TERMS; ++m) {
        t[m] = 2.0 * x * t[m - 1] - t[m - 2];
    }
    const double* c = table.coefficients.data() + static_cast<std::ptrdiff_t>(k) * TABLE_TERMS * TABLE_COLUMNS;
    // Every column to T_(OUTER_PLANET_TERMS - 1); then the inner planets',
    // the Moon's and the displacement's to the last of the positions' fit;
    // then the displacement's alone (the positions' later rows are zero).
    double sums[TABLE_COLUMNS] = {};
    for (int m = 0; m < OUTER_PLANET_TERMS; ++m) {
        const double* row = c + m * TABLE_COLUMNS;
        for (int j = 0; j < TABLE_COLUMNS; ++j) {
            sums[j] += t[m] * row[j];
        }
    }
    for (int m = OUTER_PLANET_TERMS; m < POSITION_NODES; ++m) {
        const double* row = c + m * TABLE_COLUMNS;
        for (int j = 0; j < OUTER_PLANET_COLUMN; ++j) {
            sums[j] += t[m] * row[j];
        }
        for (int j = MOON_COLUMN; j < TABLE_COLUMNS; ++j) {
            sums[j] += t[m] * row[j];
        }
    }
    for (int m = POSITION_NODES; m < TABLE_TERMS; ++m) {
        const double* row = c + m * TABLE_COLUMNS;
        for (int j = DISPLACEMENT_COLUMN; j < TABLE_COLUMNS; ++j) {
            sums[j] += t[m] * row[j];
        }
    }
    TabulatedInstant instant{};
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        instant.positions[b] = Vector3{{sums[3 * b], sums[3 * b + 1], sums[3 * b + 2]}};
    }
    instant.displacement = StateVector{
        Vector3{{sums[DISPLACEMENT_COLUMN], sums[DISPLACEMENT_COLUMN + 1], sums[DISPLACEMENT_COLUMN + 2]}},
        Vector3{{sums[DISPLACEMENT_RATE_COLUMN], sums[DISPLACEMENT_RATE_COLUMN + 1],
                 sums[DISPLACEMENT_RATE_COLUMN + 2]}}};
    return instant;
}

std::array<Vector3, BODY_COUNT> table_positions(const PlanetTable& table, double tt)
{
    return table_instant(table, tt).positions;
}

StateVector indirect_displacement(const PlanetTable& table, double tt)
{
    return table_instant(table, tt).displacement;
}

Vector3 indirect_acceleration(const PlanetTable& table, double tt)
{
    const std::array<Vector3, BODY_COUNT> positions = table_positions(table, tt);
    const std::array<double, BODY_COUNT>& gm = gravitational_parameters();
    Vector3 a{};
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        const Vector3& p = positions[b];
        const double p2 = dot_product(p, p);
        const double f = gm[b] / (p2 * std::sqrt(p2));
        for (int i = 1; i <= 3; ++i) {
            a(i) -= f * p(i);
        }
    }
    return a;
}

BodyDistanceRanges body_distance_ranges(const PlanetTable& table)
{
    constexpr double SAMPLE_DAYS = 0.125;
    BodyDistanceRanges ranges{};
    ranges.least.fill(INFINITY);
    ranges.greatest.fill(0.0);
    const int samples = static_cast<int>(std::ceil((table.end_tt - table.start_tt) / SAMPLE_DAYS));
    for (int i = 0; i <= samples; ++i) {
        const double tt = std::fmin(table.start_tt + i * SAMPLE_DAYS, table.end_tt);
        const std::array<Vector3, BODY_COUNT> positions = table_positions(table, tt);
        for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
            const double r = std::sqrt(dot_product(positions[b], positions[b]));
            ranges.least[b] = std::fmin(ranges.least[b], r);
            ranges.greatest[b] = std::fmax(ranges.greatest[b], r);
        }
    }
    // Between two samples the distance changes by at most the speed times
    // half the spacing; 1e-9 AU more covers the table's own error.
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        const double margin = BODY_SPEED_LIMITS[b] * 0.5 * SAMPLE_DAYS + 1e-9;
        ranges.least[b] = std::fmax(0.0, ranges.least[b] - margin);
        ranges.greatest[b] += margin;
    }
    return ranges;
}

}  // namespace fieldsearch
