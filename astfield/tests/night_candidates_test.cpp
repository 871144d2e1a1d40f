#include "night_candidates.hpp"
#include "square_field.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "angles.hpp"
#include "asteroid_evaluation.hpp"
#include "field_prefilter.hpp"
#include "light_time.hpp"
#include "solar_ephemeris.hpp"
#include "two_body.hpp"

using namespace fieldsearch;

namespace {

const Vector3 OBSERVER{{3395.0303, 3128.7911, 4388.8511}};
constexpr double EPOCH = 54600.0;        // 2008 May 14, 0h
constexpr double NIGHT_START = 54606.8;  // 2008 May 20, 19:12 UTC
constexpr double NIGHT_DAYS = 10.0 / 24.0;

struct Uniform {
    std::uint64_t state;
    double operator()()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) * 0x1.0p-53;
    }
};

AstorbRecord record_of(double a, double e, double i, double node, double w, double m)
{
    return AstorbRecord{{}, {}, 15.0, 0.15, 2008, 5, 14, m, w, node, i, e, a, {}};
}

Vector3 cross(const Vector3& a, const Vector3& b)
{
    return Vector3{{a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)}};
}

double degrees(double y, double x)
{
    return std::fmod(std::atan2(y, x) * RAD_TO_DEG + 360.0, 360.0);
}

// The osculating elements of a heliocentric state (km and km/day, J2000
// equator) at instant t, by the textbook conversion through the angular
// momentum and eccentricity vectors.
AstorbRecord record_from_state(const Vector3& r_eq, const Vector3& v_eq, double t)
{
    const double ce = std::cos(OBLIQUITY_J2000);
    const double se = std::sin(OBLIQUITY_J2000);
    const Vector3 r{{r_eq(1) / KM_PER_AU, (ce * r_eq(2) + se * r_eq(3)) / KM_PER_AU,
                     (-se * r_eq(2) + ce * r_eq(3)) / KM_PER_AU}};
    const Vector3 v{{v_eq(1) / KM_PER_AU, (ce * v_eq(2) + se * v_eq(3)) / KM_PER_AU,
                     (-se * v_eq(2) + ce * v_eq(3)) / KM_PER_AU}};
    const double mu = GAUSSIAN_CONSTANT * GAUSSIAN_CONSTANT;
    const double rn = std::sqrt(dot_product(r, r));
    const Vector3 h = cross(r, v);
    const double hn = std::sqrt(dot_product(h, h));
    const Vector3 vh = cross(v, h);
    const Vector3 ev{{vh(1) / mu - r(1) / rn, vh(2) / mu - r(2) / rn, vh(3) / mu - r(3) / rn}};
    const double e = std::sqrt(dot_product(ev, ev));
    const double a = 1.0 / (2.0 / rn - dot_product(v, v) / mu);
    const Vector3 n{{-h(2), h(1), 0.0}};
    const Vector3 hu{{h(1) / hn, h(2) / hn, h(3) / hn}};
    const double w = degrees(dot_product(cross(n, ev), hu), dot_product(n, ev));
    const double nu = std::atan2(dot_product(cross(ev, r), hu), dot_product(ev, r));
    const double big_e = 2.0 * std::atan(std::sqrt((1.0 - e) / (1.0 + e)) * std::tan(0.5 * nu));
    const double m = (big_e - e * std::sin(big_e)) * RAD_TO_DEG - mean_motion(a) * (t - EPOCH) * RAD_TO_DEG;
    return record_of(a, e, std::acos(h(3) / hn) * RAD_TO_DEG, degrees(h(1), -h(2)), w,
                     std::fmod(m, 360.0) + 360.0);
}

// An asteroid passing `distance_au` from the observer at instant t, in the
// direction (ra, dec) degrees, at `relative_km_s` relative to the Earth.
AstorbRecord close_approach(Uniform& u, double t, double ra, double dec, double distance_au, double relative_km_s)
{
    const Vector3 o = observer_heliocentric_position(t, 0.0, compiled_leap_second_table(), OBSERVER);
    const Vector3 later = earth_heliocentric_vector(t + 0.01);
    const Vector3 earlier = earth_heliocentric_vector(t - 0.01);
    const double c = std::cos(dec * DEG_TO_RAD);
    const double d = distance_au * KM_PER_AU;
    const Vector3 r{{o(1) + d * c * std::cos(ra * DEG_TO_RAD), o(2) + d * c * std::sin(ra * DEG_TO_RAD),
                     o(3) + d * std::sin(dec * DEG_TO_RAD)}};
    Vector3 v{};
    for (int k = 1; k <= 3; ++k) {
        v(k) = (later(k) - earlier(k)) / 0.02 + relative_km_s * 86400.0 * (2.0 * u() - 1.0) / std::sqrt(3.0);
    }
    return record_from_state(r, v, t);
}

