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

// The two-body orbit between TT MJDs t1 and t2. For an ellipse, from the
// mean anomalies alone: the eccentric anomaly E lies within e radians of M
// (E - M = e sin E), so over the piece E lies in [M1 - e, M2 + e] and
// r = a (1 - e cos E) takes its extremes at the ends of that range or at a
// perihelion or aphelion inside it. For the open orbits, from the distances
// at both ends and at perihelion when it falls inside.
PieceOrbit piece_orbit(const PerihelionElements& elements, double t1, double t2)
{
    const double from = std::fmin(t1, t2);
    const double to = std::fmax(t1, t2);
    const double q = elements.q;
    const double e = elements.e;
    double least = 0.0;
    double greatest = 0.0;
    if (e < 1.0) {
        const double a = q / (1.0 - e);
        const double n = mean_motion(a);
        const double e_from = n * (from - elements.perihelion_time) - e;
        const double e_to = n * (to - elements.perihelion_time) + e;
        const double c1 = std::cos(e_from);
        const double c2 = std::cos(e_to);
        const double greatest_cos = holds_phase(e_from, e_to, 0.0, TWO_PI) ? 1.0 : std::fmax(c1, c2);
        const double least_cos = holds_phase(e_from, e_to, PI, TWO_PI) ? -1.0 : std::fmin(c1, c2);
        least = a * (1.0 - e * greatest_cos);
        greatest = a * (1.0 - e * least_cos);
    } else {
        const double r1 = open_orbit_radius(elements, from);
        const double r2 = open_orbit_radius(elements, to);
        least = std::fmin(r1, r2);
        greatest = std::fmax(r1, r2);
        if (from <= elements.perihelion_time && elements.perihelion_time <= to) {
            least = q;
        }
    }
    // The rounding of the distances above, some units of 1e-16.
    least *= 1.0 - 1e-12;
    greatest *= 1.0 + 1e-12;
    // Vis-viva at the least distance: v^2 = GM (2 / r - 1 / a), 1 / a = (1 - e) / q.
    const double speed = std::sqrt(SUN_GM * (2.0 / least - (1.0 - e) / q)) * (1.0 + 1e-12);
    return PieceOrbit{least, greatest, speed};
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

// Lower bounds of the distance from each body over a piece, given the
// deviation may reach `reach` there: from the distance shells, and when
// `path` is given, also from the places at the piece's middle.
struct PathPiece {
    const std::array<Vector3, BODY_COUNT>* bodies;  // at the piece's middle, or null
    Vector3 middle;                                 // the two-body place there
    double half_length;                             // days
};

// The constants L and P of a piece whose deviation stays within `guess`;
// false when the orbit may come too near a body or the Sun.
bool piece_constants(const PieceOrbit& orbit, const PathPiece& path, const BodyDistanceRanges& ranges,
                     const DeviationBound& guess, double& lipschitz, double& forcing)
{
    const double nearest_sun = orbit.least - guess.distance;
    if (!(nearest_sun > SUN_RADIUS_AU)) {
        return false;
    }
    lipschitz = 2.0 * SUN_GM / (nearest_sun * nearest_sun * nearest_sun);
    const double speed = orbit.speed + guess.speed;
    forcing = SUN_GM / (C2 * nearest_sun * nearest_sun) * (4.0 * SUN_GM / nearest_sun + 5.0 * speed * speed);
    const std::array<double, BODY_COUNT>& gm = body_parameters();
    for (std::size_t b = 0; b < static_cast<std::size_t>(BODY_COUNT); ++b) {
        double nearest = std::fmax(ranges.least[b] - (orbit.greatest + guess.distance),
                                   (orbit.least - guess.distance) - ranges.greatest[b]);
        if (path.bodies != nullptr) {
            const Vector3& p = (*path.bodies)[b];
            const Vector3 d{{p(1) - path.middle(1), p(2) - path.middle(2), p(3) - path.middle(3)}};
            const double apart = std::sqrt(dot_product(d, d)) * (1.0 - 1e-12) - 1e-10;  // the table's error
            nearest = std::fmax(nearest, apart - (orbit.speed + BODY_SPEED_LIMITS[b]) * path.half_length -
                                             guess.distance);
        }
        if (!(nearest > 0.0) || !(ranges.least[b] > 0.0)) {
            return false;
        }
        forcing += gm[b] / (nearest * nearest) + gm[b] / (ranges.least[b] * ranges.least[b]);
    }
    return std::isfinite(lipschitz) && std::isfinite(forcing);
}

// The deviation at the end of a piece of `h` days over which the two-body
// orbit is `orbit` (and, for the path bound, near `path`), from `start` at
// its beginning; empty when no bound holds.
std::optional<DeviationBound> piece_bound(const PieceOrbit& orbit, const PathPiece& path,
                                          const BodyDistanceRanges& ranges, const DeviationBound& start, double h)
{
    // A first guess from the deviation at the piece's start, then doubled
    // until the piece's own end stays inside it: then the deviation cannot
    // have left the guess anywhere in the piece.
    double lipschitz = 0.0;
    double forcing = 0.0;
    if (!piece_constants(orbit, path, ranges, start, lipschitz, forcing)) {
        return std::nullopt;
    }
    DeviationBound end = advanced(start, lipschitz, forcing, h);
    DeviationBound guess{2.0 * end.distance + 1e-300, 2.0 * end.speed + 1e-300};
    for (int attempt = 0; attempt < BOOTSTRAP_TRIES; ++attempt) {
        if (!piece_constants(orbit, path, ranges, guess, lipschitz, forcing)) {
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

// The bound over the span cut into `pieces`, with or without the table.
DeviationBound deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                               const PlanetTable* table, const BodyDistanceRanges& ranges, int pieces)
{
    const double span = tt - epoch_tt;
    if (!std::isfinite(span) || !(elements.q > 0.0) || !(elements.e >= 0.0)) {
        return UNBOUNDED;
    }
    if (span == 0.0) {
        return DeviationBound{0.0, 0.0};
    }
    pieces = std::max(1, pieces);
    const double h = std::fabs(span) / pieces;
    DeviationBound bound{0.0, 0.0};
    for (int k = 0; k < pieces; ++k) {
        const double t1 = epoch_tt + span * k / pieces;
        const double t2 = k + 1 == pieces ? tt : epoch_tt + span * (k + 1) / pieces;
        const PieceOrbit orbit = piece_orbit(elements, t1, t2);
        PathPiece path{nullptr, Vector3{}, 0.5 * h};
        std::array<Vector3, BODY_COUNT> bodies{};
        if (table != nullptr) {
            const double middle = 0.5 * (t1 + t2);
            if (!table_covers(*table, middle)) {
                return UNBOUNDED;
            }
            bodies = table_positions(*table, middle);
            path.bodies = &bodies;
            path.middle = position_from_perihelion_elements(elements, middle);
        }
        const std::optional<DeviationBound> end = piece_bound(orbit, path, ranges, bound, h);
        if (!end) {
            return UNBOUNDED;
        }
        bound = *end;
    }
    return with_margins(bound);
}

}  // namespace

DeviationBound shell_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                     const BodyDistanceRanges& ranges, int pieces)
{
    return deviation_bound(elements, epoch_tt, tt, nullptr, ranges, pieces);
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
        piece_bound(orbit, PathPiece{nullptr, Vector3{}, 0.5 * span_days}, ranges, DeviationBound{0.0, 0.0}, span_days);
    return end ? with_margins(*end) : UNBOUNDED;
}

DeviationBound path_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                    const PlanetTable& table, const BodyDistanceRanges& ranges, int pieces)
{
    return deviation_bound(elements, epoch_tt, tt, &table, ranges, pieces);
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

DeviationBound record_deviation_bound(const AstorbRecord& record, double tt, const BodyDistanceRanges& ranges)
{
    return shell_deviation_bound(record_perihelion_elements(record), epoch_mjd(record), tt, ranges);
}

DeviationBound comet_deviation_bound(const CometRecord& record, double tt, const BodyDistanceRanges& ranges)
{
    const PerihelionElements elements = perihelion_elements(record);
    const double epoch = std::isnan(record.epoch_mjd) ? elements.perihelion_time : record.epoch_mjd;
    return shell_deviation_bound(elements, epoch, tt, ranges);
}

double deviation_angle(double bound, double distance)
{
    if (!(bound < distance)) {
        return PI;
    }
    return std::asin(bound / distance);
}

}  // namespace fieldsearch
