// Searching a whole exposure: is an object inside a field at any instant
// from the start of an exposure to its end, and from when to when? The
// search samples the place at instants chosen from a bound of the object's
// speed and the distance to the field's boundary, so that no entry falls
// between two samples unseen; doc/exposure-search.md derives the step, says
// what can be missed and what it costs.
#pragma once

#include <array>
#include <limits>
#include <memory>
#include <type_traits>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// The place of an object at one instant, as the caller's full evaluation
// gives it (asteroids: with light time; satellites: topocentric).
// The caller may ask for a condition besides the field (a satellite's
// being lit): a place where it does not hold counts as outside, and
// condition_clearance_rad bounds from below, as a region's clearance does,
// how far the direction must turn before it can change (INFINITY for a
// condition that holds throughout, as when none is asked for).
struct SkyPlace {
    bool ok;             // false when the object could not be evaluated
    double ra_deg;       // right ascension, degrees, J2000
    double dec_deg;      // declination, degrees, J2000
    Vector3 direction;   // unit vector towards (ra_deg, dec_deg), J2000
    double distance_km;  // from the observer to the object, km
    bool condition_holds = true;
    double condition_clearance_rad = std::numeric_limits<double>::infinity();
};

// What a search needs to know about a field for one place: the program's
// exact acceptance answer, and a lower bound (radians) of the angular
// distance from the place to the boundary of the field: to the field from
// outside, to its exterior from inside. Zero when nothing better is known.
struct RegionTest {
    bool inside;
    double clearance_rad;
};

// A non-owning reference to a callable object taking an `Argument` and
// returning a `Result`: two pointers, no allocation. The callable must
// outlive the reference (a lambda passed straight to a function does).
template <class Result, class Argument>
class CallableReference {
public:
    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, CallableReference> &&
                 std::is_object_v<std::remove_reference_t<F>> &&
                 std::is_invocable_r_v<Result, std::remove_reference_t<F>&, Argument>)
    CallableReference(F&& callable)  // NOLINT: converting by design
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_(&call<std::remove_reference_t<F>>)
    {
    }

    Result operator()(Argument argument) const { return call_(object_, argument); }

private:
    template <class F>
    static Result call(void* object, Argument argument)
    {
        return (*static_cast<F*>(object))(argument);
    }

    void* object_;
    Result (*call_)(void*, Argument);
};

// The caller's place of the object at t seconds after the start.
using PlaceFunction = CallableReference<SkyPlace, double>;

// The caller's field test of a place.
using RegionFunction = CallableReference<RegionTest, const SkyPlace&>;

// The acceptance square of a search (half side h widened by 10 % on each
// side, on the gnomonic tangent plane about the centre) with what its
// clearance needs, computed once per search.
struct SquareRegion {
    double centre_ra_deg;
    double centre_dec_deg;
    double half_side_deg;
    bool valid;                          // all three finite
    Vector3 centre;                      // unit vector of the centre, J2000
    std::array<Vector3, 4> edge_normals; // unit normals n of the four edge planes; inside where n . x >= 0
    bool ra_window;                      // the square test also holds right ascension in a window
    int meridian_count;                  // meridians bounding that window
    std::array<Vector3, 5> meridian_normals;
    double dec_low_deg;                  // declination window when ra_window is false
    double dec_high_deg;
};

// The region of the square field of half side `half_side_deg` about
// (centre_ra_deg, centre_dec_deg), degrees.
SquareRegion square_region(double centre_ra_deg, double centre_dec_deg, double half_side_deg);

// The square's test of `place`: inside exactly when in_square_field accepts
// (ra_deg, dec_deg), magnitude aside; the clearance a rigorous lower bound,
// radians, computed from place.direction and place.dec_deg.
RegionTest square_region_test(const SquareRegion& region, const SkyPlace& place);

// The outcome of searching one object over an exposure.
struct ExposureCrossing {
    bool evaluated;    // false: bad arguments, or the place failed at a sampled instant
    bool found;        // inside at some instant of [0, exposure_s]
    double t_in_s;     // first instant known inside, s after the start
    double t_out_s;    // last instant known inside, s after the start
    int evaluations;   // calls of `place`
};

// Whether the object whose place is `place(t)` lies in `region` at some
// instant t of [0, exposure_s] (seconds), and the first and last instants it
// does, each within resolution_s of the true entry and exit. Where the place
// carries a condition that does not hold it is outside: the search then
// finds the instants inside the region where the condition holds.
// speed_bound_km_s bounds |d/dt (object - observer)| over the exposure, km/s;
// resolution_s (> 0) is the shortest step, s (see the top of this file for
// what can be missed), raised to exposure_s * 1e-9 when smaller. exposure_s = 0 tests the start alone.
ExposureCrossing exposure_crossing(PlaceFunction place, RegionFunction region, double exposure_s,
                                   double speed_bound_km_s, double resolution_s);

}  // namespace fieldsearch
