#include "perturbation_bound.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

#include "angles.hpp"
#include "constants.hpp"
#include "nbody_propagation.hpp"

namespace fieldsearch {

namespace {

constexpr double SUN_GM = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;
constexpr double C2 = SPEED_OF_LIGHT_AU_PER_DAY * SPEED_OF_LIGHT_AU_PER_DAY;
constexpr double SUN_RADIUS_AU = SUN_RADIUS_KM / KM_PER_AU;
// Added to every finite bound: the integration's and the table's own error
// (1e-9 AU, 0.0002" at 1 AU) and the rounding of the bound itself.
constexpr double ABSOLUTE_MARGIN_AU = 1e-9;
constexpr double RELATIVE_MARGIN = 1e-6;
constexpr int BOOTSTRAP_TRIES = 30;
// How many times a piece of the path bound may be halved: where its bound
// fails, or where the bodies' pull at the least distances it allows exceeds
// their pull at its middle by more than CLOSING_SHARE times the latter.
constexpr int PIECE_SPLITS = 8;
constexpr double CLOSING_SHARE = 4.0;
// A bound that reaches this far (AU) is given up as infinite: no search can
// rule a record out by it.
constexpr double USEFUL_BOUND_AU = 3.0;
// Newton's steps for a piece end's eccentric anomaly: at most this many,
// none once Kepler's equation holds to ANOMALY_SETTLED radians.
constexpr int ANOMALY_STEPS = 6;
constexpr double ANOMALY_SETTLED = 1e-10;

// The two-body orbit over one piece of the span: its least and greatest
// distance from the Sun, its greatest speed, and (for the path bound) its
// place at the piece's middle.
struct PieceOrbit {
    double least;
    double greatest;
    double speed;
};

// The distance from the Sun at TT MJD `tt` on a parabola or hyperbola.
double open_orbit_radius(const PerihelionElements& elements, double tt)
{
    const Vector3 p = position_from_perihelion_elements(elements, tt);
    return std::sqrt(dot_product(p, p));
}

// True when some x0 + k period (k an integer) lies in [from, to].
bool holds_phase(double from, double to, double x0, double period)
{
    return std::ceil((from - x0) / period) <= std::floor((to - x0) / period);
}

// The piece orbit of distances from `least` to `greatest` (AU) on a conic
// of semimajor axis a (negative for a hyperbola, infinite for a parabola):
// the distances widened by their rounding, some units of 1e-16, and the
// greatest speed, vis-viva at the least distance: v^2 = GM (2 / r - 1 / a).
PieceOrbit piece_orbit_between(double least, double greatest, double a)
{
    least *= 1.0 - 1e-12;
    greatest *= 1.0 + 1e-12;
    const double inverse_a = std::isfinite(a) ? 1.0 / a : 0.0;
    const double speed = std::sqrt(SUN_GM * (2.0 / least - inverse_a)) * (1.0 + 1e-12);
    return PieceOrbit{least, greatest, speed};
}

// The two-body orbit between TT MJDs t1 and t2 on a parabola or hyperbola:
// the distance is monotonic on either side of the perihelion, so its
// extremes are at the ends and at the perihelion when it falls inside.
PieceOrbit open_piece_orbit(const PerihelionElements& elements, double t1, double t2)
{
    const double from = std::fmin(t1, t2);
    const double to = std::fmax(t1, t2);
    const double r1 = open_orbit_radius(elements, from);
    const double r2 = open_orbit_radius(elements, to);
    double least = std::fmin(r1, r2);
    const double greatest = std::fmax(r1, r2);
    if (from <= elements.perihelion_time && elements.perihelion_time <= to) {
        least = elements.q;
    }
    return piece_orbit_between(least, greatest, elements.q / (1.0 - elements.e));
}

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

// The comparison functions u (distance) and u' (speed) carried over a piece
// of length h under u'' = L u + P with constant L > 0 and P >= 0.
DeviationBound advanced(const DeviationBound& start, double lipschitz, double forcing, double h)
{
    const double w = std::sqrt(lipschitz);
    const double c = std::cosh(w * h);
    const double s = std::sinh(w * h);
    return DeviationBound{start.distance * c + start.speed * s / w + forcing * (c - 1.0) / lipschitz,
                          start.distance * w * s + start.speed * c + forcing * s / w};
}

constexpr DeviationBound UNBOUNDED{INFINITY, INFINITY};

// Where the bodies are over a piece, for the path bound: the distance from
// each body's tabulated place at the piece's middle to the two-body place
// there, less the table's error and the place's own, and half the piece's
// length.
struct PathPiece {
    bool given;                                 // false: the distance shells alone
    std::array<double, BODY_COUNT> apart;      // AU, less what both may move in half the piece
    double half_length;                         // days
};

// The indirect terms' bound, sum of mu_j / s_j^2 (AU/day^2); infinite
// when a body's least distance from the Sun is not positive.
double indirect_pull(const BodyDistanceRanges& ranges)
{
    double pull = 0.0;
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        if (!(ranges.least[b] > 0.0)) {
            return INFINITY;
        }
        pull += body_parameters()[b] / (ranges.least[b] * ranges.least[b]);
    }
    return pull;
}

// The constants L and P of a piece whose deviation stays within `guess`;
// false when the orbit may come too near a body or the Sun.
bool piece_constants(const PieceOrbit& orbit, const PathPiece& path, const BodyDistanceRanges& ranges,
                     double indirect, const DeviationBound& guess, double& lipschitz, double& forcing)
{
    const double nearest_sun = orbit.least - guess.distance;
    if (!(nearest_sun > SUN_RADIUS_AU)) {
        return false;
    }
    lipschitz = 2.0 * SUN_GM / (nearest_sun * nearest_sun * nearest_sun);
    const double speed = orbit.speed + guess.speed;
    forcing = SUN_GM / (C2 * nearest_sun * nearest_sun) * (4.0 * SUN_GM / nearest_sun + 5.0 * speed * speed) +
              indirect;
    const std::array<double, BODY_COUNT>& gm = body_parameters();
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        double nearest = std::fmax(ranges.least[b] - (orbit.greatest + guess.distance),
                                   (orbit.least - guess.distance) - ranges.greatest[b]);
        if (path.given) {
            nearest = std::fmax(nearest, path.apart[b] - guess.distance);
        }
        if (!(nearest > 0.0)) {
            return false;
        }
        forcing += gm[b] / (nearest * nearest);
    }
    return std::isfinite(lipschitz) && std::isfinite(forcing);
}

