// Overlays of a searched field and the objects found in it: a region file for
// an image viewer (degrees in the reference system of the field's image, fk5
// for a square) and an SVG finder chart. The functions return the texts; the
// drivers write them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "angles.hpp"
#include "reference_systems.hpp"

namespace fieldsearch {

// What the marks stand for: asteroids are sized by magnitude, satellites are
// drawn alike.
enum class OverlayObjectKind { asteroid, satellite };

// The field: its centre, its outline as a closed polygon (the first vertex is
// not repeated at the end), a title and the caption lines printed under the
// chart (the instant, the field size). J2000 degrees.
struct OverlayField {
    std::string title;
    double centre_ra_deg = 0.0;
    double centre_dec_deg = 0.0;
    std::vector<SkyPoint> outline;
    std::vector<std::string> caption_lines;
    OverlayObjectKind kind = OverlayObjectKind::asteroid;
    // The system the region file writes its places in: the image's own,
    // so that a viewer lands each mark on the image's pixel.
    CelestialSystem region_system = CelestialSystem::fk5_j2000;
};

// One object found: its label (designation), place, magnitude when known, and
// the track it runs over the exposure (or the caller's chosen interval) from
// track_start to track_end. J2000 degrees.
struct OverlayObject {
    std::string label;
    double ra_deg = 0.0;
    double dec_deg = 0.0;
    std::optional<double> magnitude;
    std::optional<SkyPoint> track_start;
    std::optional<SkyPoint> track_end;
};

// The square of half side half_side_deg * widening about (centre_ra_deg,
// centre_dec_deg) on the tangent plane (xi towards increasing RA, eta north,
// as tangent_plane_offsets), de-projected to the sky at 8 points per edge:
// 32 vertices from the south-east corner (xi = +s, eta = -s) on to the
// north-east, north-west and south-west corners, the first not repeated.
// J2000 degrees, RA in [0, 360).
std::vector<SkyPoint> square_field_outline(double centre_ra_deg, double centre_dec_deg, double half_side_deg,
                                           double widening);

// A region file in degrees of the field's region_system (icrs, fk5 or fk4,
// the places brought from J2000 to it): header, global properties, the
// field outline as a polygon, and per object a circle labelled with its
// designation and, with a track, a line with an arrow from its start to its
// end. Objects or vertices with a non-finite coordinate are left out.
std::string ds9_region_text(const OverlayField& field, const std::vector<OverlayObject>& objects);

// An SVG 1.1 finder chart: gnomonic projection about the field centre, north
// up and east left, with the outline, an RA/Dec grid, the objects, their
// motion as arrows, the title, the caption lines and a scale bar.
std::string finder_chart_svg(const OverlayField& field, const std::vector<OverlayObject>& objects);

}  // namespace fieldsearch
