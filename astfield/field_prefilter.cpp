#include "field_prefilter.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "angles.hpp"
#include "square_field.hpp"
#include "two_body.hpp"

namespace fieldsearch {

namespace {

// Allowance for the rounding of places and projections, radians.
constexpr double ROUNDING_MARGIN = 1e-8;
// Beyond these limits of the light-time shift and of the eccentricity the
// test stands aside.
constexpr double LARGEST_SPEED_RATIO = 0.5;
constexpr double LARGEST_ECCENTRICITY = 0.99;
// The speed of light in AU per day.
constexpr double SPEED_OF_LIGHT_AU_PER_DAY = 299792.458 * 86400.0 / KM_PER_AU;

// The test's own Kepler solution stops once the eccentric anomaly at which
// sine and cosine were last taken is known to within this many radians; the
// position is formed there, its error bounded from the residual.
constexpr double KEPLER_ANOMALY_BOUND = 1e-5;
constexpr int KEPLER_MOST_STEPS = 12;
// Closer than this (km) the direction to the asteroid is left to the full
// evaluation, and so is a position less sure than this share of its distance.
constexpr double NEAREST_DISTANCE_KM = 1.0e5;
constexpr double LARGEST_ERROR_RATIO = 0.5;
// Room for the rounding of a magnitude, mag.
constexpr double MAGNITUDE_MARGIN = 1e-6;

// The longitude window: the light-time shift it allows for (radians) and
// the speed at perihelion (AU/day) up to which that allowance holds: at
// beta = v / c = 6e-4 the shift bound (pi/2) beta (1 + beta) is below 1e-3.
constexpr double WINDOW_SHIFT_ALLOWANCE = 1e-3;
constexpr double WINDOW_LARGEST_SPEED = 6e-4 * SPEED_OF_LIGHT_AU_PER_DAY;
// Cones wider than this are left to the Kepler test.
constexpr double WINDOW_LARGEST_RADIUS = 0.2;
// The shells start this far beyond the observer's distance from the Sun
// (nearer, a line of sight can meet a sphere twice) and end at the last
// distance, AU.
constexpr double WINDOW_FIRST_SHELL_GAP_AU = 0.05;
constexpr double WINDOW_SHELL_AU = 0.01;
constexpr double WINDOW_FARTHEST_AU = 100.0;
// Eccentricities and inclinations (from the ecliptic, either sense) beyond
// these are left to the Kepler test.
constexpr double WINDOW_LARGEST_ECCENTRICITY = 0.95;
constexpr double WINDOW_LARGEST_INCLINATION_DEG = 89.0;
// Allowance for the rounding of longitudes and of the bounds, radians; the
// mean longitude is trusted to this only while it stays below the limit.
constexpr double WINDOW_MARGIN = 1e-6;
constexpr double WINDOW_LARGEST_LONGITUDE = 1e8;

// Bounds tabulated in bins, each entry the bound at its bin's upper end
// (both grow with their argument).
constexpr int ECCENTRICITY_BINS = 1000;
constexpr int INCLINATION_BINS_PER_DEGREE = 10;

// The largest |v - M| (radians) of an orbit of eccentricity e: the true
// anomaly leads E by at most 2 asin(beta), beta = e / (1 + sqrt(1 - e^2)),
// since v - E = 2 atan(beta sin E / (1 - beta cos E)); and E leads M by
// e sin E, at most e.
double centre_equation_bound(double e)
{
    static const std::array<double, ECCENTRICITY_BINS> table = [] {
        std::array<double, ECCENTRICITY_BINS> t{};
        for (int j = 0; j < ECCENTRICITY_BINS; ++j) {
            const double upper = static_cast<double>(j + 1) / ECCENTRICITY_BINS;
            const double beta = upper / (1.0 + std::sqrt(std::max(0.0, 1.0 - upper * upper)));
            t[static_cast<std::size_t>(j)] = 2.0 * std::asin(std::min(beta, 1.0)) + upper;
        }
        return t;
    }();
    return table[static_cast<std::size_t>(e * ECCENTRICITY_BINS)];
}

// The largest difference (radians) between the ecliptic longitude of a point
// of an orbit of inclination i (degrees, below 90) and its longitude in the
// orbit, node plus argument of latitude u: atan(cos i tan u) - u is largest
// where tan^2 u = 1 / cos i, at asin((1 - cos i) / (1 + cos i)).
double ecliptic_reduction_bound(double inclination_deg)
{
    static const std::array<double, 90 * INCLINATION_BINS_PER_DEGREE> table = [] {
        std::array<double, 90 * INCLINATION_BINS_PER_DEGREE> t{};
        for (std::size_t j = 0; j < t.size(); ++j) {
            const double upper = static_cast<double>(j + 1) / INCLINATION_BINS_PER_DEGREE * DEG_TO_RAD;
            const double c = std::cos(upper);
            t[j] = std::asin(std::min((1.0 - c) / (1.0 + c), 1.0));
        }
        return t;
    }();
    return table[static_cast<std::size_t>(inclination_deg * INCLINATION_BINS_PER_DEGREE)];
}

// An angle brought into [-pi, pi].
double principal_angle(double a)
{
    return a - TWO_PI * std::round(a / TWO_PI);
}

// A vector of the J2000 equator on the ecliptic of J2000.0, times `scale`.
std::array<double, 3> ecliptic_of(const Vector3& v, double scale)
{
    const Vector3 e = ecliptic_from_equator(v);
    return {e(1) * scale, e(2) * scale, e(3) * scale};
}

}  // namespace

BoundedPosition bounded_geometric_position(const AstorbRecord& record, double t)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    const double m = mean_motion(a) * (t - epoch_mjd(record)) + record.mean_anomaly * DEG_TO_RAD;
    // The residual carries the rounding of M and E.
    const double rounding = 8e-16 * (std::fabs(m) + 1.0);
    double eccentric_anomaly = m + e * std::sin(m);
    double sin_e = 0.0;
    double cos_e = 0.0;
    double anomaly_error = 0.0;
    for (int step = 0; step < KEPLER_MOST_STEPS; ++step) {
        sin_e = std::sin(eccentric_anomaly);
        cos_e = std::cos(eccentric_anomaly);
        const double residual = eccentric_anomaly - e * sin_e - m;
        anomaly_error = (std::fabs(residual) + rounding + 8e-16 * std::fabs(eccentric_anomaly)) / (1.0 - e);
        if (!(anomaly_error > KEPLER_ANOMALY_BOUND)) {
            break;
        }
        eccentric_anomaly -= residual / (1.0 - e * cos_e);
    }

