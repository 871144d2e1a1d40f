// The exposure and the observing site an image header records, from the
// keywords telescopes and archives write them in.
#pragma once

#include <optional>
#include <string>

#include "fits_keywords.hpp"
#include "time_scales.hpp"
#include "vectors_matrices.hpp"

namespace fieldsearch {

// The exposure, UTC MJD throughout. A header with no exposure length gives an
// instant: start and mid equal, length 0.
struct Exposure {
    double start_utc_mjd;   // see header_exposure
    double mid_utc_mjd;     // DATE-AVG or MJD-AVG when given, else start + length / 2
    double length_seconds;  // 0 to MAX_HEADER_EXPOSURE_S; 0 when the header gives none
};

// The longest exposure a header may give, seconds (the bound of --exposure).
inline constexpr double MAX_HEADER_EXPOSURE_S = 86400.0;

// The exposure, or why there is none.
struct HeaderExposure {
    std::optional<Exposure> exposure;
    std::string error;       // a keyword that is there but wrong: the header is refused
    std::string no_instant;  // without an exposure and an error: what the header lacks
};

// The exposure the cards give, on the time scale TIMESYS names (UTC when
// absent; TT and TAI brought to UTC with `leap_seconds`):
// - the start: DATE-BEG, else MJD-BEG, else DATE-OBS (ISO 8601, or the old
//   'dd/mm/yy' of 19yy), whose time, when it holds a date alone, comes from
//   TIME-OBS, UTSTART or UT ('hh:mm:ss.s'), else MJD-OBS;
// - the length: DATE-END (or MJD-END) less the start, else TELAPSE, else
//   EXPTIME, else EXPOSURE (seconds), 0 to MAX_HEADER_EXPOSURE_S;
// - the middle: DATE-AVG or MJD-AVG, else half the length after the start
//   (without a start, the start is half the length before the middle).
// Errors name the keyword and its value.
HeaderExposure header_exposure(const KeywordCards& cards, const LeapSecondTable& leap_seconds);

// The site from OBSGEO-X/Y/Z (metres, geocentric Earth-fixed, within
// MAX_OBSERVER_DISTANCE_KM of the Earth's centre), else OBSGEO-B/L/H
// (degrees, metres), else SITELAT, SITELONG (degrees east, decimal or
// sexagesimal text) and SITEELEV (metres, 0 when absent), as the
// geocentric Earth-fixed position in km; empty when none is given, with
// `error` set when one is given wrongly (naming the keywords and values).
std::optional<Vector3> header_site(const KeywordCards& cards, std::string& error);

}  // namespace fieldsearch
