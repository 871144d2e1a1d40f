#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

#include "nbody_propagation.hpp"
#include "osculating_elements.hpp"
#include "planet_ephemeris.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

constexpr double EPOCH = 60000.0;
constexpr double THREE_YEARS = 1095.75;
// One milliarcsecond, radians.
constexpr double MAS = 4.84813681109536e-9;

double distance(const Vector3& a, const Vector3& b)
{
    return std::sqrt((a(1) - b(1)) * (a(1) - b(1)) + (a(2) - b(2)) * (a(2) - b(2)) + (a(3) - b(3)) * (a(3) - b(3)));
}

double length(const Vector3& a)
{
    return std::sqrt(dot_product(a, a));
}

// The reference model, written apart from the integrator's: the heliocentric
// equation of motion as it stands, the indirect terms included, the Sun's
// parameter k^2, the bodies' from their mass ratios, the Sun's
// Schwarzschild term in its usual form.
Vector3 reference_acceleration(const Vector3& r, const Vector3& v, const std::array<Vector3, BODY_COUNT>& bodies)
{
    const double k2 = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;
    const double c = 299792.458 * 86400.0 / KM_PER_AU;
    const double rr = length(r);
    const double rv = dot_product(r, v);
    const double vv = dot_product(v, v);
    Vector3 a{};
    for (int i = 1; i <= 3; ++i) {
        a(i) = -k2 * r(i) / (rr * rr * rr) +
               k2 / (c * c * rr * rr * rr) * ((4.0 * k2 / rr - vv) * r(i) + 4.0 * rv * v(i));
    }
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        const double gm = k2 / SUN_BODY_MASS_RATIOS[b];
        const Vector3& p = bodies[b];
        const Vector3 d{{p(1) - r(1), p(2) - r(2), p(3) - r(3)}};
        const double dd = length(d);
        const double pp = length(p);
        for (int i = 1; i <= 3; ++i) {
            a(i) += gm * (d(i) / (dd * dd * dd) - p(i) / (pp * pp * pp));
        }
    }
    return a;
}

// The second integrator: classical fourth-order Runge-Kutta with a fixed
// step of about `step` days, the bodies from the same table. Also gives the
// least distance from the Earth's centre met on the way (at the steps).
struct ReferenceRun {
    StateVector state;
    double least_earth_distance;
};

ReferenceRun runge_kutta(const StateVector& start, double t0, double t1, double step, const PlanetTable& table)
{
    const int n = static_cast<int>(std::ceil(std::fabs(t1 - t0) / step));
    const double h = (t1 - t0) / n;
    Vector3 r = start.position;
    Vector3 v = start.velocity;
    double least = INFINITY;
    const auto along = [](const Vector3& a, double s, const Vector3& d) {
        return Vector3{{a(1) + s * d(1), a(2) + s * d(2), a(3) + s * d(3)}};
    };
    for (int k = 0; k < n; ++k) {
        const double t = t0 + k * h;
        const std::array<Vector3, BODY_COUNT> b0 = table_positions(table, t);
        const std::array<Vector3, BODY_COUNT> b1 = table_positions(table, t + 0.5 * h);
        const std::array<Vector3, BODY_COUNT> b2 = table_positions(table, t + h);
        least = std::fmin(least, distance(r, b0[static_cast<std::size_t>(Body::earth)]));
        const Vector3 k1v = reference_acceleration(r, v, b0);
        const Vector3 k1r = v;
        const Vector3 k2r = along(v, 0.5 * h, k1v);
        const Vector3 k2v = reference_acceleration(along(r, 0.5 * h, k1r), k2r, b1);
        const Vector3 k3r = along(v, 0.5 * h, k2v);
        const Vector3 k3v = reference_acceleration(along(r, 0.5 * h, k2r), k3r, b1);
        const Vector3 k4r = along(v, h, k3v);
        const Vector3 k4v = reference_acceleration(along(r, h, k3r), k4r, b2);
        for (int i = 1; i <= 3; ++i) {
            r(i) += h / 6.0 * (k1r(i) + 2.0 * k2r(i) + 2.0 * k3r(i) + k4r(i));
            v(i) += h / 6.0 * (k1v(i) + 2.0 * k2v(i) + 2.0 * k3v(i) + k4v(i));
        }
    }
    return ReferenceRun{StateVector{r, v}, least};
}

