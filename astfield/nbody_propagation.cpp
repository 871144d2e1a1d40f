#include "nbody_propagation.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "constants.hpp"

namespace fieldsearch {

namespace {

constexpr double SUN_GM = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;
constexpr double C2 = SPEED_OF_LIGHT_AU_PER_DAY * SPEED_OF_LIGHT_AU_PER_DAY;

const std::array<double, BODY_COUNT>& body_parameters()
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

// The squares of the bodies' radii, AU^2.
constexpr std::array<double, BODY_COUNT> STRIKE_DISTANCES_SQUARED = [] {
    std::array<double, BODY_COUNT> squares{};
    for (std::size_t b = 0; b < squares.size(); ++b) {
        const double limit = BODY_RADII_KM[b] / KM_PER_AU;
        squares[b] = limit * limit;
    }
    return squares;
}();

// The heliocentric acceleration with or without the indirect terms; with
// `collided`, also which body the state lies inside, if any (-2 none, -1
// the Sun, else the last body of Body's order it lies inside).
Vector3 acceleration(const StateVector& state, const std::array<Vector3, BODY_COUNT>& body_positions,
                     const ForceModel& model, bool indirect_terms, int* collided = nullptr)
{
    const Vector3& r = state.position;
    const Vector3& v = state.velocity;
    const double r2 = dot_product(r, r);
    const double radius = std::sqrt(r2);
    const double sun = -SUN_GM / (r2 * radius);
    Vector3 a{{sun * r(1), sun * r(2), sun * r(3)}};
    if (model.relativity) {
        // Schwarzschild term of the Sun (isotropic coordinates, first order):
        // (GM / c^2 r^3) [(4 GM / r - v^2) r + 4 (r . v) v].
        const double v2 = dot_product(v, v);
        const double rv = dot_product(r, v);
        const double f = SUN_GM / (C2 * r2 * radius);
        const double radial = f * (4.0 * SUN_GM / radius - v2);
        const double along = f * 4.0 * rv;
        for (int i = 1; i <= 3; ++i) {
            a(i) += radial * r(i) + along * v(i);
        }
    }
    if (model.planets) {
        const std::array<double, BODY_COUNT>& gm = body_parameters();
        for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
            const Vector3& p = body_positions[b];
            const Vector3 d{{p(1) - r(1), p(2) - r(2), p(3) - r(3)}};
            const double d2 = dot_product(d, d);
            if (collided != nullptr) {
                if (d2 < STRIKE_DISTANCES_SQUARED[b]) {
                    *collided = static_cast<int>(b);
                }
            }
            const double direct = gm[b] / (d2 * std::sqrt(d2));
            for (int i = 1; i <= 3; ++i) {
                a(i) += direct * d(i);
            }
            if (indirect_terms) {
                const double p2 = dot_product(p, p);
                const double indirect = gm[b] / (p2 * std::sqrt(p2));
                for (int i = 1; i <= 3; ++i) {
                    a(i) -= indirect * p(i);
                }
            }
        }
    }
    return a;
}

}  // namespace

Vector3 heliocentric_acceleration(const StateVector& state, const std::array<Vector3, BODY_COUNT>& body_positions,
                                  const ForceModel& model)
{
    return acceleration(state, body_positions, model, true);
}