Vector3 unit_vector(double ra_deg, double dec_deg)
{
    const double c = std::cos(dec_deg * DEG_TO_RAD);
    return Vector3{{c * std::cos(ra_deg * DEG_TO_RAD), c * std::sin(ra_deg * DEG_TO_RAD),
                    std::sin(dec_deg * DEG_TO_RAD)}};
}

struct NightField {
    FieldWindow window;
    double ra_deg;
    double dec_deg;
    double half_side_deg;
};

NightField night_field(double start, double exposure_s, double ra, double dec, double half_side)
{
    ra = std::fmod(ra + 360.0, 360.0);
    const FieldWindow w{start, start + exposure_s / 86400.0, unit_vector(ra, dec), square_field_cap_radius(half_side)};
    return {w, ra, dec, half_side};
}

enum Kind { MAIN_BELT, TROJAN, NEAR_EARTH, CLOSE_APPROACH, POLAR_APPROACH };

// A night of fields and a catalogue: main belt, Trojans, near-Earth orbits
// and close approaches (some towards the poles); half the fields are centred
// near an asteroid's place within its window, its place near the widened
// edge, some across 0h; the rest lie at random near the ecliptic or the poles.
struct Night {
    std::vector<AstorbRecord> records;
    std::vector<Kind> kinds;
    std::vector<NightField> fields;
};

Night generated_night(int record_count, int field_count)
{
    Uniform u{19};
    Night night;
    for (int k = 0; k < record_count; ++k) {
        const Kind kinds[] = {MAIN_BELT, MAIN_BELT,      MAIN_BELT,      MAIN_BELT,      MAIN_BELT,
                              TROJAN,    NEAR_EARTH,     CLOSE_APPROACH, CLOSE_APPROACH, POLAR_APPROACH};
        const Kind kind = kinds[k % 10];
        const double t = NIGHT_START + NIGHT_DAYS * u();
        AstorbRecord r{};
        if (kind == MAIN_BELT) {
            r = record_of(2.1 + 1.3 * u(), 0.3 * u(), 30.0 * u(), 360.0 * u(), 360.0 * u(), 360.0 * u());
        } else if (kind == TROJAN) {
            r = record_of(5.1 + 0.2 * u(), 0.15 * u(), 35.0 * u(), 360.0 * u(), 360.0 * u(), 360.0 * u());
        } else if (kind == NEAR_EARTH) {
            r = record_of(0.8 + 1.7 * u(), 0.1 + 0.8 * u(), 40.0 * u(), 360.0 * u(), 360.0 * u(), 360.0 * u());
        } else if (kind == CLOSE_APPROACH) {
            do {
                r = close_approach(u, t, 360.0 * u(), 180.0 * std::asin(2.0 * u() - 1.0) / PI, 0.002 + 0.05 * u(),
                               3.0 + 25.0 * u());
            } while (!(r.eccentricity < 0.95));
        } else {
            do {
                r = close_approach(u, t, 360.0 * u(), (u() < 0.5 ? -1 : 1) * (84.0 + 6.0 * u()),
                                   0.01 + 0.05 * u(), 3.0 + 15.0 * u());
            } while (!(r.eccentricity < 0.95));
        }
        night.records.push_back(r);
        night.kinds.push_back(kind);
    }
    const int instants = 40;
    for (int k = 0; k < field_count; ++k) {
        const double start = NIGHT_START + NIGHT_DAYS * std::floor(instants * u()) / instants;
        const double exposure = u() < 0.5 ? 0.0 : 600.0 * u();
        const double half_side = 0.1 + 1.9 * u();
        if (k % 2 == 0) {
            const AstorbRecord& r = night.records[static_cast<std::size_t>(u() * record_count)];
            const double t = start + exposure / 86400.0 * u();
            const LightTimeCorrected seen = light_time_corrected_vector(
                epoch_mjd(r), elements_aei(r), elements_angles(r), t, observer_heliocentric_position(t, 0.0, compiled_leap_second_table(), OBSERVER));
            const SphericalCoordinates p = spherical_from_vector(seen.topocentric);
            const double dx = (u() < 0.5 ? -1 : 1) * half_side * (0.9 + 0.25 * u());
            const double dy = (2.0 * u() - 1.0) * half_side * 1.2;
            const double dec = std::clamp(p.dec_deg - dy, -89.99, 89.99);
            const double ra = p.ra_deg - dx / std::cos(dec * DEG_TO_RAD);
            night.fields.push_back(night_field(start, exposure, ra, dec, half_side));
        } else if (k % 10 == 1) {
            night.fields.push_back(night_field(start, exposure, 360.0 * u(), (u() < 0.5 ? -1 : 1) * (85.0 + 5.0 * u()),
                                               half_side));
        } else {
            const Vector3 ecl = unit_vector(360.0 * u(), 30.0 * u() - 15.0);
            const double ce = std::cos(OBLIQUITY_J2000);
            const double se = std::sin(OBLIQUITY_J2000);
            const SphericalCoordinates p =
                spherical_from_vector(Vector3{{ecl(1), ce * ecl(2) - se * ecl(3), se * ecl(2) + ce * ecl(3)}});
            night.fields.push_back(night_field(start, exposure, p.ra_deg, p.dec_deg, half_side));
        }
    }
    return night;
}