// An Apollo-type orbit at EPOCH that passes some `miss` AU from the Earth
// `days` after EPOCH at 6 km/s: the state at the encounter carried back to
// EPOCH on its two-body orbit (the planets shift the real encounter by far
// less than `miss`).
StateVector earth_approacher(double days, double miss)
{
    const double t = EPOCH + days;
    const StateVector earth = earth_heliocentric_state(t);
    const Vector3 rhat{{earth.position(1) / length(earth.position), earth.position(2) / length(earth.position),
                        earth.position(3) / length(earth.position)}};
    const double speed = 6.0 * 86400.0 / KM_PER_AU;
    // Offset along the Earth's radius vector, relative velocity across it and
    // tilted out of the ecliptic.
    const Vector3 across{{-rhat(2), rhat(1), 0.4}};
    const double across_length = length(across);
    StateVector at_encounter{};
    for (int i = 1; i <= 3; ++i) {
        at_encounter.position(i) = earth.position(i) + miss * rhat(i);
        at_encounter.velocity(i) = earth.velocity(i) + speed * across(i) / across_length;
    }
    const PerihelionElements elements = perihelion_elements_of(elements_from_state(at_encounter, t));
    return state_from_perihelion_elements(elements, EPOCH);
}

struct OrbitCase {
    std::string name;
    StateVector start;
    double span;
    double reference_step;
};

std::vector<OrbitCase> orbit_cases()
{
    const StateVector main_belt = state_from_elements(Vector3{{2.767, 0.0785, 10.59}}, Vector3{{80.3, 73.6, 60.0}});
    const StateVector inner_belt = state_from_elements(Vector3{{2.2, 0.2, 4.0}}, Vector3{{10.0, 200.0, 20.0}});
    const StateVector trojan = state_from_elements(Vector3{{5.2, 0.1, 20.0}}, Vector3{{300.0, 100.0, 60.0}});
    const StateVector centaur = state_from_elements(Vector3{{13.7, 0.38, 6.9}}, Vector3{{209.0, 339.0, 30.0}});
    const StateVector comet =
        state_from_perihelion_elements(PerihelionElements{EPOCH + 200.0, 0.6, 0.9, 30.0, 120.0, 45.0}, EPOCH);
    const StateVector hyperbolic =
        state_from_perihelion_elements(PerihelionElements{EPOCH - 150.0, 1.3, 1.05, 110.0, 20.0, 300.0}, EPOCH);
    return {
        {"main belt forward", main_belt, THREE_YEARS, 0.5},
        {"main belt back", main_belt, -THREE_YEARS, 0.5},
        {"inner belt back", inner_belt, -THREE_YEARS, 0.5},
        {"trojan forward", trojan, THREE_YEARS, 0.5},
        {"centaur back", centaur, -THREE_YEARS, 1.0},
        {"comet forward", comet, THREE_YEARS, 0.02},
        {"hyperbolic comet back", hyperbolic, -THREE_YEARS, 0.05},
        {"earth approach forward", earth_approacher(400.0, 0.03), THREE_YEARS, 0.01},
        {"earth approach back", earth_approacher(-500.0, 0.02), -THREE_YEARS, 0.01},
    };
}

}  // namespace

