// The square-field test: is an object's place inside the square field of a
// search (on the tangent plane about the field centre), and bright enough?
#pragma once

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

// 1 when the object at (ra, dec) with magnitude `mag` lies in the square of
// half side h about (ra0, dec0), widened by 10 % on each side, and is not
// fainter than mag_limit; 0 otherwise. Degrees throughout. Boundary values are
// accepted. Non-finite inputs and points 90 deg or more from the centre are
// rejected.
int in_square_field(double ra, double dec, double mag, double ra0, double dec0, double h, double mag_limit);
