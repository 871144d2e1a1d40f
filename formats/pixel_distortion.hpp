// The prior distortions of an image's pixel coordinates that the WCS library
// does not apply itself: the lookup tables of the FITS distortion paper
// (CPDISj = 'Lookup', with their tables in WCSDVARR extensions) and of the
// detector-to-image correction (D2IMDISj = 'Lookup', tables in D2IMARR
// extensions), together with the SIP polynomial they come with. The chain,
// pixel coordinates (FITS, the first pixel's centre at 1, 1) in and out:
//   p' = p + D2IM(p)
//   q  = p' + SIP(p' - CRPIX) + CPDIS(p')
// and q goes on to the linear transformation and the projection.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "fits_keywords.hpp"

namespace fieldsearch {

// A lookup table: its values (pixels) on a grid of width x height (height 1
// for a table of one axis), row after row, and the mapping of image pixel
// coordinates to its 1-based indices, index = crpix + (p - crval) / cdelt,
// p being the image pixel coordinate on the axis `image_axis` names (0 for
// x, 1 for y; -1 for the second axis of a table of one axis).
struct LookupTable {
    int width = 0;
    int height = 0;
    std::vector<double> values;
    std::array<double, 2> crpix{};
    std::array<double, 2> crval{};
    std::array<double, 2> cdelt{1.0, 1.0};
    std::array<int, 2> image_axis{0, 1};
};

// The table's value at the image pixel (x, y): bilinear interpolation
// between the four nearest values, each index held to the table (the edge
// value beyond it).
double lookup_value(const LookupTable& table, double x, double y);

// The SIP polynomial: f(u, v) = sum of A_p_q u^p v^q over 2 <= p + q <= order
// (likewise g with B), u, v the pixel offsets from CRPIX.
struct SipPolynomial {
    int a_order = 0;
    int b_order = 0;
    std::vector<double> a;  // A_p_q at p * (a_order + 1) + q
    std::vector<double> b;  // B_p_q at p * (b_order + 1) + q
    double crpix1 = 0.0;
    double crpix2 = 0.0;
};

// The prior distortions of one frame; any part may be absent.
struct PriorDistortion {
    std::array<std::optional<LookupTable>, 2> detector_to_image;  // D2IM1, D2IM2
    std::optional<SipPolynomial> sip;
    std::array<std::optional<LookupTable>, 2> lookup;  // CPDIS1, CPDIS2
};

// True when the frame has a lookup table, so that its prior distortion is
// applied here rather than by the WCS library.
bool has_lookup_tables(const PriorDistortion& distortion);

// The corrected pixel q of the image pixel (x, y).
std::array<double, 2> corrected_pixel(const PriorDistortion& distortion, double x, double y);

// The image pixel whose corrected pixel is (qx, qy), by Newton's method on
// each stage in turn; empty when it does not converge to 1e-9 pixel.
std::optional<std::array<double, 2>> image_pixel(const PriorDistortion& distortion, double qx, double qy);

// One lookup table a header asks for: the keyword that asks (CPDIS1,
// D2IMDIS2, ...), the extension holding the table (WCSDVARR or D2IMARR,
// with its EXTVER), and the image axes (0 or 1) of its table axes (NAXES of
// them, from the record fields AXIS.1 and AXIS.2).
struct LookupRequest {
    std::string keyword;
    int axis;  // 0: the table corrects x; 1: y
    bool detector_to_image;
    std::string extname;
    int extver;
    int naxes;
    std::array<int, 2> image_axis;
};

// The lookup tables the cards ask for, in the order D2IM1, D2IM2, CPDIS1,
// CPDIS2. `error` names the keyword and value of a distortion that cannot
// be applied: a record field other than EXTVER, NAXES, AXIS.1 and AXIS.2, a
// sequent lookup table (CQDISia), or a lookup table beside a prior
// distortion the WCS library would apply (another CPDISj).
std::vector<LookupRequest> lookup_requests(const KeywordCards& cards, std::string& error);

// The SIP polynomial of the cards (A_ORDER, A_p_q, B_ORDER, B_p_q, CRPIX1,
// CRPIX2); empty when there is no A_ORDER and B_ORDER. `error` names a
// keyword that is wrong.
std::optional<SipPolynomial> sip_polynomial(const KeywordCards& cards, std::string& error);

// True for the keywords the WCS library must not see when the prior
// distortion is applied here: the lookup distortions' and the SIP's.
bool is_prior_distortion_keyword(const std::string& keyword);

}  // namespace fieldsearch
