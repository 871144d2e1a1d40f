// The square-field test: is an object's place inside the square field of a
// search (on the tangent plane about the field centre), and bright enough?
#pragma once

namespace fieldsearch {

// Standard coordinates of a point about a centre, degrees: xi towards
// increasing right ascension, eta towards the north. cos_distance is the
// cosine of the angular distance of the point from the centre, the
// denominator of the gnomonic projection; when it is not positive the point
// lies 90 deg or more from the centre and xi, eta describe its mirror image
// (or are not finite).
struct TangentPlaneOffsets {
    double xi;
    double eta;
    double cos_distance;
};

// Gnomonic offsets of the point (ra, dec) about the centre (ra0, dec0), all
// in degrees.
TangentPlaneOffsets tangent_plane_offsets(double ra, double dec, double ra0, double dec0);

// The accepted square is this many half sides wide on each axis of the
// tangent plane: 10 % wider on each side than the nominal field.
inline constexpr double SQUARE_FIELD_ACCEPTANCE = 1.1;
// Fields centred within this many half sides of the equator also take a
// window on right ascension (folded above SQUARE_FIELD_RA_FOLD_DEG degrees,
// across 0 h); the others a window on declination.
inline constexpr double SQUARE_FIELD_EQUATORIAL_LIMIT = 1.5;
inline constexpr double SQUARE_FIELD_RA_FOLD_DEG = 330.0;

// The angular radius (radians) of a cap about the centre that holds every
// place the square of half side `half_side_deg` (degrees) accepts: its
// corners lie atan(sqrt(2) 1.1 h) from the centre (h in radians), plus a
// margin of 1e-7 for rounding.
double square_field_cap_radius(double half_side_deg);

// 1 when the object at (ra, dec) with magnitude `mag` lies in the square of
// half side h about (ra0, dec0), widened by 10 % on each side, and is not
// fainter than mag_limit; 0 otherwise. Degrees throughout. Boundary values are
// accepted. Non-finite inputs and points 90 deg or more from the centre are
// rejected.
int in_square_field(double ra, double dec, double mag, double ra0, double dec0, double h, double mag_limit);

}  // namespace fieldsearch
