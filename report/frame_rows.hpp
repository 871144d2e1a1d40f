// What a row shows beyond a program's own columns when its field is an image
// or an exposure: the pixel position, the places at the start and the end of
// the exposure, and when the object is inside the field. CSV appends these
// columns only when they apply to the run: x, y with an image;
// ra_start_deg, dec_start_deg, ra_end_deg, dec_end_deg, t_in_s, t_out_s with
// an exposure; x_start, y_start, x_end, y_end with both.
#pragma once

#include <optional>
#include <string>

#include "exposure_search.hpp"
#include "frame_overlays.hpp"
#include "field_region.hpp"
#include "image_frame.hpp"
#include "rows.hpp"
#include "search_plan.hpp"

namespace fieldsearch {

struct RowExtras {
    std::optional<PixelPosition> pixel;  // at the row's instant, FITS convention
    bool exposure = false;               // the places and times below are filled
    double ra_start_deg = 0.0;           // at the exposure's start, J2000 degrees
    double dec_start_deg = 0.0;
    double ra_end_deg = 0.0;             // at its end
    double dec_end_deg = 0.0;
    double t_in_s = 0.0;                 // first and last seconds after the start inside the widened field
    double t_out_s = 0.0;
    std::optional<PixelPosition> pixel_start;
    std::optional<PixelPosition> pixel_end;
};

// The extras of an object the exposure search found in `region`: the
// crossing's entry and exit, its places at the start and the end of the
// exposure and, on an image, their pixel positions (the row's own pixel
// position is the caller's).
RowExtras exposure_extras(const ExposureCrossing& crossing, const SkyPlace& start, const SkyPlace& end,
                          const FieldRegion& region);

// The overlay mark of a row at (ra_deg, dec_deg), J2000 degrees, with its
// track: over the exposure when `extras` hold one, else from the place on by
// (ra_step_deg, dec_step_deg).
OverlayObject overlay_mark(std::string label, double ra_deg, double dec_deg, std::optional<double> magnitude,
                           const RowExtras& extras, double ra_step_deg, double dec_step_deg);

// Which of the extra columns a run's CSV has.
struct ExtraColumns {
    bool image = false;
    bool exposure = false;
};

// The extra columns of a plan: image when any field is an image, exposure
// when any field has an exposure.
ExtraColumns extra_columns(const SearchPlan& plan);

// Appends the names of the extra columns to `columns`.
void append_extra_columns(const ExtraColumns& extra, RowColumns& columns);

// Appends the values of the extra columns of a row to `row`; an absent value
// stays absent (an empty CSV field, null in JSON).
void append_extra_values(const ExtraColumns& extra, const RowExtras& extras, Row& row);

}  // namespace fieldsearch