// The deviation at the end of a piece of `h` days over which the two-body
// orbit is `orbit` (and, for the path bound, near `path`), from `start` at
// its beginning; empty when no bound holds.
std::optional<DeviationBound> piece_bound(const PieceOrbit& orbit, const PathPiece& path,
                                          const BodyDistanceRanges& ranges, double indirect,
                                          const DeviationBound& start, double h)
{
    // A first guess from the deviation at the piece's start, then doubled
    // until the piece's own end stays inside it: then the deviation cannot
    // have left the guess anywhere in the piece.
    double lipschitz = 0.0;
    double forcing = 0.0;
    if (!piece_constants(orbit, path, ranges, indirect, start, lipschitz, forcing)) {
        return std::nullopt;
    }
    DeviationBound end = advanced(start, lipschitz, forcing, h);
    DeviationBound guess{2.0 * end.distance + 1e-300, 2.0 * end.speed + 1e-300};
    for (int attempt = 0; attempt < BOOTSTRAP_TRIES; ++attempt) {
        if (!piece_constants(orbit, path, ranges, indirect, guess, lipschitz, forcing)) {
            return std::nullopt;
        }
        end = advanced(start, lipschitz, forcing, h);
        if (end.distance < guess.distance && end.speed < guess.speed) {
            if (!std::isfinite(end.distance)) {
                return std::nullopt;
            }
            return end;
        }
        guess = DeviationBound{2.0 * end.distance, 2.0 * end.speed};
    }
    return std::nullopt;
}

// The bound with its margins for the integration's error and rounding.
DeviationBound with_margins(const DeviationBound& bound)
{
    return DeviationBound{bound.distance * (1.0 + RELATIVE_MARGIN) + ABSOLUTE_MARGIN_AU,
                          bound.speed * (1.0 + RELATIVE_MARGIN) + ABSOLUTE_MARGIN_AU / 86400.0};
}

