// Writes a sample asteroid orbit catalogue: records of 267 characters plus a
// line feed, in the fixed-column layout of the published catalogue, with
// realistic orbits of the main belt, the Hungarias, the Hildas, the Jupiter
// Trojans, Mars crossers and near-Earth objects. A handful of records are
// placed so that the compiled-in search of `astfield` finds them.
//
// Usage: make_astorb_sample OUTPUT [COUNT]
//
// The output is the same on every run: the random numbers come from a fixed
// seed and a generator of our own. Records are written one by one as they
// are made, so COUNT may run to millions.

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "formatted_text.hpp"
#include "angles.hpp"
#include "asteroid_evaluation.hpp"
#include "asteroid_search.hpp"
#include "astorb_record.hpp"
#include "hg_magnitude.hpp"
#include "light_time.hpp"
#include "orbit_through_point.hpp"
#include "square_field.hpp"
#include "time_scales.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

constexpr const char* USAGE =
    "usage: make_astorb_sample OUTPUT [COUNT]\n"
    "\n"
    "Writes COUNT (default 2000) asteroid orbit records of 267 characters plus a\n"
    "line feed to OUTPUT, in the column layout of the published orbit catalogue,\n"
    "epoch of osculation 2008 May 14. Orbits are drawn at random from fixed\n"
    "seeds (main belt, Hungarias, Hildas, Jupiter Trojans, Mars crossers and\n"
    "near-Earth objects); the same arguments always give the same bytes.\n"
    "\n"
    "Some records are placed in the compiled-in field of astfield (2008 May 20\n"
    "05:14 UTC, centre R.A. 0h00m10s Decl. +0d30', half side 1 deg, V <= 20.0).\n"
    "For each the generator takes a target place as gnomonic offsets from the\n"
    "field centre, turns it into a direction, and finds on that line of sight\n"
    "the point at a chosen distance from the Sun, seen from astfield's own\n"
    "observer position (solar series and Earth rotation). It then picks the\n"
    "orbit plane through that point (node and argument of latitude for the\n"
    "chosen inclination), the true anomaly that gives the distance for the\n"
    "chosen a and e, and solves back through Kepler's equation for the mean\n"
    "anomaly at the epoch, allowing for the light time. H is set so that the\n"
    "H-G magnitude takes the chosen value. Each placed record is then read\n"
    "back and evaluated as astfield evaluates it, and the generator stops if\n"
    "it is not listed (or, for the faint ones, listed) as intended.\n";

constexpr int RECORD_LENGTH = 267;
constexpr int DEFAULT_COUNT = 2000;

// ---------------------------------------------------------------------------
// Random numbers: SplitMix64, fixed seed, uniform doubles from integer bits
// alone, so that the draws never depend on a library's distributions.

struct Random {
    std::uint64_t state;
};