// Catches a wrong Gauss-Radau node or coefficient, a broken predictor or
// step control, a lost compensation: with the planets and relativity off the
// integration must follow the two-body orbit of two_body.hpp (written apart)
// to 1e-10 of its size over three years either way, for ellipses,
// eccentric comets and a hyperbola.
TEST(NbodyPropagation, WithoutPlanetsFollowsTheTwoBodyOrbit)
{
    const ForceModel kepler{false, false};
    const PlanetTable none{};
    const PerihelionElements orbits[] = {
        {EPOCH - 300.0, 2.767 * (1.0 - 0.0785), 0.0785, 10.59, 80.3, 73.6},
        {EPOCH + 100.0, 0.7, 0.5, 5.0, 40.0, 300.0},
        {EPOCH + 200.0, 0.3, 0.97, 140.0, 200.0, 10.0},
        {EPOCH + 500.0, 1.1, 1.0, 60.0, 200.0, 150.0},
        {EPOCH - 50.0, 2.0, 1.4, 5.0, 330.0, 90.0},
        {EPOCH, 30.0, 0.01, 2.0, 100.0, 100.0},
    };
    for (const PerihelionElements& elements : orbits) {
        for (const double span : {THREE_YEARS, -THREE_YEARS, 30.0}) {
            const StateVector start = state_from_perihelion_elements(elements, EPOCH);
            const Propagated result = propagate_state(start, EPOCH, EPOCH + span, none, kepler);
            ASSERT_EQ(result.outcome, PropagationOutcome::reached) << propagation_failure_reason(result);
            EXPECT_EQ(result.tt, EPOCH + span);
            const Vector3 expected = position_from_perihelion_elements(elements, EPOCH + span);
            EXPECT_LT(distance(result.state.position, expected), 1e-10 * length(expected))
                << "q " << elements.q << " e " << elements.e << " span " << span;
        }
    }
}

// Catches a wrong force (a planet's mass, a missing or doubled indirect
// term, the Moon or relativity left out or with the wrong sign), a wrong
// frame shift of the integrated variable, and steps too long for a close
// approach: against a fixed-step fourth-order Runge-Kutta integration of the
// plain heliocentric equation (reference_acceleration above; its own error,
// from halving its step, is checked to be far smaller) over three years
// either way, for main-belt, Trojan, centaur, comet, hyperbolic and
// Earth-approaching orbits (two passing within a few hundredths of an AU).
TEST(NbodyPropagation, AgreesWithAnIndependentIntegrator)
{
    const PlanetTable table = planet_table(EPOCH - THREE_YEARS - 2.0, EPOCH + THREE_YEARS + 2.0);
    for (const OrbitCase& c : orbit_cases()) {
        const Propagated result = propagate_state(c.start, EPOCH, EPOCH + c.span, table);
        ASSERT_EQ(result.outcome, PropagationOutcome::reached) << c.name << ": " << propagation_failure_reason(result);
        const ReferenceRun reference = runge_kutta(c.start, EPOCH, EPOCH + c.span, c.reference_step, table);
        const ReferenceRun finer = runge_kutta(c.start, EPOCH, EPOCH + c.span, 0.5 * c.reference_step, table);
        const double reference_error = distance(reference.state.position, finer.state.position);
        const double error = distance(result.state.position, finer.state.position);
        const double velocity_error = distance(result.state.velocity, finer.state.velocity);
        EXPECT_LT(reference_error, 1e-10) << c.name;
        // 2e-9 AU is 0.0004" at 1 AU.
        EXPECT_LT(error, 2e-9) << c.name;
        EXPECT_LT(velocity_error, 1e-11) << c.name;
        if (c.name.rfind("earth approach", 0) == 0) {
            EXPECT_LT(finer.least_earth_distance, 0.05) << c.name;
        }
        std::ostringstream figures;
        figures << error << " AU, " << velocity_error << " AU/d, reference " << reference_error << " AU, "
                << result.steps << " steps, closest " << finer.least_earth_distance << " AU to the Earth";
        RecordProperty(c.name, figures.str());
    }
}