// Every (record, field) pair the full evaluation lists at the start, middle
// or end of the field's window, each field's test preceded by the
// one-instant prefilter as in the search.
std::vector<std::pair<int, int>> brute_force_sightings(const Night& night)
{
    std::vector<std::pair<int, int>> found;
    for (std::size_t f = 0; f < night.fields.size(); ++f) {
        const NightField& field = night.fields[f];
        const double s = field.window.start_utc_mjd;
        const double e = field.window.end_utc_mjd;
        std::vector<double> instants{s};
        if (e > s) {
            instants = {s, s + 0.5 * (e - s), e};
        }
        std::vector<bool> seen(night.records.size(), false);
        for (double t : instants) {
            const SearchRequest request{OBSERVER(1), OBSERVER(2), OBSERVER(3), t, field.ra_deg, field.dec_deg,
                                        field.half_side_deg, 99.0};
            const ObserverPositions observer = observer_positions(request);
            const FieldPrefilter prefilter = field_prefilter(request, observer.at);
            for (std::size_t r = 0; r < night.records.size(); ++r) {
                if (!seen[r] && may_be_in_field(prefilter, night.records[r]) &&
                    asteroid_sighting(request, observer, night.records[r])) {
                    seen[r] = true;
                    found.emplace_back(static_cast<int>(r), static_cast<int>(f));
                }
            }
        }
    }
    return found;
}

// A pair the full evaluation lists but the candidates leave out, a repeated
// or unordered candidate, or a segment length that breaks the bound would
// each fail here; the mean candidate count of main-belt records states that
// the work stays small.
TEST(NightCandidates, NeverMissesASightingOfTheBruteForceAndStaySmall)
{
    const Night night = generated_night(3000, 300);
    std::vector<FieldWindow> windows;
    for (const NightField& f : night.fields) {
        windows.push_back(f.window);
    }
    const std::vector<std::pair<int, int>> sightings = brute_force_sightings(night);
    ASSERT_GT(sightings.size(), 100u);

    // Segment and part lengths, hours: short segments, segments with parts,
    // one segment for the night with parts.
    const std::pair<double, double> lengths[] = {{0.25, 1.0}, {2.0, 0.5}, {12.0, 1.0}};
    for (const auto& [hours, part_hours] : lengths) {
        const NightPlan plan = night_plan(windows, OBSERVER, hours, part_hours);
        std::vector<std::vector<int>> candidates(night.records.size());
        std::vector<int> out;
        double main_belt_candidates = 0.0;
        int main_belt_records = 0;
        for (std::size_t r = 0; r < night.records.size(); ++r) {
            candidate_fields(plan, night.records[r], out);
            ASSERT_TRUE(std::adjacent_find(out.begin(), out.end(), std::greater_equal<int>()) == out.end());
            ASSERT_TRUE(out.empty() || (out.front() >= 0 && out.back() < static_cast<int>(windows.size())));
            candidates[r] = out;
            if (night.kinds[r] == MAIN_BELT) {
                main_belt_candidates += static_cast<double>(out.size());
                ++main_belt_records;
            }
        }
        for (const auto& [r, f] : sightings) {
            const std::vector<int>& c = candidates[static_cast<std::size_t>(r)];
            EXPECT_TRUE(std::binary_search(c.begin(), c.end(), f))
                << "segments of " << hours << " h: record " << r << " (kind " << night.kinds[r] << "), field " << f;
        }
        const double share = main_belt_candidates / main_belt_records / static_cast<double>(windows.size());
        EXPECT_LT(share, 0.02) << "segments of " << hours << " h";
        RecordProperty("main_belt_candidate_share_" + std::to_string(static_cast<int>(hours * 100)),
                       std::to_string(share));
    }
}

