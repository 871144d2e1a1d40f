// Writes the two sample FITS frames under data/: astfield-frame.fits (TAN)
// and satfield-frame.fits (TAN-SIP), each a coarse synthetic image over the
// compiled-in field of its program, with the exposure and the site in the
// header.
//
//     make_sample_frames OUTPUT_DIRECTORY
//
// astfield: 200 x 200 pixels of 36'' (2 deg square) about 0h 0m 10s, +0 30',
// exposed 60 s from 2008-05-20 05:13:30 UTC (mid-exposure 05:14:00).
// satfield: 200 x 200 pixels of 90'' (5 deg square) about 11h 28m, +1 16',
// exposed 60 s from 20:53:30 UTC (mid-exposure 20:54:00); during it the
// sample element sets 27997U and 45990U cross the field, in it only around
// 20:54:00. Both observe from the compiled-in site, written as OBSGEO-X/Y/Z.
#include <fitsio.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct SipTerm {
    const char* name;
    double value;
};

struct SampleFrame {
    const char* file_name;
    const char* object;
    long naxis1;
    long naxis2;
    double crval1_deg;
    double crval2_deg;
    double scale_deg;  // pixel side
    const char* date_obs;
    double exptime_s;
    std::vector<SipTerm> sip;  // empty: plain TAN
    std::uint32_t seed;
};

// Site of the compiled-in scenarios, metres, geocentric Earth-fixed.
constexpr double SITE_X_M = 3395030.3;
constexpr double SITE_Y_M = 3128791.1;
constexpr double SITE_Z_M = 4388851.1;

// Park and Miller's minimal standard generator: a fixed sequence, so that the
// files come out byte for byte the same every time.
std::uint32_t next_random(std::uint32_t& state)
{
    state = static_cast<std::uint32_t>((static_cast<std::uint64_t>(state) * 48271u) % 2147483647u);
    return state;
}

// Sky background with a gentle gradient and forty stars of Gaussian profile.
std::vector<unsigned char> synthetic_image(const SampleFrame& frame)
{
    std::vector<double> level(static_cast<std::size_t>(frame.naxis1 * frame.naxis2));
    for (long y = 0; y < frame.naxis2; ++y) {
        for (long x = 0; x < frame.naxis1; ++x) {
            level[static_cast<std::size_t>(y * frame.naxis1 + x)] = 20.0 + 10.0 * y / frame.naxis2;
        }
    }
    std::uint32_t state = frame.seed;
    for (int star = 0; star < 40; ++star) {
        const double cx = (next_random(state) % 10000u) * 1e-4 * frame.naxis1;
        const double cy = (next_random(state) % 10000u) * 1e-4 * frame.naxis2;
        const double peak = 30.0 + (next_random(state) % 200u);
        for (long y = static_cast<long>(cy) - 6; y <= static_cast<long>(cy) + 6; ++y) {
            for (long x = static_cast<long>(cx) - 6; x <= static_cast<long>(cx) + 6; ++x) {
                if (x < 0 || y < 0 || x >= frame.naxis1 || y >= frame.naxis2) {
                    continue;
                }
                const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                level[static_cast<std::size_t>(y * frame.naxis1 + x)] += peak * std::exp(-r2 / (2.0 * 1.5 * 1.5));
            }
        }
    }
    std::vector<unsigned char> pixels(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(std::fmin(255.0, std::round(level[i])));
    }
    return pixels;
}

// Writes one frame; the CFITSIO status (0 on success).
int write_frame(const std::string& directory, const SampleFrame& frame)
{
    const std::string path = "!" + directory + "/" + frame.file_name;  // '!': replace an existing file
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_file(&f, path.c_str(), &status);
    std::array<long, 2> size{frame.naxis1, frame.naxis2};
    fits_create_img(f, BYTE_IMG, 2, size.data(), &status);

    auto key_text = [&](const char* key, const char* value, const char* comment) {
        fits_update_key(f, TSTRING, key, const_cast<char*>(value), comment, &status);
    };
    auto key_number = [&](const char* key, double value, const char* comment) {
        fits_update_key(f, TDOUBLE, key, &value, comment, &status);
    };
    const bool sip = !frame.sip.empty();
    key_text("OBJECT", frame.object, "synthetic sample frame");
    key_text("CTYPE1", sip ? "RA---TAN-SIP" : "RA---TAN", "gnomonic projection");
    key_text("CTYPE2", sip ? "DEC--TAN-SIP" : "DEC--TAN", "gnomonic projection");
    key_number("CRPIX1", 0.5 * (frame.naxis1 + 1), "reference pixel: the image centre");
    key_number("CRPIX2", 0.5 * (frame.naxis2 + 1), "reference pixel: the image centre");
    key_number("CRVAL1", frame.crval1_deg, "[deg] right ascension at the reference pixel");
    key_number("CRVAL2", frame.crval2_deg, "[deg] declination at the reference pixel");
    key_number("CD1_1", -frame.scale_deg, "[deg/pixel] east to the left");
    key_number("CD1_2", 0.0, "");
    key_number("CD2_1", 0.0, "");
    key_number("CD2_2", frame.scale_deg, "[deg/pixel] north up");
    key_text("CUNIT1", "deg", "");
    key_text("CUNIT2", "deg", "");
    key_text("RADESYS", "ICRS", "");
    if (sip) {
        int order = 2;
        fits_update_key(f, TINT, "A_ORDER", &order, "SIP polynomial order, x", &status);
        fits_update_key(f, TINT, "B_ORDER", &order, "SIP polynomial order, y", &status);
        for (const SipTerm& term : frame.sip) {
            key_number(term.name, term.value, "SIP distortion coefficient");
        }
    }
    key_text("TIMESYS", "UTC", "");
    key_text("DATE-OBS", frame.date_obs, "start of the exposure");
    key_number("EXPTIME", frame.exptime_s, "[s] exposure length");
    key_number("OBSGEO-X", SITE_X_M, "[m] site, geocentric Earth-fixed");
    key_number("OBSGEO-Y", SITE_Y_M, "[m] site, geocentric Earth-fixed");
    key_number("OBSGEO-Z", SITE_Z_M, "[m] site, geocentric Earth-fixed");

    std::vector<unsigned char> pixels = synthetic_image(frame);
    fits_write_img(f, TBYTE, 1, static_cast<LONGLONG>(pixels.size()), pixels.data(), &status);
    fits_close_file(f, &status);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_frames OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::vector<SampleFrame> frames{
        {"astfield-frame.fits", "astfield sample field", 200, 200, 10.0 / 240.0, 0.5, 36.0 / 3600.0,
         "2008-05-20T05:13:30", 60.0, {}, 20080520u},
        {"satfield-frame.fits", "satfield sample field", 200, 200, 172.0, 1.0 + 16.0 / 60.0, 90.0 / 3600.0,
         "2008-05-20T20:53:30", 60.0, {{"A_2_0", 2.0e-6}, {"A_1_1", -1.0e-6}, {"B_0_2", 1.5e-6}, {"B_1_1", 1.0e-6}},
         20080521u},
    };
    for (const SampleFrame& frame : frames) {
        const int status = write_frame(argv[1], frame);
        if (status != 0) {
            char text[FLEN_STATUS] = {};
            fits_get_errstatus(status, text);
            std::fprintf(stderr, "make_sample_frames: %s/%s: %s\n", argv[1], frame.file_name, text);
            return 1;
        }
    }
    return 0;
}
