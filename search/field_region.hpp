// The accepted region of one field, whatever its shape: the widened square
// about a centre, or the widened footprint of an image through its world
// coordinate system. What the searches ask of it: is a place inside, how far
// is a place at least from its boundary, where does a place fall on the
// image, and a circle on the sky that holds it.
#pragma once

#include <memory>
#include <optional>

#include "exposure_search.hpp"
#include "image_frame.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

struct FieldRegion {
    SquareRegion square;                       // the square, when there is no frame
    std::shared_ptr<const ImageFrame> frame;   // the frame, or null
    BoundingCircle cap;                        // holds the whole accepted region
    double least_scale_rad_per_pixel;          // frame only: half the smallest plate scale over the footprint
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
// times half the least plate scale.
RegionTest field_region_test(const FieldRegion& region, const SkyPlace& place);

// The pixel position of a place on the region's image (FITS convention),
// empty without a frame or when the WCS cannot place it.
std::optional<PixelPosition> field_pixel(const FieldRegion& region, double ra_deg, double dec_deg);

}  // namespace fieldsearch
