// Prints how far Vinti's theory and SGP4/SDP4 disagree over a catalogue of
// element sets, by orbit class: the angle between the two places seen from
// the compiled-in observer and the distance between the two positions, at
// the compiled-in instant and at 1, 3 and 7 days after each set's epoch.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "satellite_evaluation.hpp"
#include "satellite_observer.hpp"
#include "satellite_search.hpp"
#include "sgp4.hpp"
#include "tle_record.hpp"
#include "vinti.hpp"

using namespace fieldsearch;

namespace {

constexpr const char* USAGE =
    "usage: theory_disagreement CATALOGUE\n"
    "\n"
    "Reads the element sets of CATALOGUE (a name line and two element lines\n"
    "each) and prints, for each orbit class, the median, 90th percentile and\n"
    "largest angle (arcseconds) between Vinti's and SGP4's places seen from\n"
    "satfield's compiled-in observer, and the same of the distance between\n"
    "the two positions (km), at satfield's compiled-in instant and at 1, 3\n"
    "and 7 days after each set's epoch. Classes: highly eccentric (e > 0.3),\n"
    "low (period below 225 min), geostationary (period 1400-1460 min,\n"
    "e < 0.1), medium (the rest).\n";

enum OrbitClass { LOW, MEDIUM, GEOSTATIONARY, ECCENTRIC, CLASS_COUNT };
constexpr const char* CLASS_NAMES[CLASS_COUNT] = {"low", "medium", "geostationary", "highly eccentric"};

OrbitClass orbit_class(const TleRecord& r)
{
    const double period_min = 1440.0 / r.n;
    if (r.ecc > 0.3) {
        return ECCENTRIC;
    }
    if (period_min < 225.0) {
        return LOW;
    }
    if (period_min >= 1400.0 && period_min <= 1460.0 && r.ecc < 0.1) {
        return GEOSTATIONARY;
    }
    return MEDIUM;
}

constexpr int INSTANT_COUNT = 4;
constexpr const char* INSTANT_NAMES[INSTANT_COUNT] = {"sample instant", "epoch + 1 d", "epoch + 3 d",
                                                      "epoch + 7 d"};
constexpr double DAYS_AFTER_EPOCH[INSTANT_COUNT] = {0.0, 1.0, 3.0, 7.0};

struct Samples {
    std::vector<double> angle_arcsec;
    std::vector<double> distance_km;
    int not_evaluated = 0;
};

double length(const Vector3& v)
{
    return std::sqrt(dot_product(v, v));
}

double angle_arcsec(const Vector3& a, const Vector3& b)
{
    Vector3 c;
    c(1) = a(2) * b(3) - a(3) * b(2);
    c(2) = a(3) * b(1) - a(1) * b(3);
    c(3) = a(1) * b(2) - a(2) * b(1);
    return std::atan2(length(c), dot_product(a, b)) * (180.0 / std::numbers::pi) * 3600.0;
}

// The value below which `fraction` of the sorted values lie (nearest rank).
double quantile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const std::size_t k = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, k == 0 ? 0 : k - 1)];
}

// Adds one set at one instant to the samples, or counts it as not evaluated.
void compare_theories(const TleRecord& r, double utc_mjd, const Vector3& observer, Samples& samples)
{
    const double epoch = tle_epoch_mjd(r);
    const VintiOrbit vinti = vinti_init(r.incl, r.ecc, r.n);
    const Sgp4Orbit sgp4 = sgp4_orbit(sgp4_elements_from_tle(r, epoch));
    if (vinti_orbit_problem(vinti) != nullptr || sgp4.error != SGP4_OK) {
        ++samples.not_evaluated;
        return;
    }
    const ObservationInstant instant = observation_instant(utc_mjd, 0.0, compiled_leap_second_table(), observer);
    const Sgp4State state = sgp4_state(sgp4, (utc_mjd - epoch) * 1440.0);
    if (state.error != SGP4_OK) {
        ++samples.not_evaluated;
        return;
    }
    const Vector3 a = satellite_topocentric_vector(vinti, epoch, r.mean_anom, r.omega, r.node, r.ndot2, instant);
    const Vector3 b = topocentric_vector_from_teme(state.position, instant);
    Vector3 d;
    for (int i = 1; i <= 3; ++i) {
        d(i) = a(i) - b(i);
    }
    const double angle = angle_arcsec(a, b);
    if (!std::isfinite(angle) || !std::isfinite(length(d))) {
        ++samples.not_evaluated;
        return;
    }
    samples.angle_arcsec.push_back(angle);
    samples.distance_km.push_back(length(d));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fputs(USAGE, argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "theory_disagreement: cannot open %s\n", argv[1]);
        return 1;
    }
    const SearchRequest request = satellite_scenario_request();
    Vector3 observer;
    observer(1) = request.observer_x;
    observer(2) = request.observer_y;
    observer(3) = request.observer_z;

    Samples samples[CLASS_COUNT][INSTANT_COUNT];
    int class_sizes[CLASS_COUNT] = {};
    int skipped = 0;
    std::string name;
    std::string line1;
    std::string line2;
    while (std::getline(in, name)) {
        if (name.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        if (!std::getline(in, line1) || !std::getline(in, line2)) {
            break;
        }
        if (tle_line_length_problem(line1, line2) != nullptr) {
            ++skipped;
            continue;
        }
        const TleRecord r = parse_tle_record(name, line1, line2);
        if (tle_element_problem(r) != nullptr) {
            ++skipped;
            continue;
        }
        const OrbitClass c = orbit_class(r);
        ++class_sizes[c];
        for (int k = 0; k < INSTANT_COUNT; ++k) {
            const double t = k == 0 ? request.utc_mjd : tle_epoch_mjd(r) + DAYS_AFTER_EPOCH[k];
            compare_theories(r, t, observer, samples[c][k]);
        }
    }

    std::printf("| class | sets | instant | angle median | angle 90 %% | angle max | km median | km 90 %% | "
                "km max | not evaluated |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (int c = 0; c < CLASS_COUNT; ++c) {
        for (int k = 0; k < INSTANT_COUNT; ++k) {
            const Samples& s = samples[c][k];
            if (s.angle_arcsec.empty()) {
                std::printf("| %s | %d | %s | | | | | | | %d |\n", CLASS_NAMES[c], class_sizes[c], INSTANT_NAMES[k],
                            s.not_evaluated);
                continue;
            }
            std::printf("| %s | %d | %s | %.1f\" | %.1f\" | %.1f\" | %.2f | %.2f | %.2f | %d |\n", CLASS_NAMES[c],
                        class_sizes[c], INSTANT_NAMES[k], quantile(s.angle_arcsec, 0.5),
                        quantile(s.angle_arcsec, 0.9), quantile(s.angle_arcsec, 1.0), quantile(s.distance_km, 0.5),
                        quantile(s.distance_km, 0.9), quantile(s.distance_km, 1.0), s.not_evaluated);
        }
    }
    if (skipped > 0) {
        std::printf("\n%d element sets could not be read and were left out.\n", skipped);
    }
    return 0;
}
