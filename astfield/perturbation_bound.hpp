// Rigorous upper bounds of how far an orbit integrated under the Sun, the
// planets and the Moon (nbody_propagation.hpp) can lie from its two-body
// place, so that a search can rule records out by their two-body places
// widened by the bound, and integrate only the rest. The derivation is in
// doc/nbody-bound.md.
#pragma once

#include <cmath>

#include "astorb_record.hpp"
#include "planet_ephemeris.hpp"
#include "two_body.hpp"

namespace fieldsearch {

// Bounds of |r - k| (AU) and |r' - k'| (AU/day) at the end of the span, r
// the integrated heliocentric orbit and k the two-body orbit from the same
// state at the start; infinite when the orbit may come too near a body (or
// the Sun) for the bound to hold, e.g. when its distances from the Sun
// overlap a planet's.
struct DeviationBound {
    double distance;
    double speed;
};

// The bound at TT MJD `tt` for the orbit `elements` osculating at TT MJD
// `epoch_tt`, from the bodies' heliocentric distance ranges alone (a few
// hundred operations; `ranges` from body_distance_ranges of a table
// covering the span). The span is cut into `pieces` equal pieces, each with
// the two-body orbit's own distance range over it.
// A bound that would pass `give_up_au` (or 0.25 AU, of use to no search)
// is given up as infinite early.
DeviationBound shell_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                     const BodyDistanceRanges& ranges, int pieces = 12,
                                     double give_up_au = INFINITY);

// As shell_deviation_bound, also using where the bodies are: in each piece
// the distance from a body is bounded below by the distance between the
// two-body place and the body's tabulated place at the piece's middle, less
// what both can move in half a piece and less the deviation itself. Finite
// for many orbits that cross a planet's distances (Trojans, Mars crossers,
// near-Earth objects away from an approach); `table` must cover the span.
DeviationBound path_deviation_bound(const PerihelionElements& elements, double epoch_tt, double tt,
                                    const PlanetTable& table, const BodyDistanceRanges& ranges, int pieces = 48,
                                    double give_up_au = INFINITY);

// The bound after `span_days` for every orbit whose two-body distance from
// the Sun stays within [least_au, greatest_au] and whose two-body speed stays
// below `speed_au_per_day` over the span, from the bodies' distance ranges
// alone, as one piece: looser than shell_deviation_bound of any such orbit,
// but one value serves a whole class of orbits. It grows with the span and
// with the distance range and speed widened.
DeviationBound range_deviation_bound(double least_au, double greatest_au, double speed_au_per_day, double span_days,
                                     const BodyDistanceRanges& ranges);

// The perihelion elements of an asteroid record (q = a (1 - e), perihelion
// time within half a period of the epoch), for the bounds.
PerihelionElements record_perihelion_elements(const AstorbRecord& record);

// The largest angle (radians) between the directions from an observer to two
// points at most `bound` apart, one of them `distance` away (same unit): pi
// when the bound reaches the observer.
double deviation_angle(double bound, double distance);

}  // namespace fieldsearch
