// An observer's night of detections: the minor planet centre's 80-column
// optical format and both representations of ADES (PSV and XML) read into
// one typed row per observation, and the same text written back with the
// designations of identified observations put in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vectors_matrices.hpp"

namespace fieldsearch {

// The representations an observation file may be written in.
enum class ObservationFormat {
    mpc80,     // the 80-column optical format
    ades_psv,  // ADES, pipe-separated values
    ades_xml,  // ADES, XML
};

// The name of a format for messages: "80-column", "ADES PSV", "ADES XML".
const char* observation_format_name(ObservationFormat format);

// Where the observer was when the observation is not made from its station's
// fixed place.
enum class ObserverPlace {
    station,  // the station code's published coordinates
    space,    // a spacecraft: space_geocentric_km holds its position
    roving,   // a site of its own: roving holds it
};

// The site of a roving observer: geodetic east longitude and latitude
// (degrees, WGS84) and height above the ellipsoid (metres).
struct RovingSite {
    double east_longitude_deg;
    double latitude_deg;
    double height_m;
};

// Largest |magnitude| range read: ADES' MagType bounds, -5 to 35.
inline constexpr double OBSERVATION_MAGNITUDE_MIN = -5.0;
inline constexpr double OBSERVATION_MAGNITUDE_MAX = 35.0;

// Largest distance of a spacecraft observer from the geocentre that is read,
// km (about 670 AU: the 80-column format's widest field).
inline constexpr double SPACE_OBSERVER_MAX_KM = 1.0e11;

// One observation as the file gives it. Designation fields are as written,
// blanks around them removed; the fields a format does not have stay empty.
struct Observation {
    ObservationFormat format;
    // 80-column: the 1-based line of its (first) line; XML: the 1-based index
    // of its <optical> element in document order; PSV: its 1-based line.
    long position;
    std::string packed_number;       // 80-column columns 1-5 (packed number); ADES permID
    std::string provisional;         // 80-column columns 6-12 (packed provisional or temporary); ADES provID
    std::string tracklet_id;         // ADES trkSub
    std::string artificial_satellite;  // ADES artSat
    char note2;                      // 80-column column 15 as written (' ' when blank); ADES: ' '
    std::string mode;                // ADES mode (CCD, PHO, ...); 80-column: empty
    std::string station;             // observatory code
    double utc_mjd;                  // the instant, UTC MJD
    double ra_deg;                   // J2000 right ascension, [0, 360)
    double dec_deg;                  // J2000 declination, [-90, 90]
    std::optional<double> rms_ra_arcsec;   // ADES rmsRA (of RA cos Dec), arcseconds
    std::optional<double> rms_dec_arcsec;  // ADES rmsDec, arcseconds
    std::optional<double> magnitude;       // in OBSERVATION_MAGNITUDE_MIN..MAX
    std::string band;                      // the magnitude's band, as written
    ObserverPlace place;
    Vector3 space_geocentric_km;     // equatorial J2000, geocentric, km (place == space)
    RovingSite roving;               // (place == roving)
};

// Something in a file that could not be read as an observation, with where it
// stands (as Observation::position counts; 0 for an element of XML that is
// no <optical>) and a one-line reason that names it.
struct ObservationProblem {
    long position;
    std::string what;
};

// What reading a file gave: its format and the observations read, with a
// problem for each line or element that was left out; or, for a text of no
// known format, only `error` (one line naming the formats tried).
struct ObservationsResult {
    std::optional<ObservationFormat> format;
    std::vector<Observation> observations;
    std::vector<ObservationProblem> problems;
    std::string error;
};

// The format of an observation file told from its content: XML whose root
// is <ades>; PSV whose first line is an ADES header ("# version") or a
// '|'-separated line of ADES field names; or lines of the 80-column format
// (a header line such as "COD 568" or a line with an 80-column date in
// columns 16-32). Empty for anything else.
std::optional<ObservationFormat> observation_format_of_text(std::string_view text);

// Every observation of the text of an observation file. 80-column: blank
// lines and the header lines (COD, CON, OBS, MEA, TEL, NET, BND, COM, NUM,
// ACK, AC2) are skipped; a satellite (note 2 'S') or roving ('V') line needs
// its second line ('s', 'v') right after it; note 2 of a kind that gives no
// position on the sky from a known place (radar 'R'/'r', offsets 'O', any
// other letter not among the optical kinds) is a problem. ADES: obsTime,
// ra, dec, stn and one of permID, provID, trkSub, artSat are required;
// sys/ctr/pos1-3 give a roving (WGS84, ITRF) or space (ICRF_KM, ICRF_AU)
// observer about the Earth (ctr 399). UTC dates must lie in the years 1900
// to 2099.
ObservationsResult observations_from_text(std::string_view text);

// The designation an identified observation is to carry: a minor planet's
// number, or else its readable provisional designation ("1995 XL1").
struct Identification {
    long position;             // Observation::position of the observation
    std::optional<long> number;
    std::string provisional;
};

// The text written back, or why it could not be (`error`, one line; then
// `text` is empty). An identification that names no observation of the
// text, or a designation that has no packed form, is a problem and leaves
// the observation as it was.
struct WrittenObservations {
    std::string text;
    std::vector<ObservationProblem> problems;
    std::string error;
};

// The text of an observation file with the designation of each identified
// observation replaced, in the file's own format; every other byte stays as
// it was (line ends, blanks, other lines and elements). 80-column: the packed
// number into columns 1-5 or the packed provisional designation into 6-12,
// on both lines of a satellite or roving observation. PSV: the permID or
// provID cell (padded to its old width where it fits; a block without that
// column gets it as its first column, empty in the rows not identified).
// XML: the text of <permID> or <provID>, the element added as the first
// child of <optical> (provID after a permID) when missing.
WrittenObservations text_with_designations(std::string_view text, const std::vector<Identification>& identified);

}  // namespace fieldsearch
