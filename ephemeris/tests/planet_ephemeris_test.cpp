#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <thread>
#include <vector>

#include <erfa.h>

#include "planet_ephemeris.hpp"
#include "time_scales.hpp"

using namespace fieldsearch;

namespace {

double distance(const Vector3& a, const Vector3& b)
{
    const Vector3 d{{a(1) - b(1), a(2) - b(2), a(3) - b(3)}};
    return std::sqrt(dot_product(d, d));
}

double length(const Vector3& a)
{
    return std::sqrt(dot_product(a, a));
}

}  // namespace

// Catches a missing or inverted frame bias, a wrong time argument (JD for
// MJD, TT for TDB by a large amount), a sign or a unit error of the Sun's
// places. Reference: astropy 5.2 (its builtin, ERFA-based ephemeris, through
// its own time handling) from /usr/bin/python3:
//   t = Time(mjd, format='mjd', scale='tdb')
//   sun, earth = get_body_barycentric('sun', t), get_body_barycentric('earth', t)
//   rb = erfa.bp06(2451545.0, 0.0)[0]
//   geocentric = rb @ (sun - earth).xyz.to(u.km); barycentric = rb @ sun.xyz.to(u.au)
// astropy's kilometre per AU (149597870.700) differs from ours by 0.01 km here.
TEST(PlanetEphemeris, SunPlacesAgreeWithAstropy)
{
    struct Case {
        double tdb;
        Vector3 geocentric_km;
        Vector3 barycentric_au;
    };
    const Case cases[] = {
        {51544.5, {{26499034.4793, -132757417.6601, -57556714.7071}},
         {{-7.136459983733e-03, -2.647014638980e-03, -9.229558965834e-04}}},
        {54606.21881, {{76940777.0668, 119622306.7302, 51859329.3990}},
         {{-7.470573619689e-04, 4.557746608346e-03, 1.915949978741e-03}}},
        {60500.0, {{-44352725.8191, 133480879.8333, 57862746.1976}},
         {{-6.908953976396e-03, -3.841392471671e-03, -1.450369370404e-03}}},
        {62000.75, {{-123966661.3750, 79804902.4373, 34594296.4247}},
         {{1.206882020512e-03, -1.939816875000e-03, -8.033887824914e-04}}},
    };
    for (const Case& c : cases) {
        // 0.05 km is 0.07 mas at 1 AU: the frame bias (23 mas, 17 km) cannot hide.
        EXPECT_LT(distance(sun_geocentric_position_km(c.tdb), c.geocentric_km), 0.05) << c.tdb;
        EXPECT_LT(distance(earth_heliocentric_position_km(c.tdb),
                           Vector3{{-c.geocentric_km(1), -c.geocentric_km(2), -c.geocentric_km(3)}}),
                  0.05)
            << c.tdb;
        EXPECT_LT(distance(sun_barycentric_position(c.tdb), c.barycentric_au), 1e-12) << c.tdb;
        // The Earth's barycentric place is its heliocentric one plus the Sun's.
        const Vector3 helio = earth_heliocentric_state(c.tdb).position;
        const Vector3 sun = sun_barycentric_position(c.tdb);
        EXPECT_LT(distance(earth_barycentric_state(c.tdb).position,
                           Vector3{{helio(1) + sun(1), helio(2) + sun(2), helio(3) + sun(3)}}),
                  1e-14)
            << c.tdb;
    }
}

// Catches a body mapped to the wrong series (e.g. Mars to eraPlan94's
// Earth-Moon barycentre), a bias applied to the planet series (already on
// the mean J2000 frame) or velocities in the wrong unit: each planet against
// a direct eraPlan94 call, and the Earth and the Moon against their
// barycentre from eraPlan94 (independent of eraEpv00 and eraMoon98, good to
// 1e-5 AU: the Earth alone misses it by 3.7e-5 AU, a Moon on the wrong side
// by 7e-5 AU).
TEST(PlanetEphemeris, BodiesComeFromTheirOwnSeries)
{
    struct Case {
        Body body;
        int plan94;
    };
    const Case cases[] = {{Body::mercury, 1}, {Body::venus, 2},  {Body::mars, 4},    {Body::jupiter, 5},
                          {Body::saturn, 6},  {Body::uranus, 7}, {Body::neptune, 8}};
    for (const double tdb : {51544.5, 58849.0, 61000.25}) {
        for (const Case& c : cases) {
            double pv[2][3];
            eraPlan94(2400000.5, tdb, c.plan94, pv);
            const StateVector state = body_heliocentric_state(c.body, tdb);
            EXPECT_LT(distance(state.position, Vector3{{pv[0][0], pv[0][1], pv[0][2]}}), 1e-15) << c.plan94;
            EXPECT_LT(distance(state.velocity, Vector3{{pv[1][0], pv[1][1], pv[1][2]}}), 1e-17) << c.plan94;
        }
        double emb[2][3];
        eraPlan94(2400000.5, tdb, 3, emb);
        const Vector3 earth = body_heliocentric_state(Body::earth, tdb).position;
        const Vector3 moon = body_heliocentric_state(Body::moon, tdb).position;
        const double w = 1.0 / (1.0 + EARTH_MOON_MASS_RATIO);
        const Vector3 barycentre{{earth(1) + w * (moon(1) - earth(1)), earth(2) + w * (moon(2) - earth(2)),
                                  earth(3) + w * (moon(3) - earth(3))}};
        EXPECT_LT(distance(barycentre, Vector3{{emb[0][0], emb[0][1], emb[0][2]}}), 1.5e-5) << tdb;
        const double moon_km = distance(moon, earth) * 149597870.691;
        EXPECT_GT(moon_km, 356000.0);
        EXPECT_LT(moon_km, 407000.0);
    }
}