    // In the orbital plane, x towards perihelion.
    const double xw = a * (cos_e - e);
    const double yw = a * std::sqrt(1.0 - e * e) * sin_e;
    const OrbitAxes axes = orbit_axes(record.inclination, record.node, record.perihelion_argument);
    const Vector3 position{{KM_PER_AU * (xw * axes.p(1) + yw * axes.q(1)), KM_PER_AU * (xw * axes.p(2) + yw * axes.q(2)),
                            KM_PER_AU * (xw * axes.p(3) + yw * axes.q(3))}};
    // A relative rounding of 1e-13 covers both evaluations' arithmetic.
    return {position, KM_PER_AU * a * (anomaly_error + 1e-13)};
}

namespace {

// The ratio to the geometric distance of the orbit's path over the light
// time: no speed on the ellipse exceeds the one at perihelion,
// k sqrt((1 + e) / (a (1 - e))) AU per day, and the light time of the
// corrected distance is at most (1 + beta) times that of the geometric
// one, so the path is at most beta (1 + beta) times the geometric distance.
double light_time_path_ratio(const AstorbRecord& record)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    const double speed = GAUSSIAN_CONSTANT * std::sqrt((1.0 + e) / (a * (1.0 - e)));
    const double beta = speed / SPEED_OF_LIGHT_AU_PER_DAY;
    return beta * (1.0 + beta);
}

}  // namespace

double light_time_shift_bound(const AstorbRecord& record)
{
    // The angle is at most asin of the path's ratio to the distance.
    const double k = light_time_path_ratio(record);
    if (!(k < LARGEST_SPEED_RATIO)) {
        return INFINITY;
    }
    return 0.5 * PI * k;  // asin k <= (pi/2) k
}

