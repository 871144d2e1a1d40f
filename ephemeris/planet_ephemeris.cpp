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

StateVector body_heliocentric_state(Body body, double tdb)
{
    if (body == Body::earth) {
        return earth_heliocentric_state(tdb);
    }
    if (body == Body::moon) {
        const StateVector earth = earth_heliocentric_state(tdb);
        double pv[2][3];
        // eraMoon98 takes TT; TDB differs from it by under 2 ms, some 2 m of
        // the Moon's geocentric path.
        eraMoon98(MJD_ZERO_JD, tdb, pv);
        const StateVector moon = biased_state(pv);
        return StateVector{sum(earth.position, moon.position), sum(earth.velocity, moon.velocity)};
    }
    double pv[2][3];
    eraPlan94(MJD_ZERO_JD, tdb, PLAN94_NUMBER[static_cast<std::size_t>(body)], pv);
    return StateVector{Vector3{{pv[0][0], pv[0][1], pv[0][2]}}, Vector3{{pv[1][0], pv[1][1], pv[1][2]}}};
}

namespace {

// Piece length (days) and number of Chebyshev coefficients of each body:
// the fitting error stays below 1e-11 AU for every body (the Moon's monthly
// loop and the Earth's wobble about the barycentre of the pair set the inner
// bodies' pieces).
constexpr std::array<double, BODY_COUNT> PIECE_DAYS{8.0, 16.0, 8.0, 16.0, 32.0, 32.0, 64.0, 64.0, 4.0};
constexpr std::array<int, BODY_COUNT> COEFFICIENT_COUNT{14, 12, 12, 12, 10, 8, 8, 8, 13};
constexpr int MAX_COEFFICIENTS = 14;
constexpr double TABLE_MARGIN_DAYS = 1.0;

// The Chebyshev coefficients (x's, y's, z's) of `body`'s heliocentric
// position over the piece of `length` days from TT MJD `start_tt`, fitted at
// the n Chebyshev nodes to the series evaluated at the TDB of each node.
void fit_piece(Body body, double start_tt, double length, int n, double* coefficients)
{
    double values[3][MAX_COEFFICIENTS];
    for (int j = 0; j < n; ++j) {
        const double x = std::cos(PI * (j + 0.5) / n);
        const double tt = start_tt + 0.5 * length * (x + 1.0);
        const Vector3 p = body_heliocentric_state(body, tdb_from_tt(tt)).position;
        for (int axis = 0; axis < 3; ++axis) {
            values[axis][j] = p.element[static_cast<std::size_t>(axis)];
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        for (int m = 0; m < n; ++m) {
            double s = 0.0;
            for (int j = 0; j < n; ++j) {
                s += values[axis][j] * std::cos(PI * m * (j + 0.5) / n);
            }
            coefficients[axis * n + m] = (m == 0 ? 1.0 : 2.0) * s / n;
        }
    }
}

// The Chebyshev series c[0] + sum c[m] T_m(x) (Clenshaw's recurrence).
double chebyshev_sum(const double* c, int n, double x)
{
    double b1 = 0.0;
    double b2 = 0.0;
    const double two_x = 2.0 * x;
    for (int m = n - 1; m >= 1; --m) {
        const double b0 = two_x * b1 - b2 + c[m];
        b2 = b1;
        b1 = b0;
    }
    return x * b1 - b2 + c[0];
}

}  // namespace

PlanetTable planet_table(double a_tt, double b_tt)
{
    PlanetTable table{};
    table.start_tt = std::fmin(a_tt, b_tt) - TABLE_MARGIN_DAYS;
    table.end_tt = std::fmax(a_tt, b_tt) + TABLE_MARGIN_DAYS;
    const double span = table.end_tt - table.start_tt;
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        const int n = COEFFICIENT_COUNT[b];
        const double length = PIECE_DAYS[b];
        const int pieces = std::max(1, static_cast<int>(std::ceil(span / length)));
        table.piece_days[b] = length;
        table.count[b] = n;
        table.pieces[b] = pieces;
        table.coefficients[b].assign(static_cast<std::size_t>(3 * n * pieces), 0.0);
        for (int k = 0; k < pieces; ++k) {
            fit_piece(static_cast<Body>(b), table.start_tt + k * length, length, n,
                      table.coefficients[b].data() + static_cast<std::ptrdiff_t>(3 * n * k));
        }
    }
    return table;
}

bool table_covers(const PlanetTable& table, double tt)
{
    return tt >= table.start_tt && tt <= table.end_tt;
}

std::array<Vector3, BODY_COUNT> table_positions(const PlanetTable& table, double tt)
{
    std::array<Vector3, BODY_COUNT> positions{};
    const double offset = tt - table.start_tt;
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        const double length = table.piece_days[b];
        const int n = table.count[b];
        const int k = std::clamp(static_cast<int>(std::floor(offset / length)), 0, table.pieces[b] - 1);
        const double x = 2.0 * (offset - k * length) / length - 1.0;
        const double* c = table.coefficients[b].data() + static_cast<std::ptrdiff_t>(3 * n * k);
        positions[b] = Vector3{{chebyshev_sum(c, n, x), chebyshev_sum(c + n, n, x), chebyshev_sum(c + 2 * n, n, x)}};
    }
    return positions;
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
