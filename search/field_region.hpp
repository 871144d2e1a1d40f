// The accepted region of one field, whatever its shape: the widened square
// about a centre, or the widened footprint of an image through its world
// coordinate system (for a frame partly off the sky, the part that lies on
// it). What the searches ask of it: is a place inside, how far is a place at
// least from its boundary, where does a place fall on the image, and a
// circle on the sky that holds it.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "exposure_search.hpp"
#include "image_frame.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

// The boundary on the sky of the accepted region of a frame partly off the
// sky, as arcs between sampled points of it: the parts of the widened
// footprint's edge that lie on the sky, and the limb of the projection
// (where the image leaves the sky, or crosses a seam beyond which the WCS
// gives its places other pixels) within the footprint. The boundary
// between the two ends of an arc lies within the arc's length of either
// end. The arcs are held in a quadtree over the faces of a cube (each
// node's cap holds its arcs and their margins), so that a search looks at
// the near arcs only.
struct SkyBoundary {
    struct Arc {
        Vector3 a;
        Vector3 b;
        double length_rad;
    };
    struct Node {
        Vector3 centre;
        double radius_rad;
        std::size_t first_child;  // into nodes; no children for a leaf
        std::size_t child_count;
        std::size_t first_arc;  // the node's arcs, its children's included
        std::size_t arc_count;
    };
    std::vector<Arc> arcs;
    std::vector<Node> nodes;
    std::vector<std::size_t> roots;  // one per cube face that holds arcs
};

struct FieldRegion {
    SquareRegion square;                       // the square, when there is no frame
    std::shared_ptr<const ImageFrame> frame;   // the frame, or null
    BoundingCircle cap;                        // holds the whole accepted region
    double least_scale_rad_per_pixel;          // frame only: half the smallest plate scale over the footprint
    SkyBoundary boundary;                      // a frame partly off the sky only
};

// The region of a field: its frame's footprint, or its square (request's
// centre and half side).
FieldRegion field_region(const FieldSearch& field);

// True when the place (J2000 degrees) lies in the region: the square field
// test (magnitude aside), or a pixel position inside the widened footprint.
bool in_field_region(const FieldRegion& region, double ra_deg, double dec_deg);

// The exposure search's view of the region for one place: inside as
// in_field_region says, and a lower bound of the angular distance to the
// boundary (radians). For a frame the bound comes from the bounding circle
// far away and, near the footprint, from the pixel distance to its edge
// times half the least plate scale; for a frame partly off the sky, from
// the distance to the sampled boundary less the arcs' lengths.
RegionTest field_region_test(const FieldRegion& region, const SkyPlace& place);

// The pixel position of a place on the region's image (FITS convention),
// empty without a frame or when the WCS cannot place it.
std::optional<PixelPosition> field_pixel(const FieldRegion& region, double ra_deg, double dec_deg);

// The sampled boundary of a frame's accepted region on the sky (empty for a
// frame wholly on the sky).
SkyBoundary sky_boundary(const ImageFrame& frame);

// A lower bound of the angle (radians) from the unit vector `p` to the
// boundary: the least over its arcs of the angle to the nearer end less the
// arc's length, found best first through the quadtree; after a few
// expansions without reaching a leaf, the least bound of the caps still
// open (lower, but still a bound). 0 at least; pi for an empty boundary.
double boundary_clearance(const SkyBoundary& boundary, const Vector3& p);

}  // namespace fieldsearch