namespace {

// Gauss-Radau spacings on [0, 1]: 0 and the seven roots of
// P7(2h - 1) + P8(2h - 1), P the Legendre polynomials.
constexpr std::array<double, 8> NODES{0.0,
                                      0.0562625605369221464656521910318,
                                      0.180240691736892364987579942780,
                                      0.352624717113169637373907769648,
                                      0.547153626330555383001448554766,
                                      0.734210177215410531523210605558,
                                      0.885320946839095768090359771030,
                                      0.977520613561287501891174488626};

// The acceleration over a step of length dt is written, with tau = t / dt,
//   a(tau) = a0 + sum_k b_k tau^(k+1)                            (k = 0..6)
//          = a0 + sum_j g_j tau (tau - h1) ... (tau - h_j)       (j = 0..6),
// the g's being Newton's divided differences at the nodes h. c[j][k] is the
// coefficient of tau^(k+1) in tau (tau - h1) ... (tau - h_j), so that
// b_k = sum_{j >= k} c[j][k] g_j.
struct SeriesCoefficients {
    double c[7][7];
};

SeriesCoefficients series_coefficients()
{
    SeriesCoefficients s{};
    // poly holds the coefficients of tau^1 .. tau^7 of the running product.
    double poly[8] = {0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (int j = 0; j < 7; ++j) {
        if (j > 0) {
            // Multiply by (tau - h_j).
            double next[8] = {};
            for (int p = 1; p < 8; ++p) {
                if (p + 1 < 8) {
                    next[p + 1] += poly[p];
                }
                next[p] -= NODES[static_cast<std::size_t>(j)] * poly[p];
            }
            for (int p = 0; p < 8; ++p) {
                poly[p] = next[p];
            }
        }
        for (int k = 0; k < 7; ++k) {
            s.c[j][k] = poly[k + 1];
        }
    }
    return s;
}

const SeriesCoefficients& coefficients()
{
    static const SeriesCoefficients s = series_coefficients();
    return s;
}

// What the series gives at node h, as sums of a0 and the b's: the position
// change h v dt + dt^2 (position[0] a0 + sum position[k+1] b_k) with
// position[0] = h^2 / 2, position[k+1] = h^(k+3) / ((k+2)(k+3)); the
// velocity change dt (velocity[0] a0 + sum velocity[k+1] b_k) with
// velocity[0] = h, velocity[k+1] = h^(k+2) / (k+2); and the reciprocals
// 1 / h and 1 / (h - h_j) of Newton's divided differences.
struct StepWeights {
    std::array<double, 8> position;
    std::array<double, 8> velocity;
    std::array<double, 8> difference;
};
struct NodeWeights {
    std::array<StepWeights, 8> at;
};

const NodeWeights& node_weights()
{
    static const NodeWeights weights = [] {
        NodeWeights w{};
        for (std::size_t n = 1; n < 8; ++n) {
            const double h = NODES[n];
            StepWeights& at = w.at[n];
            at.position[0] = h * h / 2.0;
            at.velocity[0] = h;
            double power = h * h;  // h^(k+2)
            for (std::size_t k = 0; k < 7; ++k) {
                const double k2 = static_cast<double>(k + 2);
                at.velocity[k + 1] = power / k2;
                at.position[k + 1] = power * h / (k2 * (k2 + 1.0));
                power *= h;
            }
            at.difference[0] = 1.0 / h;
            for (std::size_t j = 1; j < n; ++j) {
                at.difference[j] = 1.0 / (h - NODES[j]);
            }
        }
        return w;
    }();
    return weights;
}

// Seven 3-vectors of series coefficients.
using Series = std::array<std::array<double, 3>, 7>;

void g_from_b(const Series& b, Series& g)
{
    const SeriesCoefficients& s = coefficients();
    for (int k = 6; k >= 0; --k) {
        for (int i = 0; i < 3; ++i) {
            double value = b[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)];
            for (int j = k + 1; j < 7; ++j) {
                value -= s.c[j][k] * g[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)];
            }
            g[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] = value;
        }
    }
}

