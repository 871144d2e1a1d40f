// The frame of a FITS image: its size, its world coordinate system (any
// projection and distortion the WCS library interprets, and the lookup-table
// distortions it does not), its celestial reference system, the exposure and
// the observing site its header records, and the footprint a search tests
// against.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "angles.hpp"
#include "observation_keywords.hpp"
#include "reference_systems.hpp"
#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// FITS pixel coordinates: the centre of the first pixel is (1.0, 1.0).
struct PixelPosition {
    double x;
    double y;
};

// The set-up world coordinate system of a frame, shared by every copy of the
// frame. Opaque: only image_frame.cpp looks inside.
class FrameProjection;

// A frame as its header describes it. Copies share one projection.
struct ImageFrame {
    int naxis1;  // pixels along x
    int naxis2;  // pixels along y
    std::optional<Exposure> exposure;            // see header_exposure
    std::string no_instant;                      // without an exposure: what the header lacks
    std::optional<Vector3> site_earth_fixed_km;  // geocentric Earth-fixed, km
    CelestialSystem system;                      // the WCS's reference system
    bool wholly_on_sky;  // every point of the widened footprint has an own sky position
    std::shared_ptr<const FrameProjection> projection;
};

// A frame, or why there is none: a one-line message naming the file and the
// problem, and the exit status (1: the file cannot be read; 2: the header
// cannot describe a frame).
struct ImageFrameResult {
    std::optional<ImageFrame> frame;
    std::string error;
    int exit_status;  // 0 with a frame
};

// The frame of the image at `path`, which may use CFITSIO's extended syntax
// (`frame.fits[1]`). Without an HDU named, the primary HDU, or the first image
// extension with a celestial WCS when the primary has none. An extension
// that says INHERIT = T takes every keyword it lacks from the primary
// header; lookup tables come from the file's WCSDVARR and D2IMARR
// extensions.
ImageFrameResult image_frame_from_file(const std::string& path,
                                      const LeapSecondTable& leap_seconds = compiled_leap_second_table());

// The frame of a whole FITS file held in memory (`bytes`, padded with zeros
// to whole blocks), read as image_frame_from_file reads a file; `name`
// stands for the file in messages.
ImageFrameResult image_frame_from_memory(std::string_view bytes, const std::string& name,
                                        const LeapSecondTable& leap_seconds = compiled_leap_second_table());

// The frame described by `header_cards` (80-character cards up to END, as in
// a file); `name` stands for the file in messages. A lookup table asked for
// is refused: a header alone holds none.
ImageFrameResult image_frame_from_header(std::string_view header_cards, const std::string& name,
                                        const LeapSecondTable& leap_seconds = compiled_leap_second_table());

// Pixel position of (ra, dec) (degrees, mean equator and equinox of J2000,
// brought to the WCS's reference system first); empty when the WCS cannot
// place the point (behind the projection, outside its domain, not finite).
// Safe to call from several threads at once on the same frame.
std::optional<PixelPosition> pixel_position(const ImageFrame& frame, double ra_deg, double dec_deg);

// Sky position (mean equator and equinox of J2000, degrees) of the pixel
// position (x, y); empty when the WCS gives none there (off the sky). Safe
// to call from several threads at once.
std::optional<SkyPoint> sky_position(const ImageFrame& frame, double x, double y);

// The sky position of the pixel (x, y) when the WCS takes that sky position
// back to the same pixel (to 1e-6 of a pixel, and of the pixel's distance
// from the reference pixel); empty off the sky, and where the image shows a
// part of the sky a second time beyond a seam of its projection (the WCS
// gives those places their other pixel, so they are not in the frame there).
std::optional<SkyPoint> own_sky_position(const ImageFrame& frame, double x, double y);

// Half-widths of the widened footprint about the image centre, pixels: the
// image spans 0.5 to NAXIS + 0.5 on each axis, widened by 5 % of its width
// and of its height on each side.
inline constexpr double FOOTPRINT_WIDENING = 1.1;

// True when `p` lies in the widened footprint; the boundary is accepted and a
// non-finite position is not.
bool in_widened_footprint(const ImageFrame& frame, const PixelPosition& p);

// Sky position of the image centre, pixel ((NAXIS1 + 1) / 2, (NAXIS2 + 1) / 2);
// when the centre lies off the sky, that of the pixel nearest to it on a
// grid of the footprint that lies on the sky.
std::optional<SkyPoint> frame_centre(const ImageFrame& frame);

// Width and height of the image (not widened), arcminutes: the angular
// distance between the midpoints of its opposite edges; when those are not
// all on the sky (a frame partly off it), the length on the sky of its
// middle row and column where they lie on it.
struct FrameSize {
    double width_arcmin;
    double height_arcmin;
};

// Size of the image on the sky (0 along a middle line wholly off the sky).
std::optional<FrameSize> frame_size(const ImageFrame& frame);

// Sky points along the edges of the widened footprint, `points_per_edge` on
// each edge starting at its corner, in the order of pixel corners (low x, low
// y), (high x, low y), (high x, high y), (low x, high y); the first point is
// not repeated at the end. Points the WCS cannot place are left out.
std::vector<SkyPoint> widened_outline(const ImageFrame& frame, int points_per_edge);

// A cap of the sky holding the whole widened footprint: centre unit vector
// (J2000) and angular radius (radians), with a safety margin. A radius of pi
// (the whole sky) when the footprint's edge cannot be placed everywhere (a
// frame partly off the sky) or reaches beyond 90 degrees from the centre.
struct BoundingCircle {
    Vector3 centre;
    double radius_rad;
};

// The bounding circle of the widened footprint.
BoundingCircle widened_bounding_circle(const ImageFrame& frame);

}  // namespace fieldsearch