LongitudeWindow longitude_window(const Vector3& centre, double radius, const Vector3& observer_position)
{
    LongitudeWindow window;
    // Every direction v of the widened cone lies within `widened` of the
    // centre u, and |v - u| <= widened.
    const double widened = radius + WINDOW_SHIFT_ALLOWANCE + ROUNDING_MARGIN;
    if (!(widened < WINDOW_LARGEST_RADIUS)) {
        return window;
    }
    const std::array<double, 3> o = ecliptic_of(observer_position, 1.0 / KM_PER_AU);
    const std::array<double, 3> u = ecliptic_of(centre, 1.0);
    const double o_norm = std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]);
    const double o_along = o[0] * u[0] + o[1] * u[1] + o[2] * u[2];
    if (!(o_norm > 0.5 && o_norm < 2.0)) {
        return window;
    }
    window.first_au = o_norm + WINDOW_FIRST_SHELL_GAP_AU;
    window.step_au = WINDOW_SHELL_AU;
    const auto shells = static_cast<std::size_t>(std::ceil((WINDOW_FARTHEST_AU - window.first_au) / window.step_au));
    // The distance along a line of sight v from the observer to the sphere
    // of radius r > |o|: s = -o.v + sqrt((o.v)^2 + r^2 - |o|^2), which grows
    // with r and falls as o.v grows, at most twice as fast as o.v changes.
    auto along = [&](double r, double o_dot_v) {
        return -o_dot_v + std::sqrt(o_dot_v * o_dot_v + r * r - o_norm * o_norm);
    };
    // The central line of sight's point in the ecliptic plane at each edge.
    std::vector<std::array<double, 2>> edge(shells + 1);
    window.edge_longitude.resize(shells + 1);
    double previous = 0.0;
    for (std::size_t k = 0; k <= shells; ++k) {
        const double s = along(window.first_au + static_cast<double>(k) * window.step_au, o_along);
        edge[k] = {o[0] + s * u[0], o[1] + s * u[1]};
        const double longitude = std::atan2(edge[k][1], edge[k][0]);
        window.edge_longitude[k] = k == 0 ? longitude : window.edge_longitude[k - 1] + principal_angle(longitude - previous);
        previous = longitude;
    }
    // A point X = o + s v of the cone at distance r lies within
    // delta = s widened + 2 |o| widened of the central point P(r) at that
    // distance (s |v - u| plus the change of s with o.v, |o.v - o.u| <=
    // |o| widened). Seen from the ecliptic's axis, a point within delta of a
    // point at least m from the axis differs in longitude by at most
    // asin(delta / m) <= (pi / 2) delta / m. The central points of a shell
    // lie on a segment, whose nearest approach to the axis bounds m.
    window.spread.resize(shells);
    for (std::size_t k = 0; k < shells; ++k) {
        const double s_far = along(window.first_au + static_cast<double>(k + 1) * window.step_au,
                                   o_along - o_norm * widened);
        const double delta = (s_far + 2.0 * o_norm) * widened;
        const double dx = edge[k + 1][0] - edge[k][0];
        const double dy = edge[k + 1][1] - edge[k][1];
        const double length_sq = dx * dx + dy * dy;
        const double f = length_sq > 0.0 ? std::clamp(-(edge[k][0] * dx + edge[k][1] * dy) / length_sq, 0.0, 1.0) : 0.0;
        const double m = std::hypot(edge[k][0] + f * dx, edge[k][1] + f * dy);
        window.spread[k] = delta < 0.5 * m ? 0.5 * PI * delta / m : INFINITY;
    }
    for (std::size_t k = shells; k-- > 1;) {
        window.spread[k - 1] = std::max(window.spread[k - 1], window.spread[k]);
    }
    window.active = std::all_of(window.edge_longitude.begin(), window.edge_longitude.end(),
                                [](double l) { return std::isfinite(l); });
    return window;
}