// An ellipse prepared for the places of many pieces: a, e, the mean
// motion, b = a sqrt(1 - e^2), and the unit vectors to perihelion (p) and a
// quarter turn on (q) in the equator of J2000, so that the place at the
// eccentric anomaly E is a (cos E - e) p + b sin E q.
struct EllipsePath {
    double a;
    double e;
    double n;
    double b;
    double perihelion_time;
    Vector3 p;
    Vector3 q;
};

EllipsePath ellipse_path(const PerihelionElements& elements)
{
    EllipsePath path{};
    path.e = elements.e;
    path.a = elements.q / (1.0 - elements.e);
    path.n = mean_motion(path.a);
    path.b = path.a * std::sqrt((1.0 - path.e) * (1.0 + path.e));
    path.perihelion_time = elements.perihelion_time;
    const OrbitAxes axes = orbit_axes(elements.inclination, elements.node, elements.perihelion_argument);
    path.p = axes.p;
    path.q = axes.q;
    return path;
}

// The eccentric anomaly at an instant: a value, its sine and cosine, and
// how far the true one may lie from it (radians).
struct AnomalyBounds {
    double solved;
    double sine;
    double cosine;
    double slack;
};

// The eccentric anomaly at TT MJD t, by Newton's steps from `guess` (kept
// within M - e .. M + e, where E lies since E - M = e sin E). However the
// steps end, the true E lies within |E* - e sin E* - M| / (1 - e) of the
// value E* they reach (Kepler's equation grows at least 1 - e per radian),
// widened for rounding.
AnomalyBounds anomaly_at(const EllipsePath& path, double t, double guess)
{
    const double e = path.e;
    const double m = path.n * (t - path.perihelion_time);
    double x = std::fmin(std::fmax(guess, m - e), m + e);
    double sine = std::sin(x);
    double cosine = std::cos(x);
    double residual = x - e * sine - m;
    for (int step = 0; step < ANOMALY_STEPS && !(std::fabs(residual) <= ANOMALY_SETTLED); ++step) {
        x = std::fmin(std::fmax(x - residual / (1.0 - e * cosine), m - e), m + e);
        sine = std::sin(x);
        cosine = std::cos(x);
        residual = x - e * sine - m;
    }
    return AnomalyBounds{x, sine, cosine, std::fabs(residual) / (1.0 - e) + 1e-12 * (1.0 + std::fabs(m))};
}

// Bounds of cos E for E within `slack` of x, from cos x and sin x:
// |cos(x + s) - cos x| <= |sin x| |s| + s^2 / 2.
double least_cosine(const AnomalyBounds& b)
{
    return b.cosine - std::fabs(b.sine) * b.slack - 0.5 * b.slack * b.slack - 1e-15;
}

double greatest_cosine(const AnomalyBounds& b)
{
    return b.cosine + std::fabs(b.sine) * b.slack + 0.5 * b.slack * b.slack + 1e-15;
}

// The two-body orbit over a piece of an ellipse between instants whose
// eccentric anomalies are `earlier` and `later`: E grows with the time, so
// over the piece it stays within [E1 - s1, E2 + s2], and r = a (1 - e cos E)
// takes its extremes at the ends of that range or at a perihelion or
// aphelion inside it.
PieceOrbit ellipse_piece_orbit(const EllipsePath& path, const AnomalyBounds& earlier, const AnomalyBounds& later)
{
    const double least = earlier.solved - earlier.slack;
    const double greatest = later.solved + later.slack;
    const double greatest_cos = holds_phase(least, greatest, 0.0, TWO_PI)
                                    ? 1.0
                                    : std::fmin(1.0, std::fmax(greatest_cosine(earlier), greatest_cosine(later)));
    const double least_cos = holds_phase(least, greatest, PI, TWO_PI)
                                 ? -1.0
                                 : std::fmax(-1.0, std::fmin(least_cosine(earlier), least_cosine(later)));
    return piece_orbit_between(path.a * (1.0 - path.e * greatest_cos), path.a * (1.0 - path.e * least_cos), path.a);
}

// What a piece's bound needs of an end of it: the instant, and for an
// ellipse the bounds of its eccentric anomaly.
struct PieceEnd {
    double t;
    AnomalyBounds anomaly;
};