// Catches series cut too short in the table's sum (the outer planets' after
// too few terms, the Moon's or Mercury's before the last of their fit):
// near 1900, 2000 and 2099 every body's tabulated position keeps to the
// direct series within some units of 1e-13 AU, what the series' own
// rounding and the instant's leave (a term of 1e-11 AU left out shows).
TEST(PlanetEphemeris, TableKeepsTheSeriesToTheirRounding)
{
    for (const double start : {15100.0, 51544.0, 88000.0}) {
        const PlanetTable table = planet_table(start, start + 400.0);
        double worst = 0.0;
        for (double tt = start; tt <= start + 400.0; tt += 0.37) {
            const std::array<Vector3, BODY_COUNT> tabulated = table_positions(table, tt);
            for (int b = 0; b < BODY_COUNT; ++b) {
                const Vector3 direct = body_heliocentric_state(static_cast<Body>(b), tdb_from_tt(tt)).position;
                const double error = distance(tabulated[static_cast<std::size_t>(b)], direct);
                worst = std::fmax(worst, error);
                ASSERT_LT(error, 3e-12) << "body " << b << " at " << tt;
            }
        }
        RecordProperty("worst_error_au_from_" + std::to_string(static_cast<int>(start)), std::to_string(worst));
    }
}

// Catches a Chebyshev fit or evaluation error (wrong nodes, a halved or
// doubled first coefficient, a piece chosen off by one, TT and TDB mixed up
// by more than a few ms): at random instants and at piece boundaries over
// three years every body's tabulated position agrees with the direct series;
// for a table fitted itself and for one whose pieces come from a store that
// an overlapping table filled first (a piece of the store's grid taken for
// the wrong one is off by days of the bodies' motion).
TEST(PlanetEphemeris, TableMatchesDirectSeries)
{
    const double start = 60000.0;
    const double end = 61100.0;
    PlanetPieceStore store;
    const PlanetTable earlier = planet_table(start - 300.0, start + 500.0, store);
    const std::vector<PlanetTable> tables{planet_table(end, start), planet_table(end, start, store), earlier};
    for (std::size_t which = 0; which < tables.size(); ++which) {
        const PlanetTable& table = tables[which];
        const double first = which == 2 ? start - 300.0 : start;
        const double last = which == 2 ? start + 500.0 : end;
        EXPECT_TRUE(table_covers(table, first)) << which;
        EXPECT_TRUE(table_covers(table, last)) << which;
        EXPECT_FALSE(table_covers(table, last + 2.0)) << which;
        EXPECT_FALSE(table_covers(table, first - 10.0)) << which;

        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> instant(first, last);
        std::vector<double> times;
        for (int i = 0; i < 400; ++i) {
            times.push_back(instant(random));
        }
        for (double tt = table.start_tt; tt <= table.end_tt; tt += 64.0) {
            times.push_back(tt);  // boundaries of every body's pieces
        }
        times.push_back(table.end_tt);
        double worst = 0.0;
        for (const double tt : times) {
            const std::array<Vector3, BODY_COUNT> tabulated = table_positions(table, tt);
            for (int b = 0; b < BODY_COUNT; ++b) {
                const Vector3 direct = body_heliocentric_state(static_cast<Body>(b), tdb_from_tt(tt)).position;
                const double error = distance(tabulated[static_cast<std::size_t>(b)], direct);
                worst = std::fmax(worst, error);
                EXPECT_LT(error, 1e-10) << "table " << which << " body " << b << " at " << tt;
            }
        }
        RecordProperty("worst_table_error_au_" + std::to_string(which), std::to_string(worst));
    }
}

// Catches distance ranges that miss a body's true extremes or are far wider
// than they need be (which would loosen every perturbation bound built on
// them): over a year the ranges hold the direct series' distances at 3000
// random instants and lie within 0.01 AU of their extremes.
TEST(PlanetEphemeris, DistanceRangesHoldTheBodies)
{
    const PlanetTable table = planet_table(60000.0, 60365.0);
    const BodyDistanceRanges ranges = body_distance_ranges(table);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> instant(table.start_tt, table.end_tt);
    std::array<double, BODY_COUNT> least{};
    std::array<double, BODY_COUNT> greatest{};
    least.fill(INFINITY);
    for (int i = 0; i < 3000; ++i) {
        const double tt = instant(random);
        for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
            const double r = length(body_heliocentric_state(static_cast<Body>(b), tdb_from_tt(tt)).position);
            EXPECT_GE(r, ranges.least[b]) << b;
            EXPECT_LE(r, ranges.greatest[b]) << b;
            least[b] = std::fmin(least[b], r);
            greatest[b] = std::fmax(greatest[b], r);
        }
    }
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        EXPECT_GT(ranges.least[b], least[b] - 0.01) << b;
        EXPECT_LT(ranges.greatest[b], greatest[b] + 0.01) << b;
    }
}