std::uint64_t next_bits(Random& random)
{
    random.state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = random.state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Uniform in [0, 1).
double uniform(Random& random)
{
    return static_cast<double>(next_bits(random) >> 11) * 0x1.0p-53;
}

double uniform(Random& random, double low, double high)
{
    return low + (high - low) * uniform(random);
}

// Uniform integer in [low, high].
int uniform_int(Random& random, int low, int high)
{
    const auto span = static_cast<std::uint64_t>(high - low + 1);
    return low + static_cast<int>(next_bits(random) % span);
}

// Roughly normal (sum of four uniforms), mean 0, standard deviation 1.
double roughly_normal(Random& random)
{
    return (uniform(random) + uniform(random) + uniform(random) + uniform(random) - 2.0) * 1.7320508075688772;
}

// ---------------------------------------------------------------------------
// The record text.

// Writes `text` into columns first..last (1-based) of the record, right
// aligned; stops the program if it does not fit, as a wrong layout must
// never be written.
void put(std::string& record, int first, int last, const std::string& text, bool left_aligned = false)
{
    const auto width = static_cast<std::size_t>(last - first + 1);
    if (text.size() > width) {
        std::fprintf(stderr, "make_astorb_sample: '%s' does not fit columns %d-%d\n", text.c_str(), first, last);
        std::exit(EXIT_FAILURE);
    }
    const std::size_t pad = width - text.size();
    record.replace(static_cast<std::size_t>(first - 1) + (left_aligned ? 0 : pad), text.size(), text);
}

std::string fixed(int width, int decimals, double value)
{
    return formatted("%*.*f", width, decimals, value);
}

std::string integer(int width, long value)
{
    return formatted("%*ld", width, value);
}

std::string date_text(int year, int month, int day)
{
    return formatted("%04d%02d%02d", year, month, day);
}

// Days since 2000 January 1 (approximate months) to a calendar date, for the
// uncertainty dates: the day is kept within 1..28.
std::string date_after(int year, int month, int day, int days)
{
    int total = (year * 12 + (month - 1)) * 28 + (day - 1) + days;
    const int y = total / (12 * 28);
    total -= y * 12 * 28;
    const int m = total / 28 + 1;
    const int d = total % 28 + 1;
    return date_text(y, m, d);
}

// The orbit part of a record, the part the search reads.
struct Orbit {
    double h;
    double g;
    int epoch_year;
    int epoch_month;
    int epoch_day;
    double mean_anomaly;
    double perihelion_argument;
    double node;
    double inclination;
    double eccentricity;
    double semimajor_axis;
};

// The bookkeeping part of a record, which the search does not read.
struct RecordNotes {
    std::string orbit_computer;
    int computed_day;             // of the orbit computation, 2008 May
    std::string colour_index;     // B-V or blank
    std::string iras_diameter;    // km or blank
    std::string iras_class;       // or blank
    int codes[6];
    int arc_days;
    int observations;
    double current_uncertainty;   // arcsec
    double uncertainty_rate;      // arcsec/day
    double next_peak;             // arcsec
    int next_peak_days;
    double greatest_peak;
    int greatest_peak_days;
    double greatest_later_peak;
    int greatest_later_peak_days;
};

double degrees_in_circle(double angle)
{
    double a = std::fmod(angle, 360.0);
    if (a < 0.0) {
        a += 360.0;
    }
    // Printed with six decimals: keep 359.9999996 from showing as 360.000000.
    if (a >= 359.9999995) {
        a = 0.0;
    }
    return a;
}

std::string record_text(const std::string& number, const std::string& name, const Orbit& o, const RecordNotes& n)
{
    std::string record(RECORD_LENGTH, ' ');
    put(record, 1, 6, number);
    put(record, 8, 25, name, true);
    put(record, 27, 41, n.orbit_computer, true);
    put(record, 43, 47, fixed(5, 2, o.h));
    put(record, 49, 53, fixed(5, 2, o.g));
    put(record, 55, 58, n.colour_index);
    put(record, 60, 64, n.iras_diameter);
    put(record, 66, 69, n.iras_class, true);
    for (int k = 0; k < 6; ++k) {
        put(record, 71 + 4 * k, 74 + 4 * k, integer(4, n.codes[k]));
    }
    put(record, 96, 100, integer(5, n.arc_days));
    put(record, 101, 105, integer(5, n.observations));
    put(record, 107, 114, date_text(o.epoch_year, o.epoch_month, o.epoch_day));
    put(record, 116, 125, fixed(10, 6, degrees_in_circle(o.mean_anomaly)));
    put(record, 127, 136, fixed(10, 6, degrees_in_circle(o.perihelion_argument)));
    put(record, 138, 147, fixed(10, 6, degrees_in_circle(o.node)));
    put(record, 149, 157, fixed(9, 6, o.inclination));
    put(record, 159, 168, fixed(10, 8, o.eccentricity));
    put(record, 170, 181, fixed(12, 8, o.semimajor_axis));
    put(record, 183, 190, date_text(2008, 5, n.computed_day));
    put(record, 192, 198, fixed(7, 2, n.current_uncertainty));
    put(record, 200, 207, fixed(8, 2, n.uncertainty_rate));
    put(record, 209, 216, date_text(2008, 5, 20));
    put(record, 218, 224, fixed(7, 2, n.next_peak));
    put(record, 226, 233, date_after(2008, 5, 20, n.next_peak_days));
    put(record, 235, 241, fixed(7, 2, n.greatest_peak));
    put(record, 243, 250, date_after(2008, 5, 20, n.greatest_peak_days));
    put(record, 252, 258, fixed(7, 2, n.greatest_later_peak));
    put(record, 260, 267, date_after(2008, 5, 20, n.next_peak_days + n.greatest_later_peak_days));
    return record;
}

// ---------------------------------------------------------------------------
// Designations: numbered asteroids first, in increasing order, then the
// unnumbered ones by provisional designation.

constexpr const char* HALF_MONTH_LETTERS = "ABCDEFGHJKLMNOPQRSTUVWXY";  // no I
constexpr const char* ORDER_LETTERS = "ABCDEFGHJKLMNOPQRSTUVWXYZ";      // no I
constexpr int FIRST_DESIGNATION_YEAR = 1995;
constexpr int LAST_DESIGNATION_YEAR = 2008;
constexpr int LAST_HALF_MONTH_2008 = 9;  // J: 2008 May 1-15

// Position in the sequence of provisional designations, ordered by year,
// half-month, cycle and letter.
struct DesignationCursor {
    int year = FIRST_DESIGNATION_YEAR;
    int half_month = 0;
    int cycle = 0;
    int letter = 0;
    int cycles_per_half_month = 30;
    long mean_step = 1;
};

void advance(DesignationCursor& c, int steps)
{
    for (int k = 0; k < steps; ++k) {
        if (++c.letter < 25) {
            continue;
        }
        c.letter = 0;
        if (++c.cycle < c.cycles_per_half_month) {
            continue;
        }
        c.cycle = 0;
        const int last_half_month = c.year == LAST_DESIGNATION_YEAR ? LAST_HALF_MONTH_2008 : 23;
        if (++c.half_month <= last_half_month) {
            continue;
        }
        c.half_month = 0;
        if (++c.year > LAST_DESIGNATION_YEAR) {
            std::fputs("make_astorb_sample: ran out of provisional designations\n", stderr);
            std::exit(EXIT_FAILURE);
        }
    }
}

std::string provisional_designation(const DesignationCursor& c)
{
    std::string text = formatted("%d %c%c", c.year, HALF_MONTH_LETTERS[c.half_month], ORDER_LETTERS[c.letter]);
    if (c.cycle > 0) {
        text += formatted("%d", c.cycle);
    }
    return text;
}

// A random pronounceable name of two or three syllables.
std::string invented_name(Random& random)
{
    static const char* const ONSETS[] = {"b", "d", "f", "g", "h", "k", "l", "m", "n", "p", "r",
                                         "s", "t", "v", "z", "br", "tr", "st", "gl", "th"};
    static const char* const VOWELS[] = {"a", "e", "i", "o", "u", "ia", "ea", "ou", "y"};
    static const char* const CODAS[] = {"", "", "", "n", "r", "s", "l", "x", "th"};
    std::string name;
    const int syllables = uniform_int(random, 2, 3);
    for (int k = 0; k < syllables; ++k) {
        name += ONSETS[uniform_int(random, 0, 19)];
        name += VOWELS[uniform_int(random, 0, 8)];
    }
    name += CODAS[uniform_int(random, 0, 8)];
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

// ---------------------------------------------------------------------------
// Random orbits of the main populations.

constexpr int EPOCH_YEAR = 2008;
constexpr int EPOCH_MONTH = 5;
constexpr int EPOCH_DAY = 14;
// Heliocentric ecliptic longitude of Jupiter at the epoch, degrees; the
// Trojan clouds lead and trail it by 60 degrees.
constexpr double JUPITER_LONGITUDE_DEG = 283.0;

enum OrbitClass { MAIN_BELT, HUNGARIA, HILDA, TROJAN, MARS_CROSSER, NEAR_EARTH };

OrbitClass random_orbit_class(Random& random)
{
    const double u = uniform(random);
    if (u < 0.03) {
        return NEAR_EARTH;
    }
    if (u < 0.06) {
        return MARS_CROSSER;
    }
    if (u < 0.09) {
        return HUNGARIA;
    }
    if (u < 0.10) {
        return HILDA;
    }
    if (u < 0.14) {
        return TROJAN;
    }
    return MAIN_BELT;
}

// Semimajor axis of the main belt, avoiding the Kirkwood gaps.
double main_belt_axis(Random& random)
{
    for (;;) {
        const double a = uniform(random, 2.1, 3.3);
        const bool in_gap = (a > 2.49 && a < 2.52) || (a > 2.81 && a < 2.84) || (a > 2.95 && a < 2.97);
        if (!in_gap) {
            return a;
        }
    }
}

// Absolute magnitude: numbered asteroids grow fainter with their number.
double random_absolute_magnitude(Random& random, OrbitClass orbit_class, long number)
{
    if (orbit_class == NEAR_EARTH) {
        return uniform(random, number > 0 ? 14.0 : 16.5, number > 0 ? 21.0 : 24.5);
    }
    double h = number > 0 ? 3.0 + 2.5 * std::log10(static_cast<double>(number)) + 0.8 * roughly_normal(random)
                          : uniform(random, 14.5, 19.0);
    if (orbit_class == TROJAN) {
        h -= 2.5;
    }
    return std::fmin(std::fmax(h, 3.0), 19.5);
}

Orbit random_orbit(Random& random, OrbitClass orbit_class, long number)
{
    Orbit o{};
    o.h = random_absolute_magnitude(random, orbit_class, number);
    o.g = uniform(random) < 0.8 ? 0.15 : uniform(random, 0.05, 0.40);
    o.epoch_year = EPOCH_YEAR;
    o.epoch_month = EPOCH_MONTH;
    o.epoch_day = EPOCH_DAY;
    if (number == 0 && uniform(random) < 0.005) {
        // A lost object whose orbit was last fitted years ago.
        o.epoch_year = uniform_int(random, 2003, 2007);
        o.epoch_month = uniform_int(random, 1, 12);
        o.epoch_day = uniform_int(random, 1, 28);
    }
    o.node = uniform(random, 0.0, 360.0);
    o.perihelion_argument = uniform(random, 0.0, 360.0);
    o.mean_anomaly = uniform(random, 0.0, 360.0);
    switch (orbit_class) {
    case MAIN_BELT:
        o.semimajor_axis = main_belt_axis(random);
        o.eccentricity = std::fmin(0.02 + 0.07 * std::fabs(roughly_normal(random)), 0.35);
        o.inclination = std::fmin(7.0 * std::fabs(roughly_normal(random)), 35.0);
        break;
    case HUNGARIA:
        o.semimajor_axis = uniform(random, 1.78, 2.0);
        o.eccentricity = uniform(random, 0.03, 0.18);
        o.inclination = uniform(random, 16.0, 34.0);
        break;
    case HILDA:
        o.semimajor_axis = uniform(random, 3.92, 4.02);
        o.eccentricity = uniform(random, 0.07, 0.30);
        o.inclination = uniform(random, 0.0, 18.0);
        break;
    case TROJAN: {
        o.semimajor_axis = uniform(random, 5.10, 5.30);
        o.eccentricity = uniform(random, 0.02, 0.15);
        o.inclination = std::fmin(12.0 * std::fabs(roughly_normal(random)), 40.0);
        const double cloud = uniform(random) < 0.6 ? 60.0 : -60.0;
        const double mean_longitude = JUPITER_LONGITUDE_DEG + cloud + 15.0 * roughly_normal(random);
        o.mean_anomaly = mean_longitude - o.node - o.perihelion_argument;
        break;
    }
    case MARS_CROSSER: {
        o.semimajor_axis = uniform(random, 1.7, 2.6);
        const double q = uniform(random, 1.3, std::fmin(1.66, o.semimajor_axis - 0.05));
        o.eccentricity = 1.0 - q / o.semimajor_axis;
        o.inclination = uniform(random, 0.0, 30.0);
        break;
    }
    case NEAR_EARTH: {
        const double kind = uniform(random);
        if (kind < 0.4) {  // perihelion just outside the Earth's orbit
            o.semimajor_axis = uniform(random, 1.1, 3.0);
            const double q = uniform(random, 1.017, std::fmin(1.3, o.semimajor_axis - 0.02));
            o.eccentricity = 1.0 - q / o.semimajor_axis;
        } else if (kind < 0.9) {  // crossing the Earth's orbit from outside
            o.semimajor_axis = uniform(random, 1.0, 2.6);
            const double q = uniform(random, 0.2, 0.98);
            o.eccentricity = 1.0 - q / o.semimajor_axis;
        } else {  // mostly inside the Earth's orbit
            o.semimajor_axis = uniform(random, 0.6, 0.99);
            o.eccentricity = uniform(random, 0.983 / o.semimajor_axis - 1.0 + 0.01, 0.65);
        }
        o.inclination = std::fmin(12.0 * std::fabs(roughly_normal(random)), 60.0);
        break;
    }
    }
    return o;
}

RecordNotes random_notes(Random& random, OrbitClass orbit_class, long number, double h)
{
    RecordNotes n{};
    n.orbit_computer = "synthetic";
    n.computed_day = uniform_int(random, 1, 19);
    n.colour_index = (number > 0 && number < 1000 && uniform(random) < 0.3)
                         ? formatted("%4.2f", uniform(random, 0.65, 0.95))
                         : "";
    if (number > 0 && number < 5000 && uniform(random) < 0.3) {
        const double albedo = uniform(random, 0.04, 0.35);
        const double diameter = std::fmin(1329.0 / std::sqrt(albedo) * std::pow(10.0, -h / 5.0), 999.9);
        n.iras_diameter = fixed(5, 1, diameter);
        static const char* const CLASSES[] = {"C", "S", "M", "X", "B", "D", "CX", "SU"};
        n.iras_class = uniform(random) < 0.5 ? CLASSES[uniform_int(random, 0, 7)] : "";
    }
    static const int CLASS_CODES[] = {0, 0, 0, 0, 2, 1};  // by OrbitClass: crossers flagged
    n.codes[0] = CLASS_CODES[orbit_class];
    for (int k = 1; k < 6; ++k) {
        n.codes[k] = uniform(random) < 0.05 ? uniform_int(random, 1, 9) : 0;
    }
    if (number > 0) {
        n.arc_days = uniform_int(random, 1500, number < 1000 ? 75000 : 40000);
        n.observations = uniform_int(random, 30, number < 1000 ? 9000 : 3000);
        n.current_uncertainty = uniform(random, 0.01, 1.5);
        n.uncertainty_rate = uniform(random, 0.0, 0.05);
    } else {
        n.arc_days = uniform(random) < 0.3 ? uniform_int(random, 1, 60) : uniform_int(random, 60, 6000);
        n.observations = uniform_int(random, 3, 400);
        n.current_uncertainty = std::pow(10.0, uniform(random, -0.5, 3.99));
        n.uncertainty_rate = std::pow(10.0, uniform(random, -3.0, 1.5));
    }
    n.next_peak = std::fmin(n.current_uncertainty * uniform(random, 1.0, 2.0), 9999.99);
    n.next_peak_days = uniform_int(random, 1, 3650);
    n.greatest_peak = std::fmin(n.next_peak * uniform(random, 1.0, 3.0), 9999.99);
    n.greatest_peak_days = uniform_int(random, 1, 3650);
    n.greatest_later_peak = std::fmin(n.greatest_peak * uniform(random, 1.0, 2.0), 9999.99);
    n.greatest_later_peak_days = uniform_int(random, 1, 3650);
    return n;
}

// ---------------------------------------------------------------------------
// Asteroids placed in the compiled-in field.

// A target: gnomonic offsets from the field centre (degrees, xi east, eta
// north), the orbit's a, e and least inclination, the distance from the Sun
// (AU) or, when delta_au is set, from the observer, the branch of the orbit
// (after perihelion or before, ascending or descending) and the V wanted.
struct Placement {
    const char* what;
    double xi;
    double eta;
    double a;
    double e;
    double least_inclination;
    double r_au;
    double delta_au;
    bool after_perihelion;
    bool ascending;
    double magnitude;
    bool listed;
    bool straddles_zero_hours;  // moved so that the motion's two places lie either side of 0h
};

constexpr Placement PLACEMENTS[] = {
    {"main belt, just below 24h", -0.5531, -0.2037, 2.35, 0.12, 3.0, 2.2, 0.0, true, true, 17.6, true, false},
    {"fast near-Earth object crossing 0h", 0.3517, 0.2463, 1.45, 0.42, 4.0, 0.0, 0.045, true, false, 17.9, true,
     true},
    {"main belt, 29 arcsec inside the north edge", 0.4072, 1.0919, 2.75, 0.08, 6.0, 2.65, 0.0, false, true, 18.4,
     true, false},
    {"outer main belt", 0.1236, 0.3148, 3.02, 0.10, 9.0, 2.9, 0.0, true, false, 16.9, true, false},
    {"Hungaria", -0.8311, 0.7427, 1.91, 0.09, 22.0, 1.85, 0.0, false, true, 17.2, true, false},
    {"Jupiter Trojan, leading cloud", 0.7093, -0.6382, 5.21, 0.07, 12.0, 5.15, 0.0, true, true, 19.1, true, false},
    {"inner main belt", -0.2149, -0.9286, 2.58, 0.17, 4.0, 2.3, 0.0, false, false, 19.6, true, false},
    {"Mars crosser", 0.9347, 0.0519, 2.1, 0.33, 7.0, 1.5, 0.0, true, true, 18.8, true, false},
    {"Hilda, close to the magnitude limit", -0.9814, -0.4728, 3.97, 0.19, 8.0, 3.6, 0.0, true, false, 19.85, true,
     false},
    {"main belt at the west edge", -1.0962, 0.0173, 2.45, 0.14, 5.0, 2.4, 0.0, true, true, 18.0, true, false},
    {"main belt, fainter than the limit", 0.0526, -0.4461, 2.6, 0.10, 2.0, 2.5, 0.0, true, true, 20.4, false, false},
    {"Amor, fainter than the limit", -0.4018, 0.6042, 1.9, 0.44, 5.0, 1.2, 0.0, true, false, 20.9, false, false},
    {"main belt, far fainter than the limit", 0.6037, 0.8991, 2.9, 0.05, 3.0, 2.85, 0.0, false, true, 21.6, false,
     false},
    {"main belt, just outside the east edge", 1.1153, 0.2061, 2.7, 0.12, 4.0, 2.6, 0.0, true, true, 17.5, false,
     false},
};
constexpr int PLACEMENT_COUNT = static_cast<int>(sizeof(PLACEMENTS) / sizeof(PLACEMENTS[0]));

// Right ascension and declination (degrees) of the gnomonic offsets xi, eta
// (degrees) about the centre ra0, dec0 (degrees).
void place_from_offsets(double xi, double eta, double ra0, double dec0, double& ra, double& dec)
{
    const double x = xi * DEG_TO_RAD;
    const double y = eta * DEG_TO_RAD;
    const double d0 = dec0 * DEG_TO_RAD;
    const double across = std::cos(d0) - y * std::sin(d0);
    ra = ra0 + std::atan2(x, across) * RAD_TO_DEG;
    dec = std::atan2(std::sin(d0) + y * std::cos(d0), std::sqrt(x * x + across * across)) * RAD_TO_DEG;
    ra = std::fmod(ra + 360.0, 360.0);
}

Vector3 unit_vector(double ra_deg, double dec_deg)
{
    const double a = ra_deg * DEG_TO_RAD;
    const double d = dec_deg * DEG_TO_RAD;
    return Vector3{{std::cos(d) * std::cos(a), std::cos(d) * std::sin(a), std::sin(d)}};
}

[[noreturn]] void fail_placement(const Placement& p, const char* why)
{
    std::fprintf(stderr, "make_astorb_sample: cannot place the %s: %s\n", p.what, why);
    std::exit(EXIT_FAILURE);
}

// The orbit that puts the asteroid of `p` at (ra, dec) as seen at the
// request's instant from `observer` (heliocentric, km).
Orbit placed_orbit(const Placement& p, double ra, double dec, const SearchRequest& request, const Vector3& observer)
{
    const Vector3 u = unit_vector(ra, dec);
    const Vector3 o{{observer(1) / KM_PER_AU, observer(2) / KM_PER_AU, observer(3) / KM_PER_AU}};

    // The point on the line of sight at the distance wanted.
    double delta = p.delta_au;
    if (delta <= 0.0) {
        const double b = dot_product(o, u);
        const double c = dot_product(o, o) - p.r_au * p.r_au;
        if (b * b - c < 0.0) {
            fail_placement(p, "the line of sight does not reach that distance from the Sun");
        }
        delta = -b + std::sqrt(b * b - c);
    }
    const Vector3 point{{o(1) + delta * u(1), o(2) + delta * u(2), o(3) + delta * u(3)}};
    const double r = std::sqrt(dot_product(point, point));
    const double q = p.a * (1.0 - p.e);
    const double aphelion = p.a * (1.0 + p.e);
    if (delta <= 0.0 || r < q || r > aphelion) {
        fail_placement(p, "the orbit does not pass at that distance from the Sun");
    }

    // The orbit plane through the point, and the place of the point in the orbit.
    const OrbitPlaneThroughPoint plane = orbit_plane_through(point, r, p.least_inclination, p.ascending);
    const double inclination = plane.inclination;
    const double node = plane.node;
    const double u_lat = plane.argument_of_latitude;
    const double cos_nu = (p.a * (1.0 - p.e * p.e) / r - 1.0) / p.e;
    const double nu = (p.after_perihelion ? 1.0 : -1.0) * std::acos(std::fmax(-1.0, std::fmin(1.0, cos_nu)));
    const double eccentric = 2.0 * std::atan(std::sqrt((1.0 - p.e) / (1.0 + p.e)) * std::tan(nu / 2.0));
    const double mean_anomaly = eccentric - p.e * std::sin(eccentric);

    // Back from the instant the light left to the epoch.
    const double emitted = request.utc_mjd - light_time_days(delta * KM_PER_AU);
    const double epoch = mjd_from_calendar(EPOCH_DAY, EPOCH_MONTH, EPOCH_YEAR, 0, 0, 0.0);
    const double mean_anomaly_at_epoch = mean_anomaly - mean_motion(p.a) * (emitted - epoch);

    Orbit orbit{};
    orbit.g = 0.15;
    orbit.epoch_year = EPOCH_YEAR;
    orbit.epoch_month = EPOCH_MONTH;
    orbit.epoch_day = EPOCH_DAY;
    orbit.mean_anomaly = mean_anomaly_at_epoch * RAD_TO_DEG;
    orbit.perihelion_argument = (u_lat - nu) * RAD_TO_DEG;
    orbit.node = node * RAD_TO_DEG;
    orbit.inclination = inclination * RAD_TO_DEG;
    orbit.eccentricity = p.e;
    orbit.semimajor_axis = p.a;
    const Vector3 seen{{point(1) - o(1), point(2) - o(2), point(3) - o(3)}};
    orbit.h = p.magnitude - hg_magnitude(0.0, orbit.g, point, seen);
    return orbit;
}

// The record text of a placed asteroid, checked by evaluating it as astfield
// does.
std::string placed_record(const Placement& p, const std::string& number, const std::string& name, Random& random,
                          const SearchRequest& request, const ObserverPositions& observer)
{
    double ra = 0.0;
    double dec = 0.0;
    place_from_offsets(p.xi, p.eta, request.centre_ra_deg, request.centre_dec_deg, ra, dec);
    const long numbered = std::atol(number.c_str());
    RecordNotes notes = random_notes(random, MAIN_BELT, numbered, 15.0);
    std::string text = record_text(number, name, placed_orbit(p, ra, dec, request, observer.at), notes);
    std::optional<AsteroidSighting> sighting = asteroid_sighting(request, observer, parse_astorb_record(text));

    if (p.straddles_zero_hours) {
        if (!sighting) {
            fail_placement(p, "not found before moving it to 0h");
        }
        // Degrees per minute; the places at -1 and +1 minute then lie either
        // side of 0h.
        const double per_minute = sighting->ra_motion / 3600.0 / 60.0;
        ra = per_minute > 0.0 ? 0.3 * per_minute : 360.0 + 0.3 * per_minute;
        text = record_text(number, name, placed_orbit(p, ra, dec, request, observer.at), notes);
        sighting = asteroid_sighting(request, observer, parse_astorb_record(text));
    }
    if (sighting.has_value() != p.listed) {
        fail_placement(p, p.listed ? "the search does not list it" : "the search lists it");
    }
    if (sighting) {
        std::printf("placed %-45s |%s|%s| V %5.2f  motion %8.1f %8.1f arcsec/h\n", p.what,
                    sighting->number.data(), sighting->name.data(), sighting->magnitude, sighting->ra_motion,
                    sighting->dec_motion);
    } else {
        std::printf("placed %-45s %s %s (not listed)\n", p.what, number.c_str(), name.c_str());
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs(USAGE, stderr);
        return EXIT_FAILURE;
    }
    long count = DEFAULT_COUNT;
    if (argc == 3) {
        char* end = nullptr;
        count = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || count < 1 || count > 100000000) {
            std::fprintf(stderr, "make_astorb_sample: COUNT must be a whole number from 1 to 100000000, not '%s'\n",
                         argv[2]);
            return EXIT_FAILURE;
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make_astorb_sample: %s: %s\n", argv[1], std::strerror(errno));
        return EXIT_FAILURE;
    }

    const SearchRequest request = asteroid_search_request();
    const ObserverPositions observer = observer_positions(request);

    Random random{0x5EED2008052005ULL};
    const long numbered_count = (count * 45 + 50) / 100;
    const long mean_number_step = std::max(1L, 190000L / std::max(1L, numbered_count));
    DesignationCursor cursor;
    const long unnumbered_count = count - numbered_count;
    // Enough room in the sequence of designations, spread over all its years.
    constexpr long HALF_MONTHS = (LAST_DESIGNATION_YEAR - FIRST_DESIGNATION_YEAR) * 24 + LAST_HALF_MONTH_2008 + 1;
    cursor.cycles_per_half_month =
        static_cast<int>(std::max(30L, (22 * unnumbered_count) / (10 * HALF_MONTHS * 25) + 1));
    const long designations = HALF_MONTHS * 25 * cursor.cycles_per_half_month;
    cursor.mean_step = std::max(1L, (10 * designations) / (11 * std::max(1L, unnumbered_count)));

    // The placed asteroids are spread evenly through the catalogue.
    const long placed = std::min<long>(PLACEMENT_COUNT, count);
    int next_placement = 0;
    long number = 0;
    for (long index = 0; index < count; ++index) {
        std::string number_text;
        std::string name;
        if (index < numbered_count) {
            number += uniform_int(random, 1, static_cast<int>(2 * mean_number_step - 1));
            number_text = integer(6, number);
            if (number < 3000 || uniform(random) < 0.1) {
                name = invented_name(random);
            } else {
                DesignationCursor old{};
                old.year = uniform_int(random, 1950, 2006);
                old.half_month = uniform_int(random, 0, 23);
                old.letter = uniform_int(random, 0, 24);
                old.cycle = uniform_int(random, 0, 60);
                name = provisional_designation(old);
            }
        } else {
            const int step = uniform_int(random, 1, static_cast<int>(2 * cursor.mean_step - 1));
            advance(cursor, index == numbered_count ? 0 : step);
            name = provisional_designation(cursor);
        }

        std::string text;
        const bool is_placed = next_placement < placed && index == (next_placement + 1) * count / (placed + 1);
        if (is_placed) {
            text = placed_record(PLACEMENTS[next_placement], number_text, name, random, request, observer);
            ++next_placement;
        } else {
            const long this_number = index < numbered_count ? number : 0;
            const OrbitClass orbit_class = random_orbit_class(random);
            const Orbit orbit = random_orbit(random, orbit_class, this_number);
            text = record_text(number_text, name, orbit, random_notes(random, orbit_class, this_number, orbit.h));
        }
        text += '\n';
        if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            std::fprintf(stderr, "make_astorb_sample: %s: %s\n", argv[1], std::strerror(errno));
            std::fclose(out);
            return EXIT_FAILURE;
        }
    }
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "make_astorb_sample: %s: %s\n", argv[1], std::strerror(errno));
        return EXIT_FAILURE;
    }
    return 0;
}
