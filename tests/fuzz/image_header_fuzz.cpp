// Fuzz target: FITS header bytes in, a frame or a clear refusal out. A frame
// is then used the way the search drivers use it (centre, size, outline,
// bounding circle, pixel positions of the outline and the footprint test),
// and its bounding circle must hold every outline point.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "image_frame.hpp"

using namespace fieldsearch;

namespace {

void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ImageFrameResult result = image_frame_from_header(bytes, "header.fits");
    if (!result.frame) {
        if (result.exit_status != 2 || result.error.rfind("header.fits: ", 0) != 0 ||
            result.error.find('\n') != std::string::npos) {
            fail("a refusal without status 2 or a one-line message naming the file", result.error);
        }
        return 0;
    }
    if (result.exit_status != 0 || !result.error.empty()) {
        fail("a frame with an error", result.error);
    }
    const ImageFrame& frame = *result.frame;
    if (frame.naxis1 < 1 || frame.naxis2 < 1) {
        fail("a frame without pixels", std::to_string(frame.naxis1) + " x " + std::to_string(frame.naxis2));
    }
    if (frame.exposure && !(std::isfinite(frame.exposure->start_utc_mjd) &&
                            std::isfinite(frame.exposure->mid_utc_mjd) && frame.exposure->length_seconds >= 0.0)) {
        fail("an exposure that is not finite", "");
    }
    (void)frame_centre(frame);
    (void)frame_size(frame);
    const BoundingCircle circle = widened_bounding_circle(frame);
    const ImageFrame copy = frame;  // copies share the projection
    for (const SkyPoint& sky : widened_outline(copy, 4)) {
        if (!std::isfinite(sky.ra_deg) || !(std::fabs(sky.dec_deg) <= 90.0)) {
            fail("an outline point that is not a sky position", std::to_string(sky.ra_deg));
        }
        const Vector3 u = unit_vector_from_sky(sky.ra_deg, sky.dec_deg);
        const double angle = std::acos(std::fmax(-1.0, std::fmin(1.0, dot_product(u, circle.centre))));
        if (angle > circle.radius_rad + 1e-9) {
            fail("an outline point outside the bounding circle", std::to_string(angle));
        }
        if (const auto p = pixel_position(copy, sky.ra_deg, sky.dec_deg)) {
            (void)in_widened_footprint(copy, *p);
        }
    }
    (void)pixel_position(frame, NAN, 0.0);
    (void)sky_position(frame, 1e300, -1e300);
    return 0;
}