// Catches iterations that stop too early (the predictor-corrector left
// before the step's series has settled) or a step control looser than its
// tolerance: every test orbit, close approaches to the Earth among them,
// carried three years with the default control keeps within 1e-9 AU of the
// same orbit carried with a tolerance a hundred times tighter and the
// iterations run to rounding (stopping at 1e-5 instead of 1e-6 already
// leaves 1e-9 to 3e-9 AU).
TEST(NbodyPropagation, DefaultControlKeepsToAFarTighterOne)
{
    const PlanetTable table = planet_table(EPOCH - THREE_YEARS - 2.0, EPOCH + THREE_YEARS + 2.0);
    const IntegratorControl tight{1e-7, 1e-15, 1000.0};
    for (const OrbitCase& c : orbit_cases()) {
        const Propagated loose = propagate_state(c.start, EPOCH, EPOCH + c.span, table);
        const Propagated reference = propagate_state(c.start, EPOCH, EPOCH + c.span, table, {}, tight);
        ASSERT_EQ(loose.outcome, PropagationOutcome::reached) << c.name;
        ASSERT_EQ(reference.outcome, PropagationOutcome::reached) << c.name;
        EXPECT_GT(reference.steps, loose.steps) << c.name;
        EXPECT_LT(distance(loose.state.position, reference.state.position), 1e-9) << c.name;
    }
}

// Catches a direction-dependent fault or accumulated rounding (no
// compensation, a time axis that drifts): every orbit carried three years
// and back returns to its start within 1 mas as seen from the Sun.
TEST(NbodyPropagation, ForwardThenBackReturnsToTheStart)
{
    const PlanetTable table = planet_table(EPOCH - THREE_YEARS - 2.0, EPOCH + THREE_YEARS + 2.0);
    for (const OrbitCase& c : orbit_cases()) {
        const Propagated there = propagate_state(c.start, EPOCH, EPOCH + c.span, table);
        ASSERT_EQ(there.outcome, PropagationOutcome::reached) << c.name;
        const Propagated back = propagate_state(there.state, EPOCH + c.span, EPOCH, table);
        ASSERT_EQ(back.outcome, PropagationOutcome::reached) << c.name;
        EXPECT_EQ(back.tt, EPOCH);
        EXPECT_LT(distance(back.state.position, c.start.position), MAS * length(c.start.position)) << c.name;
    }
}