// The series of a step that follows one whose series was `b`, its length
// `ratio` times the last: the same polynomial re-expanded about the end of
// the last step, tau' = (tau - 1) / ratio.
Series shifted_series(const Series& b, double ratio)
{
    static constexpr double BINOMIAL[8][8] = {
        {1, 0, 0, 0, 0, 0, 0, 0},         {1, 1, 0, 0, 0, 0, 0, 0},         {1, 2, 1, 0, 0, 0, 0, 0},
        {1, 3, 3, 1, 0, 0, 0, 0},         {1, 4, 6, 4, 1, 0, 0, 0},         {1, 5, 10, 10, 5, 1, 0, 0},
        {1, 6, 15, 20, 15, 6, 1, 0},      {1, 7, 21, 35, 35, 21, 7, 1},
    };
    Series e{};
    double power = 1.0;
    for (int m = 0; m < 7; ++m) {
        power *= ratio;
        for (int i = 0; i < 3; ++i) {
            double sum = 0.0;
            for (int k = m; k < 7; ++k) {
                sum += BINOMIAL[k + 1][m + 1] * b[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)];
            }
            e[static_cast<std::size_t>(m)][static_cast<std::size_t>(i)] = power * sum;
        }
    }
    return e;
}

// Adds `increment` to `value` with Kahan's compensation `carry`.
void compensated_add(double& value, double& carry, double increment)
{
    const double y = increment - carry;
    const double t = value + y;
    carry = (t - value) - y;
    value = t;
}

double max_component(const std::array<double, 3>& v)
{
    return std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[1]), std::fabs(v[2])));
}

constexpr double SAFETY_FACTOR = 0.25;
constexpr int MAX_ITERATIONS = 12;
constexpr double LEAST_STEP_DAYS = 1e-8;
constexpr double SUN_RADIUS_AU = SUN_RADIUS_KM / KM_PER_AU;

struct Evaluation {
    std::array<double, 3> a;
    int collided;  // -2 none, -1 the Sun, else a body
};

// The table at TT MJD `tt`, kept for the instants this thread asked for
// last: orbits carried from one epoch to one instant step through the same
// instants, each of them with the same first step.
const TabulatedInstant& recent_table_instant(const PlanetTable& table, double tt)
{
    thread_local TableInstantCache<6> kept;
    return kept.at(table, tt);
}

// The integrated variable is the heliocentric state less the displacement
// s(t) that the indirect acceleration alone gives from the start (zero
// there): its acceleration is that of the direct forces at the heliocentric
// state, free of the inner planets' quick pull on the Sun, so the steps can
// be several times longer. s comes from the table's indirect displacement D:
// s(t) = D(t) - D(t0) - D'(t0) (t - t0).
class RadauIntegration {
public:
    RadauIntegration(const PlanetTable& table, const ForceModel& model, double start_tt)
        : table_(table), model_(model), start_tt_(start_tt)
    {
        if (model.planets) {
            start_ = indirect_displacement(table, start_tt);
        }
    }

    // s(tt) and s'(tt) from the indirect displacement d at tt.
    StateVector frame_offset(double tt, const StateVector& d) const
    {
        const double dt = tt - start_tt_;
        StateVector s{};
        for (int i = 1; i <= 3; ++i) {
            s.position(i) = (d.position(i) - start_.position(i)) - start_.velocity(i) * dt;
            s.velocity(i) = d.velocity(i) - start_.velocity(i);
        }
        return s;
    }

    Evaluation evaluate(double tt, const std::array<double, 3>& x, const std::array<double, 3>& v) const
    {
        // Held by reference until the next look-up; without the planets, none.
        static const TabulatedInstant NO_BODIES{};
        const TabulatedInstant& instant = model_.planets ? recent_table_instant(table_, tt) : NO_BODIES;
        const StateVector state = heliocentric_state(tt, instant, x, v);
        const std::array<Vector3, BODY_COUNT>& bodies = instant.positions;
        int collided = -2;
        const Vector3 a = acceleration(state, bodies, model_, false, &collided);
        if (dot_product(state.position, state.position) < SUN_RADIUS_AU * SUN_RADIUS_AU) {
            collided = -1;
        }
        return Evaluation{{a(1), a(2), a(3)}, collided};
    }

