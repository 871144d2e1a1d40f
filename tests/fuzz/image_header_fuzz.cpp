// Fuzz target: FITS bytes in, a frame or a clear refusal out. The bytes are
// read twice: as the cards of one header, and as a whole file in memory (its
// extensions, the inheritance of the primary's keywords and the lookup
// tables of its distortions). A frame is then used the way the search
// drivers use it (centre, size, outline, bounding circle, pixel positions of
// the outline and the footprint test); its exposure and site must lie within
// their bounds, and its bounding circle must hold every outline point.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "constants.hpp"
#include "image_frame.hpp"

using namespace fieldsearch;

namespace {

void fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

void check(const ImageFrameResult& result, const std::string& name)
{
    if (!result.frame) {
        // The file's name, with the HDU's number when the frame was looked
        // for in an extension ("file.fits[1]: ...").
        const bool named = result.error.rfind(name + ": ", 0) == 0 ||
                           (result.error.rfind(name + "[", 0) == 0 && result.error.find("]: ") != std::string::npos);
        if (result.exit_status != 2 || !named || result.error.find('\n') != std::string::npos ||
            result.error.size() <= name.size() + 2) {
            fail("a refusal without status 2 or a one-line message naming the file", result.error);
        }
        return;
    }
    if (result.exit_status != 0 || !result.error.empty()) {
        fail("a frame with an error", result.error);
    }
    const ImageFrame& frame = *result.frame;
    if (frame.naxis1 < 1 || frame.naxis2 < 1) {
        fail("a frame without pixels", std::to_string(frame.naxis1) + " x " + std::to_string(frame.naxis2));
    }
    if (frame.exposure &&
        !(std::isfinite(frame.exposure->start_utc_mjd) && std::isfinite(frame.exposure->mid_utc_mjd) &&
          frame.exposure->length_seconds >= 0.0 && frame.exposure->length_seconds <= MAX_HEADER_EXPOSURE_S)) {
        fail("an exposure that is not finite or not within 0 to 86400 s", std::to_string(frame.exposure->length_seconds));
    }
    if (!frame.exposure && frame.no_instant.empty()) {
        fail("no instant and no word of why", "");
    }
    if (frame.site_earth_fixed_km) {
        const Vector3& s = *frame.site_earth_fixed_km;
        if (!(std::hypot(s(1), s(2), s(3)) <= MAX_OBSERVER_DISTANCE_KM)) {
            fail("a site beyond the bound", std::to_string(s(1)));
        }
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
    (void)own_sky_position(frame, 0.5 * frame.naxis1, 0.5 * frame.naxis2);
    (void)pixel_position(frame, NAN, 0.0);
    (void)sky_position(frame, 1e300, -1e300);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(image_frame_from_header(bytes, "header.fits"), "header.fits");
    check(image_frame_from_memory(bytes, "file.fits"), "file.fits");
    return 0;
}