bool outside_longitude_window(const LongitudeWindow& window, const AstorbRecord& record, double t)
{
    const double a = record.semimajor_axis;
    const double e = record.eccentricity;
    if (!window.active || !(e >= 0.0 && e <= WINDOW_LARGEST_ECCENTRICITY && a > 0.0)) {
        return false;
    }
    // The shells from perihelion to aphelion.
    const double perihelion = a * (1.0 - e);
    const double inner = (perihelion - window.first_au) / window.step_au;
    const double outer = (a * (1.0 + e) - window.first_au) / window.step_au;
    if (!(inner >= 0.0 && outer < static_cast<double>(window.spread.size()))) {
        return false;
    }
    // The speed at perihelion, k^2 (1 + e) / q squared, within the light-time allowance.
    if (!(GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT * (1.0 + e) <= WINDOW_LARGEST_SPEED * WINDOW_LARGEST_SPEED * perihelion)) {
        return false;
    }
    // A retrograde orbit runs backwards in longitude.
    double inclination = record.inclination;
    double sense = 1.0;
    if (inclination > 90.0) {
        inclination = 180.0 - inclination;
        sense = -1.0;
    }
    if (!(inclination >= 0.0 && inclination < WINDOW_LARGEST_INCLINATION_DEG)) {
        return false;
    }
    const auto first = static_cast<std::size_t>(inner);
    const auto last = static_cast<std::size_t>(outer);
    const double from = window.edge_longitude[first];
    const double to = window.edge_longitude[last + 1];
    const double half_width = 0.5 * std::fabs(to - from) + window.spread[first] + centre_equation_bound(e) +
                              ecliptic_reduction_bound(inclination) + WINDOW_MARGIN;
    // Node plus argument of latitude, the argument taken at the mean anomaly.
    const double m = mean_motion(a) * (t - epoch_mjd(record)) + record.mean_anomaly * DEG_TO_RAD;
    const double longitude = record.node * DEG_TO_RAD + sense * (record.perihelion_argument * DEG_TO_RAD + m);
    if (!(half_width < PI) || !(std::fabs(longitude) < WINDOW_LARGEST_LONGITUDE)) {
        return false;
    }
    return std::fabs(principal_angle(longitude - 0.5 * (from + to))) > half_width;
}

FieldPrefilter field_prefilter(const SearchRequest& request, const Vector3& observer_position, bool with_window)
{
    const double radius = square_field_cap_radius(request.half_side_deg);
    const double ra = request.centre_ra_deg * DEG_TO_RAD;
    const double dec = request.centre_dec_deg * DEG_TO_RAD;
    FieldPrefilter prefilter{};
    prefilter.active = std::isfinite(radius) && std::isfinite(ra) && std::isfinite(dec);
    prefilter.utc_mjd = request.utc_mjd;
    prefilter.observer_position = observer_position;
    prefilter.centre = Vector3{{std::cos(ra) * std::cos(dec), std::sin(ra) * std::cos(dec), std::sin(dec)}};
    prefilter.cos_radius = std::cos(radius);
    prefilter.sin_radius = std::sin(radius);
    prefilter.mag_limit = request.mag_limit;
    if (with_window && prefilter.active) {
        prefilter.window = longitude_window(prefilter.centre, radius, observer_position);
    }
    return prefilter;
}

