// Writes the sample catalogues of today's layouts from the asteroid sample:
// an orbit catalogue in the one-line minor planet export layout (with a text
// preamble) holding part of the asteroid sample's orbits, and a comet
// catalogue in the one-line comet layout with three comets placed in the
// compiled-in field of astfield.
//
// Usage: make_catalogue_samples ASTORB_SAMPLE MPCORB_OUTPUT COMETS_OUTPUT

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "formatted_text.hpp"
#include "angles.hpp"
#include "asteroid_evaluation.hpp"
#include "asteroid_search.hpp"
#include "astorb_record.hpp"
#include "comet_record.hpp"
#include "light_time.hpp"
#include "orbit_through_point.hpp"
#include "packed_designations.hpp"
#include "text_catalogue.hpp"
#include "time_scales.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

constexpr const char* USAGE =
    "usage: make_catalogue_samples ASTORB_SAMPLE MPCORB_OUTPUT COMETS_OUTPUT\n"
    "\n"
    "Reads the asteroid sample in the fixed-column layout (data/astorb.dat) and\n"
    "writes MPCORB_OUTPUT in the one-line minor planet export layout, after a\n"
    "preamble ending in a line of dashes: every record that the compiled-in\n"
    "search of astfield lists and every 25th of the others, their elements\n"
    "rounded to the digits of that layout. Writes COMETS_OUTPUT in the one-line\n"
    "comet layout: an elliptic, a parabolic and a hyperbolic comet placed in the\n"
    "compiled-in field (2008 May 20 05:14 UTC, centre 0h00m10s +0d30', 2 deg\n"
    "square) as make_astorb_sample places asteroids: a point on the line of\n"
    "sight at a chosen distance, the orbit plane through it, the true anomaly\n"
    "for the chosen q and e, and the perihelion time back through the light\n"
    "time. Each comet is read back and evaluated as astfield evaluates it, and\n"
    "the generator stops if it is not listed.\n";

constexpr int EVERY_NTH_RECORD = 25;

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "make_catalogue_samples: %s\n", why.c_str());
    std::exit(EXIT_FAILURE);
}

// ---------------------------------------------------------------------------
// Packed forms.

char base62_digit(int value)
{
    if (value < 10) {
        return static_cast<char>('0' + value);
    }
    return static_cast<char>(value < 36 ? 'A' + value - 10 : 'a' + value - 36);
}

std::string packed_number(long number)
{
    if (number < 100000) {
        return formatted("%05ld", number);
    }
    if (number < 620000) {
        return base62_digit(static_cast<int>(number / 10000)) + formatted("%04ld", number % 10000);
    }
    long rest = number - 620000;
    std::string text = "~0000";
    for (int k = 4; k >= 1; --k) {
        text[static_cast<std::size_t>(k)] = base62_digit(static_cast<int>(rest % 62));
        rest /= 62;
    }
    return text;
}

char century_letter(int year)
{
    return static_cast<char>('A' + year / 100 - 10);
}

// "1995 XL1" as "J95X01L".
std::string packed_provisional(const std::string& readable)
{
    int year = 0;
    char half_month = 0;
    char order = 0;
    int cycle = 0;
    if (std::sscanf(readable.c_str(), "%4d %c%c%d", &year, &half_month, &order, &cycle) < 3) {
        fail("cannot pack the designation '" + readable + "'");
    }
    std::string text = formatted("%c%02d%c", century_letter(year), year % 100, half_month);
    text += base62_digit(cycle / 10);
    text += static_cast<char>('0' + cycle % 10);
    text += order;
    return text;
}

char packed_day(int value)
{
    return base62_digit(value);
}

std::string packed_date(int year, int month, int day)
{
    return formatted("%c%02d%c%c", century_letter(year), year % 100, packed_day(month), packed_day(day));
}

// ---------------------------------------------------------------------------
// The minor planet sample.

std::string mpcorb_line(const AstorbRecord& r, const std::string& number, const std::string& name)
{
    const bool numbered = !number.empty();
    const std::string packed = numbered ? packed_number(std::atol(number.c_str())) : packed_provisional(name);
    const std::string readable = numbered ? "(" + number + ") " + name : name;
    const double n_deg_per_day = mean_motion(r.semimajor_axis) * RAD_TO_DEG;
    std::string line = formatted(
        "%-7s %5.2f %5.2f %5s %9.5f  %9.5f  %9.5f  %9.5f  %9.7f %11.8f %11.7f  %1d %-9s %5d %3d %9s %4.2f %3s %3s "
        "%-10s %04x %-28s%8s",
        packed.c_str(), r.h, r.g, packed_date(r.epoch_year, r.epoch_month, r.epoch_day).c_str(), r.mean_anomaly,
        r.perihelion_argument, r.node, r.inclination, r.eccentricity, n_deg_per_day, r.semimajor_axis,
        numbered ? 0 : 5, "Synthetic", numbered ? 812 : 46, numbered ? 11 : 2, numbered ? "1990-2008" : "2004-2008",
        0.52, "M-v", "3Ek", "Synthetic", 0, readable.c_str(), "20080510");
    if (line.size() != 202) {
        fail("a minor planet record of " + std::to_string(line.size()) + " characters for '" + readable + "'");
    }
    return line;
}