    // The heliocentric state of the integrated variable (x, v) at tt.
    StateVector heliocentric_state(double tt, const TabulatedInstant& instant, const std::array<double, 3>& x,
                                   const std::array<double, 3>& v) const
    {
        StateVector state{Vector3{{x[0], x[1], x[2]}}, Vector3{{v[0], v[1], v[2]}}};
        if (model_.planets) {
            const StateVector s = frame_offset(tt, instant.displacement);
            for (int i = 1; i <= 3; ++i) {
                state.position(i) += s.position(i);
                state.velocity(i) += s.velocity(i);
            }
        }
        return state;
    }

    // The heliocentric state at tt of the integrated variable (x, v).
    StateVector heliocentric_state(double tt, const std::array<double, 3>& x, const std::array<double, 3>& v) const
    {
        static const TabulatedInstant NO_BODIES{};
        return heliocentric_state(tt, model_.planets ? recent_table_instant(table_, tt) : NO_BODIES, x, v);
    }

    const PlanetTable& table_;
    const ForceModel& model_;
    double start_tt_;
    StateVector start_{};
};

bool finite(const std::array<double, 3>& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

Propagated propagate_state(const StateVector& start, double start_tt, double end_tt, const PlanetTable& table,
                           const ForceModel& model, const IntegratorControl& control)
{
    Propagated result{start, start_tt, PropagationOutcome::reached, -2, 0};
    if (model.planets && (!table_covers(table, start_tt) || !table_covers(table, end_tt))) {
        result.outcome = PropagationOutcome::outside_table;
        return result;
    }
    const bool finite_start = std::isfinite(start_tt) && std::isfinite(end_tt) &&
                              finite({start.position(1), start.position(2), start.position(3)}) &&
                              finite({start.velocity(1), start.velocity(2), start.velocity(3)});
    if (!finite_start) {
        result.outcome = PropagationOutcome::not_finite;
        return result;
    }
    const RadauIntegration integration(table, model, start_tt);
    std::array<double, 3> x{start.position(1), start.position(2), start.position(3)};
    std::array<double, 3> v{start.velocity(1), start.velocity(2), start.velocity(3)};
    std::array<double, 3> carry_x{};
    std::array<double, 3> carry_v{};
    double t = start_tt;
    double carry_t = 0.0;
    const double span = end_tt - start_tt;
    const double direction = span < 0.0 ? -1.0 : 1.0;
    const long max_steps = 1000 + static_cast<long>(control.steps_per_day * std::fabs(span));

    Evaluation first = integration.evaluate(t, x, v);
    if (first.collided != -2) {
        result.outcome = PropagationOutcome::collision;
        result.body = first.collided;
        return result;
    }
    std::array<double, 3> a0 = first.a;

    // A first step of a tenth of the dynamical time sqrt(r / |a|).
    const double r0 = std::sqrt(x[0] * x[0] + x[1] * x[1] + x[2] * x[2]);
    const double a0_norm = std::sqrt(a0[0] * a0[0] + a0[1] * a0[1] + a0[2] * a0[2]);
    double dt = direction * 0.1 * std::sqrt(r0 / a0_norm);
    if (!std::isfinite(dt) || dt == 0.0) {
        dt = span;
    }

    Series b{};
    Series g{};
    Series e{};        // the prediction the present step started from
    Series b_last{};   // the series of the last accepted step
    Series e_last{};   // the prediction that step started from
    double dt_last = 0.0;

    const NodeWeights& weights = node_weights();
    while (span != 0.0) {
        const double remaining = end_tt - t;
        bool last_step = false;
        if (std::fabs(dt) >= std::fabs(remaining)) {
            dt = remaining;
            last_step = true;
        }
        if (std::fabs(dt) < LEAST_STEP_DAYS) {
            result.outcome = PropagationOutcome::step_vanished;
            break;
        }
        if (result.steps >= max_steps) {
            result.outcome = PropagationOutcome::step_limit;
            break;
        }

        g_from_b(b, g);
        const SeriesCoefficients& s = coefficients();
        // Predictor-corrector iterations over the seven nodes.
        double error_last = INFINITY;
        int collided = -2;
        bool failed = false;
        std::array<double, 3> a_end{};
        for (int iteration = 0; iteration < MAX_ITERATIONS; ++iteration) {
            const std::array<double, 3> b6_before = b[6];
            for (int n = 1; n < 8; ++n) {
                const StepWeights& w = weights.at[static_cast<std::size_t>(n)];
                const double h = NODES[static_cast<std::size_t>(n)];
                std::array<double, 3> xn{};
                std::array<double, 3> vn{};
                for (int i = 0; i < 3; ++i) {
                    const auto c = static_cast<std::size_t>(i);
                    double xs = w.position[0] * a0[c];
                    double vs = w.velocity[0] * a0[c];
                    for (std::size_t k = 0; k < 7; ++k) {
                        xs += w.position[k + 1] * b[k][c];
                        vs += w.velocity[k + 1] * b[k][c];
                    }
                    xn[c] = x[c] + dt * h * v[c] + dt * dt * xs - carry_x[c];
                    vn[c] = v[c] + dt * vs - carry_v[c];
                }
                const Evaluation ev = integration.evaluate(t + dt * h, xn, vn);
                if (ev.collided != -2) {
                    collided = ev.collided;
                }
                if (!finite(ev.a)) {
                    failed = true;
                }
                // Newton's divided differences at node n, and the change of
                // g_(n-1) carried into the b's it enters.
                const std::size_t last = static_cast<std::size_t>(n - 1);
                for (int i = 0; i < 3; ++i) {
                    const auto c = static_cast<std::size_t>(i);
                    double value = (ev.a[c] - a0[c]) * w.difference[0];
                    for (std::size_t j = 1; j < static_cast<std::size_t>(n); ++j) {
                        value = (value - g[j - 1][c]) * w.difference[j];
                    }
                    const double change = value - g[last][c];
                    g[last][c] = value;
                    for (std::size_t k = 0; k <= last; ++k) {
                        b[k][c] += s.c[last][k] * change;
                    }
                }
                if (n == 7) {
                    a_end = ev.a;
                }
            }
            const double scale = max_component(a_end);
            std::array<double, 3> change{b[6][0] - b6_before[0], b[6][1] - b6_before[1], b[6][2] - b6_before[2]};
            const double error = max_component(change) / scale;
            if (failed || !(error > control.convergence) || (iteration > 1 && error >= error_last)) {
                break;
            }
            error_last = error;
        }
        if (failed) {
            // A node met an undefined acceleration: a quarter of the step,
            // without the carried-over series (the step vanishes if this
            // goes on).
            dt *= SAFETY_FACTOR;
            b = Series{};
            e = Series{};
            continue;
        }

        // Step control: the last term of the series against the acceleration.
        const double b6_size = max_component(b[6]) / max_component(a_end);
        double dt_new = 0.0;
        if (b6_size > 0.0 && std::isfinite(b6_size)) {
            dt_new = dt * std::pow(control.tolerance / b6_size, 1.0 / 7.0);
        } else {
            dt_new = dt / SAFETY_FACTOR;
        }
        if (std::fabs(dt_new) < SAFETY_FACTOR * std::fabs(dt)) {
            // Rejected: try again with the shorter step.
            if (dt_last != 0.0) {
                const double ratio = dt_new / dt_last;
                e = shifted_series(b_last, ratio);
                for (std::size_t k = 0; k < 7; ++k) {
                    for (std::size_t i = 0; i < 3; ++i) {
                        b[k][i] = e[k][i] + (b_last[k][i] - e_last[k][i]);
                    }
                }
            } else {
                double power = 1.0;
                const double ratio = dt_new / dt;
                for (std::size_t k = 0; k < 7; ++k) {
                    power *= ratio;
                    for (std::size_t i = 0; i < 3; ++i) {
                        b[k][i] *= power;
                    }
                }
            }
            dt = dt_new;
            continue;
        }
        if (std::fabs(dt_new) > std::fabs(dt) / SAFETY_FACTOR) {
            dt_new = dt / SAFETY_FACTOR;
        }
        // A node of an accepted step inside a body (a trial step's nodes may
        // stray there before its series has settled).
        if (collided != -2) {
            result.outcome = PropagationOutcome::collision;
            result.body = collided;
            break;
        }

        // Accepted: the state at the end of the step.
        for (int i = 0; i < 3; ++i) {
            const auto c = static_cast<std::size_t>(i);
            const double xs = b[6][c] / 72.0 + b[5][c] / 56.0 + b[4][c] / 42.0 + b[3][c] / 30.0 + b[2][c] / 20.0 +
                              b[1][c] / 12.0 + b[0][c] / 6.0 + a0[c] / 2.0;
            const double vs = b[6][c] / 8.0 + b[5][c] / 7.0 + b[4][c] / 6.0 + b[3][c] / 5.0 + b[2][c] / 4.0 +
                              b[1][c] / 3.0 + b[0][c] / 2.0 + a0[c];
            compensated_add(x[c], carry_x[c], dt * v[c]);
            compensated_add(x[c], carry_x[c], dt * dt * xs);
            compensated_add(v[c], carry_v[c], dt * vs);
        }
        compensated_add(t, carry_t, dt);
        ++result.steps;
        if (last_step) {
            t = end_tt;
        }
        if (!finite(x) || !finite(v)) {
            result.outcome = PropagationOutcome::not_finite;
            break;
        }
        const Evaluation start_of_next = integration.evaluate(t, x, v);
        a0 = start_of_next.a;
        if (last_step) {
            break;
        }

        // The next step starts from the present series carried over, with
        // the present step's prediction error added.
        const double ratio = dt_new / dt;
        b_last = b;
        // The first step started from nothing: no prediction error to carry.
        e_last = dt_last == 0.0 ? b : e;
        dt_last = dt;
        if (std::fabs(ratio) > 20.0) {
            b = Series{};
            e = Series{};
        } else {
            e = shifted_series(b_last, ratio);
            for (std::size_t k = 0; k < 7; ++k) {
                for (std::size_t i = 0; i < 3; ++i) {
                    b[k][i] = e[k][i] + (b_last[k][i] - e_last[k][i]);
                }
            }
        }
        dt = dt_new;
    }
    result.state = integration.heliocentric_state(t, x, v);
    result.tt = t;
    return result;
}

Propagated propagate_state(const StateVector& start, double start_tt, double end_tt)
{
    return propagate_state(start, start_tt, end_tt, planet_table(start_tt, end_tt));
}

std::string propagation_failure_reason(const Propagated& result)
{
    static constexpr const char* BODY_NAMES[BODY_COUNT] = {"Mercury", "Venus",  "the Earth", "Mars",   "Jupiter",
                                                           "Saturn",  "Uranus", "Neptune",   "the Moon"};
    const std::string at = " at TT MJD " + std::to_string(result.tt);
    switch (result.outcome) {
    case PropagationOutcome::reached:
        return "";
    case PropagationOutcome::collision:
        return std::string("the orbit strikes ") +
               (result.body < 0 ? "the Sun" : BODY_NAMES[static_cast<std::size_t>(result.body)]) +
               " after TT MJD " + std::to_string(result.tt);
    case PropagationOutcome::step_vanished:
        return "the integration step vanished" + at;
    case PropagationOutcome::step_limit:
        return "the integration took too many steps (" + std::to_string(result.steps) + ")" + at;
    case PropagationOutcome::not_finite:
        return "the state became infinite or undefined" + at;
    case PropagationOutcome::outside_table:
        return "the planet table does not cover the span";
    }
    return "";
}

}  // namespace fieldsearch