// Catches an integration that loops forever or reports success on an orbit
// it cannot carry: a strike on the Earth and on the Sun, a span the table
// does not cover, a step budget run out and an undefined start each end
// with their own outcome and a reason naming it.
TEST(NbodyPropagation, ReportsOrbitsItCannotCarry)
{
    const PlanetTable table = planet_table(EPOCH - 5.0, EPOCH + 40.0);
    const StateVector earth = earth_heliocentric_state(EPOCH + 1.0);
    // 20 000 km from the Earth's centre, falling straight at it at 3 km/s.
    StateVector impactor = earth;
    const double offset = 20000.0 / KM_PER_AU;
    const double fall = 3.0 * 86400.0 / KM_PER_AU;
    impactor.position(3) += offset;
    impactor.velocity(3) -= fall;
    const StateVector sun_diver{Vector3{{0.01, 0.0, 0.0}}, Vector3{{-0.01, 0.0, 0.0}}};
    const StateVector main_belt = state_from_elements(Vector3{{2.767, 0.0785, 10.59}}, Vector3{{80.3, 73.6, 60.0}});
    const StateVector undefined{Vector3{{NAN, 1.0, 0.0}}, Vector3{{0.0, 0.01, 0.0}}};
    const StateVector eccentric =
        state_from_perihelion_elements(PerihelionElements{EPOCH, 0.1, 0.9, 10.0, 0.0, 0.0}, EPOCH);
    IntegratorControl short_budget{};
    short_budget.steps_per_day = 0.0;

    struct Case {
        std::string name;
        StateVector start;
        double start_tt;
        double end_tt;
        ForceModel model;
        IntegratorControl control;
        PropagationOutcome outcome;
        std::string reason;
    };
    const Case cases[] = {
        {"earth impact", impactor, EPOCH + 1.0, EPOCH + 30.0, {}, {}, PropagationOutcome::collision, "the Earth"},
        {"sun dive", sun_diver, EPOCH, EPOCH + 30.0, {}, {}, PropagationOutcome::collision, "the Sun"},
        {"outside table", main_belt, EPOCH, EPOCH + 400.0, {}, {}, PropagationOutcome::outside_table, "table"},
        {"step budget", eccentric, EPOCH, EPOCH + 36525.0, {false, false}, short_budget,
         PropagationOutcome::step_limit, "too many steps"},
        {"undefined start", undefined, EPOCH, EPOCH + 30.0, {}, {}, PropagationOutcome::not_finite, "undefined"},
    };
    for (const Case& c : cases) {
        const Propagated result = propagate_state(c.start, c.start_tt, c.end_tt, table, c.model, c.control);
        EXPECT_EQ(result.outcome, c.outcome) << c.name;
        EXPECT_NE(propagation_failure_reason(result).find(c.reason), std::string::npos)
            << c.name << ": " << propagation_failure_reason(result);
        EXPECT_LT(result.tt, c.end_tt) << c.name;
    }
    // The impactor strikes within its first hours.
    const Propagated impact = propagate_state(impactor, EPOCH + 1.0, EPOCH + 30.0, table);
    EXPECT_LT(impact.tt, EPOCH + 1.2);
    EXPECT_EQ(impact.body, static_cast<int>(Body::earth));
    EXPECT_EQ(propagation_failure_reason(propagate_state(main_belt, EPOCH, EPOCH + 30.0, table)), "");
}

// Catches planet places kept from one table and used with another (an
// integration reading what it kept for a table of another start, whose
// indirect displacement differs by a drift of some 1e-5 AU/day): orbits
// carried through the same instants with tables of different starts, taken
// in turn, end where each table alone carries them, to the bit, and the two
// tables' results agree to the integration's accuracy.
TEST(NbodyPropagation, TablesTakenInTurnGiveWhatEachGivesAlone)
{
    const PlanetTable early = planet_table(EPOCH - 30.0, EPOCH + 40.0);
    const PlanetTable late = planet_table(EPOCH - 3.0, EPOCH + 40.0);
    ASSERT_NE(early.start_tt, late.start_tt);
    const StateVector orbits[] = {
        state_from_elements(Vector3{{2.767, 0.0785, 10.59}}, Vector3{{80.3, 73.6, 60.0}}),
        state_from_elements(Vector3{{1.46, 0.22, 10.8}}, Vector3{{304.3, 178.9, 250.0}}),
    };
    const auto carried = [&](const StateVector& start, const PlanetTable& table) {
        return propagate_state(start, EPOCH, EPOCH + 6.0, table).state;
    };
    std::vector<StateVector> alone;
    for (const PlanetTable* table : {&early, &late}) {
        for (const StateVector& start : orbits) {
            alone.push_back(carried(start, *table));
        }
    }
    std::size_t k = 0;
    for (int round = 0; round < 2; ++round) {
        k = 0;
        for (const StateVector& start : orbits) {
            for (const PlanetTable* table : {&early, &late}) {
                const StateVector turn = carried(start, *table);
                const std::size_t index = (table == &early ? 0 : 2) + (k / 2);
                for (int i = 1; i <= 3; ++i) {
                    EXPECT_EQ(turn.position(i), alone[index].position(i)) << round << " " << index;
                    EXPECT_EQ(turn.velocity(i), alone[index].velocity(i)) << round << " " << index;
                }
                ++k;
            }
        }
    }
    for (std::size_t o = 0; o < 2; ++o) {
        EXPECT_LT(distance(alone[o].position, alone[2 + o].position), 1e-10) << o;
    }
}