constexpr const char* MPCORB_PREAMBLE =
    "Synthetic sample orbit catalogue in the one-line minor planet export layout,\n"
    "written by tools/make_catalogue_samples from part of data/astorb.dat (the\n"
    "same orbits, elements rounded to the digits of this layout).\n"
    "\n"
    "Epochs are 0h TT of their date; elements refer to the ecliptic and equinox\n"
    "of J2000.0.\n"
    "\n"
    "Des'n     H     G   Epoch     M        Peri.      Node       Incl.       e            n           a        "
    "Reference #Obs #Opp    Arc    rms  Perts   Computer\n"
    "----------------------------------------------------------------------------------------------------------"
    "-------------------------------------------------------------\n";

// ---------------------------------------------------------------------------
// The comet sample.

struct CometPlacement {
    const char* what;
    const char* periodic;     // periodic number, or ""
    char type;
    const char* packed;       // packed provisional designation, or ""
    const char* designation;  // designation and name
    double xi;                // gnomonic offsets from the centre, degrees
    double eta;
    double delta_au;          // from the observer
    double q;
    double e;
    double least_inclination; // degrees
    bool after_perihelion;
    bool ascending;
    double magnitude;
    double k;
};

constexpr CometPlacement COMETS[] = {
    {"elliptic comet", "0999", 'P', "", "999P/Synthetica", 0.4214, -0.3127, 0.92, 0.75, 0.62, 11.0, true, true, 15.2,
     4.0},
    {"parabolic comet", "", 'C', "K08K02S", "C/2008 K2 (Sample)", -0.6382, 0.2519, 1.27, 0.88, 1.0, 47.0, false,
     false, 13.4, 3.2},
    {"hyperbolic comet", "", 'C', "K08K03S", "C/2008 K3 (Sample)", 0.1873, 0.7716, 2.43, 1.65, 1.0025, 31.0, false,
     true, 16.8, 2.5},
};

Vector3 unit_vector(double ra_deg, double dec_deg)
{
    const double a = ra_deg * DEG_TO_RAD;
    const double d = dec_deg * DEG_TO_RAD;
    return Vector3{{std::cos(d) * std::cos(a), std::cos(d) * std::sin(a), std::sin(d)}};
}

// Right ascension and declination (degrees) of the gnomonic offsets xi, eta
// (degrees) about the centre ra0, dec0 (degrees).
void place_from_offsets(double xi, double eta, double ra0, double dec0, double& ra, double& dec)
{
    const double x = xi * DEG_TO_RAD;
    const double y = eta * DEG_TO_RAD;
    const double d0 = dec0 * DEG_TO_RAD;
    const double across = std::cos(d0) - y * std::sin(d0);
    ra = std::fmod(ra0 + std::atan2(x, across) * RAD_TO_DEG + 360.0, 360.0);
    dec = std::atan2(std::sin(d0) + y * std::cos(d0), std::sqrt(x * x + across * across)) * RAD_TO_DEG;
}

// Days from perihelion to true anomaly nu (radians) on the conic q, e.
double time_from_perihelion(double q, double e, double nu)
{
    const double half = std::tan(nu / 2.0);
    if (e < 1.0) {
        const double a = q / (1.0 - e);
        const double eccentric = 2.0 * std::atan(std::sqrt((1.0 - e) / (1.0 + e)) * half);
        return (eccentric - e * std::sin(eccentric)) / mean_motion(a);
    }
    if (e == 1.0) {
        return (half * half * half + 3.0 * half) * std::sqrt(2.0 * q * q * q) / (3.0 * GAUSSIAN_CONSTANT);
    }
    const double a = q / (e - 1.0);
    const double hyperbolic = 2.0 * std::atanh(std::sqrt((e - 1.0) / (e + 1.0)) * half);
    return (e * std::sinh(hyperbolic) - hyperbolic) / mean_motion(a);
}