namespace {

// ruled_out_reach_km, or as soon as the place alone rules the record out
// beyond `enough_km`, that reach (the magnitude's is not needed then).
double reach_beyond(const FieldPrefilter& f, const AstorbRecord& record, double enough_km)
{
    if (!f.active || !(record.eccentricity <= LARGEST_ECCENTRICITY)) {
        return 0.0;
    }
    const double k = light_time_path_ratio(record);
    if (!(k < LARGEST_SPEED_RATIO)) {
        return 0.0;
    }
    const BoundedPosition p = bounded_geometric_position(record, f.utc_mjd);
    const Vector3 g{{p.position(1) - f.observer_position(1), p.position(2) - f.observer_position(2),
                     p.position(3) - f.observer_position(3)}};
    const double distance = std::sqrt(dot_product(g, g));
    if (!(distance > NEAREST_DISTANCE_KM)) {
        return 0.0;
    }
    // With a deviation B the light-time corrected place lies within
    // error + B + path of the geometric position g, the path over a light
    // time lengthened by them: x = (error + B) / distance, path <= k (1 + x)
    // distance, taken as k (1 + 2 x) distance for what beta adds to it. So
    // its direction lies within delta = (pi/2) (x + k (1 + 2 x)) of g's
    // (asin y <= (pi/2) y), with room for rounding; and its distances from
    // the Sun and the observer are at least theirs less (x + k (1 + 2 x))
    // distance. The reach is the greatest ratio x with which either test
    // still rules the place out, x below LARGEST_ERROR_RATIO.
    double widest_ratio = 0.0;
    // The place lies outside the cone of the field's radius r about the
    // centre while cos(r + delta) > cos theta (theta the angle of g from the
    // centre) and r + delta is below a right angle; cos(r + delta) >=
    // cos r (1 - delta^2 / 2) - sin r delta, which falls to cos theta (or to
    // nought, when theta is beyond a right angle) at
    // delta = 2 (cos r - cos theta) / (sin r + sqrt(sin^2 r + 2 cos r (cos r - cos theta))).
    const double cos_theta = std::fmax(dot_product(g, f.centre) / distance, 0.0);
    const double c = f.cos_radius;
    const double sr = f.sin_radius;
    if (c > 0.0 && c > cos_theta) {
        const double fall = c - cos_theta;
        const double delta = 2.0 * fall / (sr + std::sqrt(sr * sr + 2.0 * c * fall));
        widest_ratio = ((delta - 2.0 * ROUNDING_MARGIN) / (0.5 * PI) - k) / (1.0 + 2.0 * k);
    }
    const auto reach_of = [&](double ratio) {
        return std::fmax(0.0, (std::fmin(ratio, LARGEST_ERROR_RATIO) * distance - p.error_km) * (1.0 - 1e-9));
    };
    if (reach_of(widest_ratio) > enough_km) {
        return reach_of(widest_ratio);
    }
    // The place is too faint while H + 5 log10(r Delta) stays above the
    // limit: V = H + 5 log10(r Delta) - 2.5 log10(phi), with
    // phi = (1 - G) Phi1 + G Phi2 <= 1 for 0 <= G <= 1 (both phase
    // functions are at most 1). Where the phase terms are dropped (a phase
    // angle above 173 deg) V = H, yet there r Delta < R^2 / 3.98 < 1 for an
    // observer within 1.03 AU of the Sun, so the bound holds too. The
    // distances less rho keep r Delta above 10^((limit - H) / 5) while
    // (R - rho) (Delta - rho) does, up to the smaller root rho.
    if (std::isfinite(f.mag_limit) && record.g >= 0.0 && record.g <= 1.0 && std::isfinite(record.h)) {
        const double sun_au = std::sqrt(dot_product(p.position, p.position)) / KM_PER_AU;
        const double distance_au = distance / KM_PER_AU;
        const double product = std::pow(10.0, 0.2 * (f.mag_limit + MAGNITUDE_MARGIN - record.h)) * (1.0 + 1e-8);
        const double sum = sun_au + distance_au;
        const double discriminant = sum * sum - 4.0 * (sun_au * distance_au - product);
        if (sun_au * distance_au > product && discriminant >= 0.0) {
            const double rho = 2.0 * (sun_au * distance_au - product) / (sum + std::sqrt(discriminant));
            widest_ratio = std::fmax(widest_ratio, (rho / distance_au * (1.0 - 1e-8) - k) / (1.0 + 2.0 * k));
        }
    }
    return reach_of(widest_ratio);
}

}  // namespace

double ruled_out_reach_km(const FieldPrefilter& f, const AstorbRecord& record)
{
    return reach_beyond(f, record, INFINITY);
}

bool may_be_in_field(const FieldPrefilter& f, const AstorbRecord& record, double deviation_km)
{
    if (!f.active || !(record.eccentricity <= LARGEST_ECCENTRICITY) || !(deviation_km < INFINITY)) {
        return true;
    }
    if (deviation_km == 0.0 && outside_longitude_window(f.window, record, f.utc_mjd)) {
        return false;
    }
    return !(deviation_km < reach_beyond(f, record, deviation_km));
}

bool may_be_in_field(const FieldPrefilter& prefilter, const OrbitRecord& record, double deviation_km)
{
    const AstorbRecord* asteroid = std::get_if<AstorbRecord>(&record);
    return asteroid == nullptr || may_be_in_field(prefilter, *asteroid, deviation_km);
}

}  // namespace fieldsearch
