// Searching a whole exposure: is an object inside a field at any instant
// from the start of an exposure to its end, and from when to when?
//
// The search samples the object's place at instants chosen so that no entry
// into the field can fall between two samples unseen. Its two inputs are the
// caller's evaluation of the place (`place(t)`, t in seconds after the start)
// and a region test that gives, besides the acceptance answer, a lower bound
// of the angular distance from the place to the region's boundary.
//
// Why nothing is missed. Let V bound the speed of the vector from the
// observer to the object over the exposure (|d/dt (object - observer)| <= V,
// km/s). Over h seconds that vector moves by at most V h, so its direction
// turns by at most asin(V h / rho), rho being its length at the sample (a
// ball of radius V h seen from a distance rho subtends that half-angle; when
// V h >= rho there is no bound). A place at clearance c from the boundary
// therefore keeps its inside-or-outside status for every h < rho sin(c) / V
// (rho / V when c >= 90 deg): the search steps by that much and cannot step
// over an entry or an exit. When that interval is shorter than resolution_s
// the search steps by resolution_s instead. That forced step is the only
// place where something can be missed: a stay shorter than resolution_s, all
// of whose path lies within asin(V resolution_s / rho) of the boundary, rho
// being the distance at the sample before it (an angle close to
// V resolution_s / rho). A status change between two samples is refined by
// bisection until the instants bracketing it are at most resolution_s apart
// (the step rule already brackets it that closely but for a change falling
// exactly at the end of a full step, which only rounding produces).
//
// The start is always sampled; the end is sampled unless the status at the
// last sample provably holds up to it (then an object inside there has
// t_out_s = exposure_s without a further evaluation).
//
// Cost. A far object costs one evaluation when its first safe interval
// already covers the exposure. Otherwise every step advances by at least
// resolution_s, so the scan takes at most exposure_s / resolution_s + 2
// samples, plus about log2(step / resolution_s) for each bisection; steps are
// long far from the boundary and shrink near it, so a satellite crossing a
// field costs a few tens of evaluations (38 for a 5 deg field crossed in 2 s
// in a 300 s exposure). The looser V is against the object's true speed
// across the boundary, the slower steps shrink and grow near it: ten times
// too loose costs some tens of evaluations per crossing.
#pragma once

#include <array>
#include <memory>
#include <type_traits>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// The place of an object at one instant, as the caller's full evaluation
// gives it (asteroids: with light time; satellites: topocentric).
struct SkyPlace {
    bool ok;             // false when the object could not be evaluated
    double ra_deg;       // right ascension, degrees, J2000
    double dec_deg;      // declination, degrees, J2000
    Vector3 direction;   // unit vector towards (ra_deg, dec_deg), J2000
    double distance_km;  // from the observer to the object, km
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
// does, each within resolution_s of the true entry and exit.
// speed_bound_km_s bounds |d/dt (object - observer)| over the exposure, km/s;
// resolution_s (> 0) is the shortest step, s (see the top of this file for
// what can be missed), raised to exposure_s * 1e-9 when smaller. exposure_s = 0 tests the start alone.
ExposureCrossing exposure_crossing(PlaceFunction place, RegionFunction region, double exposure_s,
                                   double speed_bound_km_s, double resolution_s);

}  // namespace fieldsearch