std::string comet_line(const CometPlacement& p, const SearchRequest& request, const Vector3& observer)
{
    double ra = 0.0;
    double dec = 0.0;
    place_from_offsets(p.xi, p.eta, request.centre_ra_deg, request.centre_dec_deg, ra, dec);
    const Vector3 u = unit_vector(ra, dec);
    const Vector3 o{{observer(1) / KM_PER_AU, observer(2) / KM_PER_AU, observer(3) / KM_PER_AU}};
    const Vector3 point{{o(1) + p.delta_au * u(1), o(2) + p.delta_au * u(2), o(3) + p.delta_au * u(3)}};
    const double r = std::sqrt(dot_product(point, point));
    if (r < p.q) {
        fail(std::string("the ") + p.what + " cannot reach that point: r < q");
    }
    const OrbitPlaneThroughPoint plane = orbit_plane_through(point, r, p.least_inclination, p.ascending);
    const double inclination = plane.inclination;
    const double node = plane.node;
    const double u_lat = plane.argument_of_latitude;
    const double cos_nu = (p.q * (1.0 + p.e) / r - 1.0) / p.e;
    const double nu = (p.after_perihelion ? 1.0 : -1.0) * std::acos(std::fmax(-1.0, std::fmin(1.0, cos_nu)));
    const double emitted = request.utc_mjd - light_time_days(p.delta_au * KM_PER_AU);
    const double perihelion = emitted - time_from_perihelion(p.q, p.e, nu);

    // The perihelion date: the month that holds it, then the day with its fraction.
    int year = 2000;
    int month = 1;
    while (mjd_from_calendar(1, month == 12 ? 1 : month + 1, month == 12 ? year + 1 : year, 0, 0, 0.0) <=
           perihelion) {
        month = month == 12 ? 1 : month + 1;
        year += month == 1 ? 1 : 0;
        if (year > 2020) {
            fail(std::string("the ") + p.what + " has its perihelion too far from 2008");
        }
    }
    const double day = 1.0 + perihelion - mjd_from_calendar(1, month, year, 0, 0, 0.0);
    const Vector3 seen{{point(1) - o(1), point(2) - o(2), point(3) - o(3)}};
    (void)seen;
    const double h = p.magnitude - 5.0 * std::log10(p.delta_au) - 2.5 * p.k * std::log10(r);
    auto degrees_in_circle = [](double radians) {
        const double d = std::fmod(radians * RAD_TO_DEG + 720.0, 360.0);
        return d >= 359.99995 ? 0.0 : d;
    };
    const std::string line =
        formatted("%4s%c%-7s  %4d %02d %7.4f %9.6f  %8.6f  %8.4f  %8.4f  %8.4f  %8s  %4.1f %4.1f  %-56s %-9s",
                  p.periodic, p.type, p.packed, year, month, day, p.q, p.e, degrees_in_circle(u_lat - nu),
                  degrees_in_circle(node), inclination * RAD_TO_DEG, "20080514", h, p.k, p.designation, "Synthetic");
    if (line.size() != 168) {
        fail(std::string("a comet record of ") + std::to_string(line.size()) + " characters");
    }
    return line;
}

void write_text(std::FILE* out, const char* path, const std::string& text)
{
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
        fail(std::string(path) + ": " + std::strerror(errno));
    }
}

std::FILE* open_output(const char* path)
{
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) {
        fail(std::string(path) + ": " + std::strerror(errno));
    }
    return out;
}

void close_output(std::FILE* out, const char* path)
{
    if (std::fclose(out) != 0) {
        fail(std::string(path) + ": " + std::strerror(errno));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs(USAGE, stderr);
        return EXIT_FAILURE;
    }
    const SearchRequest request = asteroid_search_request();
    const ObserverPositions observer = observer_positions(request);

    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) {
        fail(std::string(argv[1]) + ": " + std::strerror(errno));
    }
    std::FILE* mpcorb = open_output(argv[2]);
    write_text(mpcorb, argv[2], MPCORB_PREAMBLE);
    {
        TextCatalogueReader reader(in);
        std::string_view line;
        long index = 0;
        while (reader.next_line(line)) {
            if (line.size() < static_cast<std::size_t>(ASTORB_COLUMNS_READ)) {
                continue;
            }
            const AstorbRecord record = parse_astorb_record(line);
            const bool listed = asteroid_sighting(request, observer, record).has_value();
            if (listed || index++ % EVERY_NTH_RECORD == 0) {
                const std::string number(trimmed_text(line.substr(0, 6)));
                const std::string name(trimmed_text(line.substr(7, 18)));
                write_text(mpcorb, argv[2], mpcorb_line(record, number, name) + "\n");
            }
        }
        if (reader.read_error()) {
            fail(std::string(argv[1]) + ": read error");
        }
    }
    std::fclose(in);
    close_output(mpcorb, argv[2]);

    std::FILE* comets = open_output(argv[3]);
    for (const CometPlacement& p : COMETS) {
        const std::string line = comet_line(p, request, observer.at);
        const std::optional<AsteroidSighting> sighting = comet_sighting(request, observer, parse_comet_record(line));
        if (!sighting) {
            fail(std::string("the ") + p.what + " is not listed by the search");
        }
        std::printf("placed %-20s |%s|%s| V %5.2f  motion %8.1f %8.1f arcsec/h\n", p.what, sighting->number.data(),
                    sighting->name.data(), sighting->magnitude, sighting->ra_motion, sighting->dec_motion);
        write_text(comets, argv[3], line + "\n");
    }
    close_output(comets, argv[3]);
    return 0;
}