// The orbit, and the bodies' distances for the path bound, over a piece.
struct PieceContext {
    const PerihelionElements& elements;
    const std::optional<EllipsePath>& ellipse;
    const PlanetTable* table;
    const BodyDistanceRanges& ranges;
    double ranges_pull;  // the indirect terms' bound, sum of mu_j / s_j^2
};

// The deviation at the piece's end `to` from `start` at its end `from`,
// with or without the table. Where the table is given and the piece's
// bound fails, or the piece is so long that the least distances from the
// bodies it allows make their pull far stronger than at its middle, the
// piece is halved, down to `splits` times, so that an orbit that passes a
// body only somewhat near gets its bound from shorter pieces there.
std::optional<DeviationBound> piece_deviation(const PieceContext& c, const PieceEnd& from, const PieceEnd& to,
                                              const DeviationBound& start, int splits)
{
    const double h = std::fabs(to.t - from.t);
    const double middle_t = 0.5 * (from.t + to.t);
    PieceOrbit orbit{};
    if (c.ellipse) {
        // E grows with the time, whichever way the piece runs.
        const bool forward = to.t >= from.t;
        orbit = ellipse_piece_orbit(*c.ellipse, forward ? from.anomaly : to.anomaly,
                                    forward ? to.anomaly : from.anomaly);
    } else {
        orbit = open_piece_orbit(c.elements, from.t, to.t);
    }
    PathPiece path{c.table != nullptr, {}, 0.5 * h};
    PieceEnd middle{middle_t, {}};
    bool near = false;
    if (c.table != nullptr) {
        if (!table_covers(*c.table, middle_t)) {
            return std::nullopt;
        }
        // Orbits from one epoch to one instant cut their spans at the same
        // instants.
        thread_local TableInstantCache<8> kept;
        const std::array<Vector3, BODY_COUNT>& bodies = kept.at(*c.table, middle_t).positions;
        Vector3 place{};
        double place_error = 0.0;
        if (c.ellipse) {
            const EllipsePath& e = *c.ellipse;
            middle.anomaly = anomaly_at(e, middle_t, 0.5 * (from.anomaly.solved + to.anomaly.solved));
            const double x = e.a * (middle.anomaly.cosine - e.e);
            const double y = e.b * middle.anomaly.sine;
            place = Vector3{{x * e.p(1) + y * e.q(1), x * e.p(2) + y * e.q(2), x * e.p(3) + y * e.q(3)}};
            // |dk/dE| <= a, and the rounding of the place.
            place_error = e.a * (middle.anomaly.slack + 1e-14);
        } else {
            place = position_from_perihelion_elements(c.elements, middle_t);
        }
        // The bodies' pull at the distances the piece allows against their
        // pull at the distances at its middle (and the indirect terms): where
        // the piece's length adds more than CLOSING_SHARE of the latter, the
        // piece is worth halving. A body is as far as the piece allows by
        // its place or by the distance shells, whichever is farther, as in
        // the bound itself: halving the piece brings nothing for a body the
        // shells keep apart.
        const std::array<double, BODY_COUNT>& gm = body_parameters();
        double at_middle = c.ranges_pull;
        double allowed = c.ranges_pull;
        for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
            const Vector3& p = bodies[b];
            const Vector3 d{{p(1) - place(1), p(2) - place(2), p(3) - place(3)}};
            const double apart = std::sqrt(dot_product(d, d));
            // The table's error, 1e-10 AU, and what the orbit and the body may
            // move in half the piece.
            const double least = apart * (1.0 - 1e-12) - 1e-10 - place_error -
                                 (orbit.speed + BODY_SPEED_LIMITS[b]) * path.half_length;
            path.apart[b] = least;
            at_middle += gm[b] / (apart * apart);
            const double nearest = std::fmax(std::fmax(c.ranges.least[b] - orbit.greatest,
                                                       orbit.least - c.ranges.greatest[b]),
                                             least);
            allowed += nearest > 0.0 ? gm[b] / (nearest * nearest) : INFINITY;
        }
        near = !(allowed - at_middle <= CLOSING_SHARE * at_middle);
    }
    std::optional<DeviationBound> end;
    if (!near || splits <= 0) {
        end = piece_bound(orbit, path, c.ranges, c.ranges_pull, start, h);
    }
    if (end || c.table == nullptr || splits <= 0) {
        return end;
    }
    const std::optional<DeviationBound> half = piece_deviation(c, from, middle, start, splits - 1);
    if (!half) {
        return std::nullopt;
    }
    return piece_deviation(c, middle, to, *half, splits - 1);
}

