// Writes a sample satellite catalogue for `satfield`: element sets in the
// two-line element format, each preceded by a name line, with realistic
// orbits and epochs a few days before the compiled-in instant, and a few
// satellites placed in the compiled-in field. Deterministic: the same
// arguments always give the same file.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "angles.hpp"
#include "precession_nutation.hpp"
#include "satellite_evaluation.hpp"
#include "satellite_search.hpp"
#include "time_scales.hpp"
#include "tle_record.hpp"
#include "vinti.hpp"

using namespace fieldsearch;

namespace {

constexpr const char* USAGE =
    "usage: make_tle_sample OUTPUT [COUNT]\n"
    "\n"
    "Writes COUNT element sets (default 400) to OUTPUT: a name line and the\n"
    "two lines of the two-line element format each, with checksums. Orbits are\n"
    "drawn from a fixed pseudo-random sequence: low orbits of every inclination,\n"
    "sun-synchronous, navigation, geostationary (one at inclination 0),\n"
    "Molniya-type and transfer orbits; epochs lie up to four days before\n"
    "2008 May 20, 20:54 UTC, the instant of satfield's compiled-in scenario.\n"
    "\n"
    "Eight of the sets (fewer when COUNT is below 8) are placed in satfield's\n"
    "compiled-in field: for each, a direction inside the field is chosen and\n"
    "the point on that line of sight at the orbit's radius is taken as the\n"
    "target; the node and the mean anomaly at epoch are then corrected\n"
    "repeatedly from the program's own orbit theory and frames (the place at\n"
    "the instant compared with the target) until the satellite lies on the\n"
    "line of sight, and the written set is checked with the program's\n"
    "evaluation.\n";

constexpr double MU = 398600.448;           // km^3/s^2
constexpr double EARTH_RADIUS = 6378.137;   // km
constexpr double SECONDS_PER_DAY = 86400.0;
// The compiled-in instant, 2008 May 20, 20:54 UTC, as a day of 2008 (1.0 = January 1, 0 h).
constexpr double INSTANT_DAY_OF_YEAR = 141.0 + 20.9 / 24.0;
constexpr int PLACED_SETS = 8;

// A small deterministic generator (64-bit xorshift with a multiplier).
struct Random {
    std::uint64_t state;
};

double uniform(Random& r, double low, double high)
{
    r.state ^= r.state >> 12;
    r.state ^= r.state << 25;
    r.state ^= r.state >> 27;
    const std::uint64_t x = r.state * 2685821657736338717ULL;
    return low + (high - low) * (static_cast<double>(x >> 11) * (1.0 / 9007199254740992.0));
}

int uniform_int(Random& r, int low, int high)
{
    return low + static_cast<int>(uniform(r, 0.0, 1.0) * (high - low + 1));
}

// Mean motion (rev/day) of a Keplerian orbit of semi-major axis a (km).
double mean_motion_rev_per_day(double a)
{
    return std::sqrt(MU / (a * a * a)) * SECONDS_PER_DAY / TWO_PI;
}

// The elements and labels of one set, angles in degrees.
struct SampleSet {
    std::string name;
    int catalogue_number;
    int launch_year;
    int launch_number;
    char piece;
    double epoch_day;  // day of 2008
    double ndot2;      // rev/day^2
    double bstar;      // 1/earth radii, for the drag-term field only
    double incl;
    double node;
    double ecc;
    double omega;
    double mean_anom;
    double n;
    int element_number;
    int revolution;
};

enum class OrbitClass { low, sun_synchronous, navigation, geostationary, molniya, transfer };

OrbitClass orbit_class(Random& r)
{
    const double x = uniform(r, 0.0, 1.0);
    if (x < 0.55) {
        return OrbitClass::low;
    }
    if (x < 0.65) {
        return OrbitClass::sun_synchronous;
    }
    if (x < 0.76) {
        return OrbitClass::navigation;
    }
    if (x < 0.89) {
        return OrbitClass::geostationary;
    }
    if (x < 0.95) {
        return OrbitClass::molniya;
    }
    return OrbitClass::transfer;
}

const char* const LOW_NAMES[] = {"LEO SAT", "OBSERVER", "TECHSAT", "DEB", "R/B", "SCIENCE PROBE", "OCEAN MAPPER",
                                 "ATMOSPHERIC SOUNDING SAT", "CUBESAT"};

// Orbit elements of a class, drawn from the sequence; name and designator too.
SampleSet drawn_set(Random& r, OrbitClass kind)
{
    SampleSet s{};
    s.launch_year = uniform_int(r, 0, 28) + 80;  // 1980 .. 2008
    if (s.launch_year >= 100) {
        s.launch_year -= 100;
    }
    s.launch_number = uniform_int(r, 1, 120);
    s.piece = static_cast<char>('A' + uniform_int(r, 0, 5));
    s.epoch_day = INSTANT_DAY_OF_YEAR - uniform(r, 0.05, 4.0);
    s.node = uniform(r, 0.0, 360.0);
    s.omega = uniform(r, 0.0, 360.0);
    s.mean_anom = uniform(r, 0.0, 360.0);
    s.element_number = uniform_int(r, 1, 999);
    s.revolution = uniform_int(r, 100, 99999);
    char label[64] = "";
    switch (kind) {
    case OrbitClass::low: {
        const double altitude = uniform(r, 300.0, 1500.0);
        s.incl = uniform(r, 0.0, 180.0);
        s.ecc = uniform(r, 0.0001, 0.02);
        s.n = mean_motion_rev_per_day(EARTH_RADIUS + altitude);
        s.ndot2 = uniform(r, 0.2, 1.0) * 2e-4 * std::exp(-(altitude - 300.0) / 120.0);
        std::snprintf(label, sizeof label, "%s %d", LOW_NAMES[uniform_int(r, 0, 8)], uniform_int(r, 1, 2999));
        break;
    }
    case OrbitClass::sun_synchronous: {
        const double altitude = uniform(r, 600.0, 900.0);
        const double a = EARTH_RADIUS + altitude;
        // Nodal precession of 360 deg a year: cos i = -0.09892 (a / 6378)^3.5, to first order in J2.
        s.incl = std::acos(-0.098916 * std::pow(a / EARTH_RADIUS, 3.5)) * RAD_TO_DEG;
        s.ecc = uniform(r, 0.0001, 0.002);
        s.n = mean_motion_rev_per_day(a);
        s.ndot2 = uniform(r, 0.0, 4e-6);
        std::snprintf(label, sizeof label, "SUN-SYNCHRONOUS IMAGER %d", uniform_int(r, 1, 99));
        break;
    }
    case OrbitClass::navigation:
        s.incl = uniform(r, 0.0, 1.0) < 0.6 ? uniform(r, 54.5, 56.5) : uniform(r, 64.0, 65.5);
        s.ecc = uniform(r, 0.0005, 0.015);
        s.n = uniform(r, 2.0050, 2.0060);
        s.ndot2 = uniform(r, -4e-7, 4e-7);
        std::snprintf(label, sizeof label, "NAVSAT %02d", uniform_int(r, 1, 60));
        break;
    case OrbitClass::geostationary:
        s.incl = uniform(r, 0.0, 1.0) < 0.5 ? uniform(r, 0.0, 0.1) : uniform(r, 0.1, 12.0);
        s.ecc = uniform(r, 0.0001, 0.0008);
        s.n = uniform(r, 1.0025, 1.0029);
        s.ndot2 = uniform(r, -3e-7, 3e-7);
        std::snprintf(label, sizeof label, "GEOCOM %d", uniform_int(r, 1, 200));
        break;
    case OrbitClass::molniya:
        s.incl = uniform(r, 62.8, 64.5);
        s.ecc = uniform(r, 0.68, 0.74);
        s.omega = uniform(r, 250.0, 290.0);
        s.n = uniform(r, 2.005, 2.008);
        s.ndot2 = uniform(r, -2e-6, 2e-6);
        std::snprintf(label, sizeof label, "HIGHLY ELLIPTIC RELAY %d", uniform_int(r, 1, 99));
        break;
    case OrbitClass::transfer: {
        s.incl = uniform(r, 6.0, 28.5);
        const double perigee = EARTH_RADIUS + uniform(r, 250.0, 650.0);
        const double apogee = uniform(r, 35800.0, 36200.0) + EARTH_RADIUS;
        const double a = 0.5 * (perigee + apogee);
        s.ecc = (apogee - perigee) / (apogee + perigee);
        s.n = mean_motion_rev_per_day(a);
        s.ndot2 = uniform(r, 0.0, 3e-5);
        std::snprintf(label, sizeof label, "TRANSFER R/B %d", uniform_int(r, 1, 99));
        break;
    }
    }
    s.name = label;
    s.bstar = s.ndot2 * uniform(r, 0.5, 1.5);
    return s;
}

// Checksum of one element line: digits count their value, '-' counts 1, modulo 10.
int tle_checksum(const std::string& line)
{
    int sum = 0;
    for (const char ch : line) {
        if (ch >= '0' && ch <= '9') {
            sum += ch - '0';
        } else if (ch == '-') {
            sum += 1;
        }
    }
    return sum % 10;
}

// A value in the element format's exponential field: sign, five mantissa
// digits with an assumed leading decimal point, and a one-digit exponent.
std::string exponent_field(double value)
{
    if (value == 0.0) {
        return " 00000-0";
    }
    int exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
    long mantissa = std::lround(std::fabs(value) * std::pow(10.0, 5 - exponent));
    if (mantissa >= 100000) {
        mantissa /= 10;
        exponent += 1;
    }
    char field[32];
    std::snprintf(field, sizeof field, "%c%05ld%c%d", value < 0.0 ? '-' : ' ', mantissa, exponent < 0 ? '-' : '+',
                  std::abs(exponent) % 10);
    return field;
}

// Half the first derivative of the mean motion as the format prints it:
// sign and eight decimals with the leading zero left out.
std::string first_derivative_field(double ndot2)
{
    char field[32];
    std::snprintf(field, sizeof field, "%c.%08ld", ndot2 < 0.0 ? '-' : ' ', std::lround(std::fabs(ndot2) * 1e8));
    return field;
}

double reduced_degrees(double angle)
{
    double x = std::fmod(angle, 360.0);
    if (x < 0.0) {
        x += 360.0;
    }
    return x >= 359.99995 ? 0.0 : x;
}

// The name line and the two element lines of a set, each with its line feed.
std::string tle_text(const SampleSet& s)
{
    char designator[8];
    std::snprintf(designator, sizeof designator, "%02d%03d%c", s.launch_year, s.launch_number, s.piece);
    char line1[80];
    std::snprintf(line1, sizeof line1, "1 %05dU %-8s 08%012.8f %s %s %s 0 %4d", s.catalogue_number, designator,
                  s.epoch_day, first_derivative_field(s.ndot2).c_str(), exponent_field(0.0).c_str(),
                  exponent_field(s.bstar).c_str(), s.element_number);
    const long ecc_digits = std::lround(s.ecc * 1e7);
    char line2[80];
    std::snprintf(line2, sizeof line2, "2 %05d %8.4f %8.4f %07ld %8.4f %8.4f %11.8f%5d", s.catalogue_number, s.incl,
                  reduced_degrees(s.node), ecc_digits, reduced_degrees(s.omega), reduced_degrees(s.mean_anom), s.n,
                  s.revolution);
    const std::string first = line1;
    const std::string second = line2;
    return s.name + "\n" + first + std::to_string(tle_checksum(first)) + "\n" + second +
           std::to_string(tle_checksum(second)) + "\n";
}

// The set as satfield reads it back.
TleRecord parsed(const SampleSet& s)
{
    const std::string text = tle_text(s);
    const std::size_t end0 = text.find('\n');
    const std::size_t end1 = text.find('\n', end0 + 1);
    const std::size_t end2 = text.find('\n', end1 + 1);
    return parse_tle_record(std::string_view(text).substr(0, end0),
                            std::string_view(text).substr(end0 + 1, end1 - end0 - 1),
                            std::string_view(text).substr(end1 + 1, end2 - end1 - 1));
}

// Node and argument of latitude (radians) of a circular orbit of inclination
// incl (radians) through the point p, on the ascending or descending branch.
// False when the point's declination exceeds what the inclination reaches.
bool node_and_latitude_argument(const Vector3& p, double incl, bool ascending, double& node, double& u)
{
    const SphericalCoordinates s = spherical_from_vector(p);
    const double sin_u = std::sin(s.dec_deg * DEG_TO_RAD) / std::sin(incl);
    if (!(std::fabs(sin_u) <= 1.0)) {
        return false;
    }
    u = ascending ? std::asin(sin_u) : PI - std::asin(sin_u);
    node = s.ra_deg * DEG_TO_RAD - std::atan2(std::cos(incl) * std::sin(u), std::cos(u));
    return true;
}

// Mean anomaly (radians) of the true anomaly f on an orbit of eccentricity e.
double mean_anomaly_from_true(double f, double e)
{
    const double E = 2.0 * std::atan(std::sqrt((1.0 - e) / (1.0 + e)) * std::tan(0.5 * f));
    return E - e * std::sin(E);
}

double wrapped_radians(double x)
{
    return x - TWO_PI * std::floor((x + PI) / TWO_PI);
}

// Corrects the node and mean anomaly at epoch of `s` until its place at the
// search instant, by the program's theory, lies on the line of sight
// (ra_deg, dec_deg) from the observer. False when the orbit cannot reach it.
bool placed_on_line_of_sight(SampleSet& s, double ra_deg, double dec_deg, bool ascending,
                             const SatelliteSearchGeometry& g)
{
    const ObservationInstant& at = g.at;
    const Matrix3 j2000_to_true = precession_nutation_matrix(at.utc_mjd);
    Vector3 sight;
    sight(1) = std::cos(dec_deg * DEG_TO_RAD) * std::cos(ra_deg * DEG_TO_RAD);
    sight(2) = std::cos(dec_deg * DEG_TO_RAD) * std::sin(ra_deg * DEG_TO_RAD);
    sight(3) = std::sin(dec_deg * DEG_TO_RAD);
    const double incl = s.incl * DEG_TO_RAD;
    const double epoch = mjd_from_calendar(1, 1, 8, 0, 0, 0.0) + (s.epoch_day - 1.0);
    for (int pass = 0; pass < 60; ++pass) {
        const VintiOrbit orbit = vinti_init(s.incl, s.ecc, s.n);
        const Vector3 actual = vinti_position(orbit, epoch, s.omega, s.node, s.mean_anom, s.ndot2, at.utc_mjd);
        // The point of the line of sight at the satellite's present distance from the geocentre.
        const double r = std::sqrt(dot_product(actual, actual));
        const double ou = dot_product(at.observer_j2000, sight);
        const double range = -ou + std::sqrt(ou * ou - dot_product(at.observer_j2000, at.observer_j2000) + r * r);
        Vector3 target_j2000;
        for (int i = 1; i <= 3; ++i) {
            target_j2000(i) = at.observer_j2000(i) + range * sight(i);
        }
        const Vector3 target = matrix_vector_product(j2000_to_true, target_j2000);
        double node_target = 0.0;
        double u_target = 0.0;
        double node_actual = 0.0;
        double u_actual = 0.0;
        if (!node_and_latitude_argument(target, incl, ascending, node_target, u_target) ||
            !node_and_latitude_argument(actual, incl, ascending, node_actual, u_actual)) {
            return false;
        }
        const double dd = at.utc_mjd - epoch;
        const double omega_now = s.omega * DEG_TO_RAD + orbit.perigee_rate * dd * SECONDS_PER_DAY;
        const double node_step = wrapped_radians(node_target - node_actual);
        const double mean_step = wrapped_radians(mean_anomaly_from_true(u_target - omega_now, s.ecc) -
                                                 mean_anomaly_from_true(u_actual - omega_now, s.ecc));
        s.node = reduced_degrees(s.node + node_step * RAD_TO_DEG);
        s.mean_anom = reduced_degrees(s.mean_anom + mean_step * RAD_TO_DEG);
        if (std::fabs(node_step) + std::fabs(mean_step) < 1e-9) {
            return true;
        }
    }
    return false;
}

// One of the sets placed in the compiled-in field: a low, sun-synchronous,
// navigation or Molniya-type orbit on a line of sight inside the field.
SampleSet placed_set(Random& r, int which, const SatelliteSearchGeometry& g)
{
    // Inclinations that reach the field's line of sight from the observer.
    constexpr OrbitClass KINDS[PLACED_SETS] = {OrbitClass::low, OrbitClass::sun_synchronous, OrbitClass::navigation,
                                               OrbitClass::low, OrbitClass::molniya, OrbitClass::low,
                                               OrbitClass::sun_synchronous, OrbitClass::navigation};
    constexpr double LOW_INCLINATIONS[PLACED_SETS] = {51.64, 0.0, 0.0, 82.5, 0.0, 65.0, 0.0, 0.0};
    for (;;) {
        SampleSet s = drawn_set(r, KINDS[which]);
        if (KINDS[which] == OrbitClass::low) {
            s.incl = LOW_INCLINATIONS[which];
        }
        const double dx = uniform(r, -2.0, 2.0);
        const double dy = uniform(r, -2.0, 2.0);
        const double dec = g.centre_dec_deg + dy;
        const double ra = g.centre_ra_deg + dx / std::cos(dec * DEG_TO_RAD);
        if (placed_on_line_of_sight(s, ra, dec, which % 2 == 0, g) &&
            evaluate_satellite(parsed(s), g).outcome == SatelliteOutcome::in_field) {
            return s;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const long count = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 400;
    if (count < 1) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const SatelliteSearchGeometry geometry = satellite_search_geometry(satellite_scenario_request());
    Random random{0x5eed2008052020ULL};
    const int placed = count < PLACED_SETS ? static_cast<int>(count) : PLACED_SETS;
    int next_placed = 0;
    bool zero_inclination_written = false;
    for (long i = 0; i < count; ++i) {
        SampleSet s;
        if (next_placed < placed && i == next_placed * count / placed + count / (2 * placed)) {
            s = placed_set(random, next_placed, geometry);
            ++next_placed;
        } else {
            const OrbitClass kind = orbit_class(random);
            s = drawn_set(random, kind);
            if (kind == OrbitClass::geostationary && !zero_inclination_written) {
                s.incl = 0.0;
                zero_inclination_written = true;
            }
        }
        s.catalogue_number = 10000 + static_cast<int>((i * 7919) % 89989);
        std::fputs(tle_text(s).c_str(), out);
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