// Orbits beyond the bound's reach get every field, elements that describe no
// ellipse (never listed by the full evaluation) none.
TEST(NightCandidates, UnboundedOrbitsGetEveryFieldAndNonEllipsesNone)
{
    std::vector<FieldWindow> windows;
    for (int k = 0; k < 7; ++k) {
        windows.push_back(night_field(NIGHT_START + 0.05 * k, 0.0, 50.0 * k, 0.0, 1.0).window);
    }
    const NightPlan plan = night_plan(windows, OBSERVER);
    struct Case {
        AstorbRecord record;
        std::size_t expected;
    };
    const Case cases[] = {
        {record_of(3.0, 0.995, 10.0, 0.0, 0.0, 0.0), 7},
        {record_of(1e-7, 0.5, 10.0, 0.0, 0.0, 0.0), 7},  // faster than the light-time bound allows
        {record_of(3.0, 1.2, 10.0, 0.0, 0.0, 0.0), 0},
        {record_of(-1.0, 0.1, 10.0, 0.0, 0.0, 0.0), 0},
        {record_of(3.0, NAN, 10.0, 0.0, 0.0, 0.0), 0},
    };
    std::vector<int> out{1, 2, 3};
    for (const Case& c : cases) {
        candidate_fields(plan, c.record, out);
        EXPECT_EQ(out.size(), c.expected) << "a = " << c.record.semimajor_axis << ", e = " << c.record.eccentricity;
    }
}

// The observer's displacement over ten minutes, sampled over the two months
// about the Earth's perihelion (2008 January 3), never exceeds the speed
// bound times the interval.
TEST(NightCandidates, ObserverSpeedBoundHoldsOverAYear)
{
    const Vector3 sites[] = {OBSERVER, Vector3{{6378.137, 0.0, 0.0}}, Vector3{{0.0, 0.0, 6356.752}}};
    const double step = 600.0;
    for (const Vector3& site : sites) {
        double fastest = 0.0;
        Vector3 previous = observer_heliocentric_position(54438.0, 0.0, compiled_leap_second_table(), site);
        for (double t = 54438.0 + step / 86400.0; t < 54498.0; t += step / 86400.0) {
            const Vector3 now = observer_heliocentric_position(t, 0.0, compiled_leap_second_table(), site);
            const Vector3 d{{now(1) - previous(1), now(2) - previous(2), now(3) - previous(3)}};
            fastest = std::max(fastest, std::sqrt(dot_product(d, d)) / step);
            previous = now;
        }
        EXPECT_LT(fastest, observer_speed_bound(site));
        EXPECT_GT(fastest, 0.98 * observer_speed_bound(site));  // and the bound is not loose
    }
}

// A field the plan cannot place is named in the message, never indexed.
TEST(NightCandidates, RejectsFieldsThatCannotBePlaced)
{
    const FieldWindow good = night_field(NIGHT_START, 300.0, 10.0, 10.0, 1.0).window;
    std::vector<FieldWindow> bad(4, good);
    bad[0].start_utc_mjd = NAN;
    bad[1].end_utc_mjd = good.start_utc_mjd - 0.01;
    bad[2].centre = Vector3{};
    bad[3].radius = -0.1;
    for (const FieldWindow& b : bad) {
        EXPECT_THROW(night_plan({good, b}, OBSERVER), std::invalid_argument);
    }
    EXPECT_THROW(night_plan({good}, Vector3{{NAN, 0.0, 0.0}}), std::invalid_argument);
    EXPECT_EQ(night_plan({}, OBSERVER).segments.size(), 0u);
}

}  // namespace