// The bound over the span cut into `pieces`, with or without the table.
DeviationBound deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                               const PlanetTable* table, const BodyDistanceRanges& ranges, int pieces,
                               double give_up_au)
{
    // The comparison function never falls from one piece's end to the
    // next, so a bound that has passed what is of use stays there.
    const double useful = std::fmin(USEFUL_BOUND_AU, give_up_au);
    const double span = tt - epoch_tt;
    if (!std::isfinite(span) || !(elements.q > 0.0) || !(elements.e >= 0.0)) {
        return UNBOUNDED;
    }
    if (span == 0.0) {
        return DeviationBound{0.0, 0.0};
    }
    pieces = std::max(1, pieces);
    std::optional<EllipsePath> ellipse;
    if (elements.e < 1.0) {
        ellipse = ellipse_path(elements);
    }
    const PieceContext context{elements, ellipse, table, ranges, indirect_pull(ranges)};
    const auto end_at = [&](double t, double guess) {
        PieceEnd end{t, {}};
        if (ellipse) {
            end.anomaly = anomaly_at(*ellipse, t, guess);
        }
        return end;
    };
    PieceEnd from = end_at(epoch_tt, ellipse ? ellipse->n * (epoch_tt - elements.perihelion_time) : 0.0);
    DeviationBound bound{0.0, 0.0};
    for (int k = 0; k < pieces; ++k) {
        const double t2 = k + 1 == pieces ? tt : epoch_tt + span * (k + 1) / pieces;
        // The next end's anomaly from this one's, moved on by the mean motion.
        const double guess =
            ellipse ? from.anomaly.solved + ellipse->n * (t2 - from.t) / (1.0 - ellipse->e * from.anomaly.cosine) : 0.0;
        const PieceEnd to = end_at(t2, guess);
        const std::optional<DeviationBound> end = piece_deviation(context, from, to, bound, PIECE_SPLITS);
        if (!end || !(end->distance < useful)) {
            return UNBOUNDED;
        }
        bound = *end;
        from = to;
    }
    return with_margins(bound);
}

}  // namespace

DeviationBound shell_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                     const BodyDistanceRanges& ranges, int pieces, double give_up_au)
{
    return deviation_bound(elements, epoch_tt, tt, nullptr, ranges, pieces, give_up_au);
}

DeviationBound range_deviation_bound(double least_au, double greatest_au, double speed_au_per_day, double span_days,
                                     const BodyDistanceRanges& ranges)
{
    if (!(least_au > 0.0) || !(greatest_au >= least_au) || !(speed_au_per_day >= 0.0) || !(span_days >= 0.0) ||
        !std::isfinite(greatest_au) || !std::isfinite(speed_au_per_day) || !std::isfinite(span_days)) {
        return UNBOUNDED;
    }
    if (span_days == 0.0) {
        return DeviationBound{0.0, 0.0};
    }
    const PieceOrbit orbit{least_au, greatest_au, speed_au_per_day};
    const std::optional<DeviationBound> end =
        piece_bound(orbit, PathPiece{false, {}, 0.5 * span_days}, ranges, indirect_pull(ranges), DeviationBound{0.0, 0.0},
                    span_days);
    return end ? with_margins(*end) : UNBOUNDED;
}

DeviationBound path_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                    const PlanetTable& table, const BodyDistanceRanges& ranges, int pieces,
                                    double give_up_au)
{
    return deviation_bound(elements, epoch_tt, tt, &table, ranges, pieces, give_up_au);
}

PerihelionElements record_perihelion_elements(const AstorbRecord& record)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    double m = std::fmod(record.mean_anomaly, 360.0);
    if (m > 180.0) {
        m -= 360.0;
    } else if (m <= -180.0) {
        m += 360.0;
    }
    return PerihelionElements{epoch_mjd(record) - m * DEG_TO_RAD / mean_motion(a),
                              a * (1.0 - e),
                              e,
                              record.inclination,
                              record.node,
                              record.perihelion_argument};
}

double deviation_angle(double bound, double distance)
{
    if (!(bound < distance)) {
        return PI;
    }
    return std::asin(bound / distance);
}

}  // namespace fieldsearch