// Catches a wrong term-by-term integration (a coefficient's factor, the
// constant that joins one piece to the next, the piece's half-length
// scale): the tabulated displacement starts at rest, its rate is its
// derivative and its second derivative is the indirect acceleration, by
// central differences at random instants and across piece boundaries; and
// that acceleration is the one computed from the direct series.
TEST(PlanetEphemeris, IndirectDisplacementIntegratesTheIndirectAcceleration)
{
    PlanetPieceStore store;
    (void)planet_table(59800.0, 60400.0, store);
    for (const PlanetTable& table : {planet_table(60000.0, 61100.0), planet_table(60000.0, 61100.0, store)}) {
        const StateVector at_start = indirect_displacement(table, table.start_tt);
        EXPECT_LT(length(at_start.position), 1e-18);
        EXPECT_LT(length(at_start.velocity), 1e-18);

        std::mt19937_64 random(5);
        std::uniform_real_distribution<double> instant(table.start_tt + 1.0, table.end_tt - 1.0);
        std::vector<double> times;
        for (int i = 0; i < 200; ++i) {
            times.push_back(instant(random));
        }
        for (double tt = table.start_tt + 8.0; tt < table.end_tt - 1.0; tt += 64.0) {
            times.push_back(tt);
        }
        const double h = 0.05;
        for (const double tt : times) {
            const StateVector before = indirect_displacement(table, tt - h);
            const StateVector here = indirect_displacement(table, tt);
            const StateVector after = indirect_displacement(table, tt + h);
            const Vector3 a = indirect_acceleration(table, tt);
            for (int i = 1; i <= 3; ++i) {
                const double rate = (after.position(i) - before.position(i)) / (2.0 * h);
                EXPECT_NEAR(rate, here.velocity(i), 1e-12) << tt;  // the difference quotient errs by 3e-13
                const double second = (after.velocity(i) - before.velocity(i)) / (2.0 * h);
                EXPECT_NEAR(second, a(i), 2e-3 * length(a) + 1e-16) << tt;
            }
            // The acceleration from the direct series: -sum GM r / r^3.
            Vector3 direct{};
            for (int b = 0; b < BODY_COUNT; ++b) {
                const Vector3 p = body_heliocentric_state(static_cast<Body>(b), tdb_from_tt(tt)).position;
                const double r = length(p);
                const double gm = 0.01720209895 * 0.01720209895 / SUN_BODY_MASS_RATIOS[static_cast<std::size_t>(b)];
                for (int i = 1; i <= 3; ++i) {
                    direct(i) -= gm * p(i) / (r * r * r);
                }
            }
            EXPECT_LT(distance(direct, a), 1e-9 * length(a)) << tt;
        }
    }
}

// Catches a race in the store that several threads fill at once (a piece
// fitted twice and the copies mixed, a reference into the store moved by
// another thread's insertion, a piece read while another thread still fits
// it): tables over overlapping spans, made by four threads at once from one
// store while two more fit the pieces of all of them, hold the same
// coefficients to the bit as the same tables made one after another from a
// store of their own, and are made of the pieces store_pieces names.
TEST(PlanetEphemeris, TablesMadeByThreadsAtOnceAreTheTablesMadeInTurn)
{
    const double spans[][2] = {{60000.0, 60400.0}, {59900.0, 60100.0}, {60200.0, 60600.0}, {59950.0, 60550.0}};
    PlanetPieceStore alone;
    std::vector<PlanetTable> in_turn;
    for (const auto& span : spans) {
        in_turn.push_back(planet_table(span[0], span[1], alone));
    }
    for (int round = 0; round < 3; ++round) {
        PlanetPieceStore shared;
        std::vector<PlanetTable> at_once(4);
        std::vector<std::thread> threads;
        for (std::size_t k = 0; k < 4; ++k) {
            threads.emplace_back([&, k] { at_once[k] = planet_table(spans[k][0], spans[k][1], shared); });
        }
        const PieceRange all = store_pieces(59900.0, 60600.0);
        for (int helper = 0; helper < 2; ++helper) {
            threads.emplace_back([&] { shared.fit_pieces(all.first, all.last); });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(at_once[k].start_tt, in_turn[k].start_tt) << k;
            EXPECT_EQ(at_once[k].pieces, in_turn[k].pieces) << k;
            const PieceRange range = store_pieces(spans[k][0], spans[k][1]);
            EXPECT_EQ(at_once[k].start_tt, static_cast<double>(range.first) * TABLE_PIECE_DAYS) << k;
            EXPECT_EQ(at_once[k].pieces, range.last - range.first + 1) << k;
            EXPECT_TRUE(at_once[k].coefficients == in_turn[k].coefficients) << "round " << round << " table " << k;
        }
    }
}
